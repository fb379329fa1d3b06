#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace Kelvo {

const char SEARCH_OPTIONS_HELP[] =
    "  --budget-ms MS           search time of each instance, 1 to 600000 (default 5000)\n"
    "  --instances N            search instances of a GO, voting on the answer, 1 to 64\n"
    "                           (default 4)\n"
    "  --playouts-per-visit N   playouts after each noisy execution, 1 to 1000000\n"
    "                           (default 1000)\n"
    "  --playout-limit N        playouts of each instance; the search ends at the limit\n"
    "                           or the budget, whichever comes first (default: none)\n"
    "  --seed S                 derive every random number of a GO from S, 0 to 2^64-1,\n"
    "                           the instance and the end and shot (default: the clock\n"
    "                           and the random device); with --playout-limit and the\n"
    "                           budget not reached, a GO answers the same every time\n"
    "  --allocation A           sweep: each instance visits its candidates in turn and\n"
    "                           the instances vote (default); halving: all instances\n"
    "                           share one pool of shots, sequential halving by mean\n"
    "  --common-noise           halving: within a round every shot meets the same noise\n"
    "                           draws and playout streams\n"
    "  --widen                  halving: search a grid of speeds, headings and spins\n"
    "                           besides the candidates, and shots near the leaders\n"
    "  --preset NAME            strong: --allocation halving --widen\n"
    "                           --playouts-per-visit 8; options given beside it win\n";

namespace {

const char PLAYER_USAGE[] =
    "usage: kelvo [options]\n"
    "A curling player: reads the game server's commands (NEWGAME, ISREADY, POSITION,\n"
    "SETSTATE, SCORE, GO) on standard input and answers on standard output.\n"
    "Without options it searches 5000 ms on four instances for every GO.\n"
    "options:\n";

const char PLAYER_USAGE_END[] =
    "  --help                   print this text and exit\n"
    "  --version                print the version and exit\n";

}  // namespace

namespace {

// Unsigned options take digits only, up to 2^64 - 1: the parser would wrap
// "-1" around to the largest value and cut larger numbers short.
const CLI::Validator DIGITS(
    [](const std::string& text) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
            return std::string("not a whole number: " + text);
        errno = 0;
        std::strtoull(text.c_str(), nullptr, 10);
        if (errno == ERANGE)
            return std::string("above 18446744073709551615: " + text);
        return std::string();
    },
    "DIGITS");

}  // namespace

void addSearchOptions(CLI::App& app, SearchSettings& settings, const std::string& budgetNames) {
    app.add_option(budgetNames, settings.budgetMs)->check(CLI::Range(1, 600000));
    app.add_option("--instances", settings.instances)->check(CLI::Range(1, 64));
    CLI::Option* perVisit =
        app.add_option("--playouts-per-visit", settings.playoutsPerVisit)->check(CLI::Range(1, 1000000));
    const std::map<std::string, Allocation> allocations{{"sweep", Allocation::SWEEP}, {"halving", Allocation::HALVING}};
    CLI::Option* allocation =
        app.add_option("--allocation", settings.allocation)->transform(CLI::CheckedTransformer(allocations));
    CLI::Option* common = app.add_flag("--common-noise", settings.commonNoise);
    CLI::Option* widen = app.add_flag("--widen", settings.widen);
    // A preset fills in what the command line left open, once it is parsed.
    auto preset = std::make_shared<std::string>();
    app.add_option("--preset", *preset)->check(CLI::IsMember({"strong"}));
    app.final_callback([&settings, preset, perVisit, allocation, common, widen] {
        if (preset->empty())
            return;
        SearchSettings named = settings;
        applyPreset(*preset, named);
        if (perVisit->count() == 0)
            settings.playoutsPerVisit = named.playoutsPerVisit;
        if (allocation->count() == 0)
            settings.allocation = named.allocation;
        if (common->count() == 0)
            settings.commonNoise = named.commonNoise;
        if (widen->count() == 0)
            settings.widen = named.widen;
    });
    app.add_option_function<uint64_t>("--playout-limit", [&settings](const uint64_t& n) { settings.playoutLimit = n; })
        ->check(DIGITS)
        ->check(CLI::Range(uint64_t(1), UINT64_MAX));
    app.add_option_function<uint64_t>("--seed", [&settings](const uint64_t& s) { settings.seed = s; })->check(DIGITS);
}

std::string optionError(const CLI::ParseError& error) {
    std::string line = error.what();
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

int parseToolOptions(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s%s", app.help().c_str(), SEARCH_OPTIONS_HELP);
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "%s: %s\n", app.get_name().c_str(), optionError(e).c_str());
        return 2;
    }
    return -1;
}

int parsePlayerOptions(int argc, char** argv, SearchSettings& settings) {
    CLI::App app("kelvo");
    app.set_help_flag();
    bool help = false, version = false;
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    SearchSettings parsed = settings;
    addSearchOptions(app, parsed);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "kelvo: %s\n", optionError(e).c_str());
        return 2;
    }
    if (help) {
        std::printf("%s%s%s", PLAYER_USAGE, SEARCH_OPTIONS_HELP, PLAYER_USAGE_END);
        return 0;
    }
    if (version) {
        std::printf("kelvo %s\n", KELVO_VERSION);
        return 0;
    }
    settings = parsed;
    return -1;
}

}  // namespace Kelvo
