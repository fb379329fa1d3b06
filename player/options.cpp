#include "options.h"

#include "kelvosim/ice.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

namespace Kelvo {

namespace {

constexpr char SEARCH_OPTIONS_LINES[] =
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
    "  --common-noise           halving only: within a round every shot meets the same\n"
    "                           noise draws and playout streams\n"
    "  --widen                  halving only: search a grid of speeds, headings and\n"
    "                           spins besides the candidates, and shots near the leaders\n"
    "  --objective O            end: each end is worth the end strategies' table of its\n"
    "                           score (default); win: the chance of winning the game\n"
    "                           after it, from the player's own end scores\n"
    "  --playout-takeout P      in playouts the opponent takes out the searching side's\n"
    "                           shot stone in the house with chance P, 0 to 1, instead\n"
    "                           of a random candidate (default 0)\n"
    "  --takeout-weights N      every candidate takeout at N weights from 0.84 to 1.16\n"
    "                           of the ice's takeout (2.6 to 3.6 m/s on fcv1), 1 to 5\n"
    "                           (default 1)\n"
    "  --ice ICE                classic (default) or fcv1, the friction-and-curl ice of\n"
    "                           today's competitions: positions and answers are then in\n"
    "                           its shot frame (hack at 0 0, tee at 0 38.405, m/s)\n"
    "  --noise-speed SD         fcv1: the execution noise the search assumes, standard\n"
    "                           deviation of the launch speed (default 0.0076 m/s)\n"
    "  --noise-angle SD         fcv1: the same for the launch direction (default\n"
    "                           0.0018 rad)\n"
    "  --preset NAME            a named set of the options above; options given beside\n"
    "                           it win:\n";

constexpr char PLAYER_USAGE[] =
    "usage: kelvo [options]\n"
    "A curling player: reads the game server's commands (NEWGAME, ISREADY, POSITION,\n"
    "SETSTATE, SCORE, GO) on standard input and answers on standard output.\n"
    "Without options it searches 5000 ms on four instances for every GO.\n"
    "options:\n";

constexpr char PLAYER_USAGE_END[] =
    "  --help                   print this text and exit\n"
    "  --version                print the version and exit\n";

// The help's column for descriptions and its width.
constexpr size_t HELP_INDENT = 27;
constexpr size_t HELP_WIDTH = 80;

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Unsigned options take digits only, up to 2^64 - 1: the parser would wrap
// "-1" around to the largest value and cut larger numbers short.
std::string checkDigits(std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return "not a whole number: " + text;
    errno = 0;
    std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE)
        return "above 18446744073709551615: " + text;
    return std::string();
}

bool isOptionName(const std::string& word) { return word.size() > 2 && word.compare(0, 2, "--") == 0; }

void addSettingOptions(CLI::App& app, SearchSettings& settings, const std::string& budgetNames);

}  // namespace

CLI::Validator wholeNumber() { return CLI::Validator(checkDigits, "DIGITS"); }

// The callbacks the parser keeps: named types rather than closures, so that
// what the parser instantiates for them is shared read-only code.
namespace detail {

struct StoreOptional {
    std::optional<uint64_t>* target;
    void operator()(const uint64_t& value) const { *target = value; }
};

// After the parse: the preset's options that the command line did not give,
// parsed into the same settings, then the check that every setting counts.
struct FinishSearchOptions {
    CLI::App* app;
    SearchSettings* settings;
    std::shared_ptr<std::string> preset;

    void operator()() const {
        std::vector<std::string> fromPreset;
        if (const Preset* p = findPreset(*preset)) {
            const std::vector<std::string> words = wordsOf(p->options);
            for (size_t i = 0; i < words.size();) {
                size_t next = i + 1;
                while (next < words.size() && !isOptionName(words[next]))
                    ++next;
                if (app->get_option(words[i])->count() == 0)
                    fromPreset.insert(fromPreset.end(), words.begin() + long(i), words.begin() + long(next));
                i = next;
            }
            CLI::App presetApp;
            addSettingOptions(presetApp, *settings, "--budget-ms");
            presetApp.parse(std::vector<std::string>(fromPreset.rbegin(), fromPreset.rend()));
        }
        for (const char* noise : {"--noise-speed", "--noise-angle"})
            if (sheetOf(settings->ice).noiseModel() != NoiseModel::SPEED_AND_ANGLE &&
                app->get_option(noise)->count() > 0)
                throw CLI::ValidationError(std::string(noise) + " has no effect without --ice fcv1");
        const std::string ineffective = ineffectiveSetting(*settings);
        if (ineffective.empty())
            return;
        std::string line = ineffective + " has no effect without --allocation halving";
        if (std::find(fromPreset.begin(), fromPreset.end(), ineffective) != fromPreset.end())
            line += " (it comes with --preset " + *preset + ")";
        throw CLI::ValidationError(line);
    }
};

}  // namespace detail

std::string searchOptionsHelp() {
    std::string help = SEARCH_OPTIONS_LINES;
    for (const Preset& p : PRESETS) {
        std::string line(HELP_INDENT, ' ');
        line += std::string(p.name) + ":";
        for (const std::string& word : wordsOf(p.options)) {
            if (line.size() + 1 + word.size() > HELP_WIDTH) {
                help += line + "\n";
                line = std::string(HELP_INDENT + 2, ' ') + word;
            } else {
                line += " " + word;
            }
        }
        help += line + "\n";
    }
    return help;
}

namespace {

void addSettingOptions(CLI::App& app, SearchSettings& settings, const std::string& budgetNames) {
    app.add_option(budgetNames, settings.budgetMs)->check(CLI::Range(1, 600000));
    app.add_option("--instances", settings.instances)->check(CLI::Range(1, 64));
    app.add_option("--playouts-per-visit", settings.playoutsPerVisit)->check(CLI::Range(1, 1000000));
    const std::map<std::string, Allocation> allocations{{"sweep", Allocation::SWEEP}, {"halving", Allocation::HALVING}};
    app.add_option("--allocation", settings.allocation)->transform(CLI::CheckedTransformer(allocations));
    app.add_flag("--common-noise", settings.commonNoise);
    app.add_flag("--widen", settings.widen);
    const std::map<std::string, Objective> objectives{{"end", Objective::END_TABLE}, {"win", Objective::WIN}};
    app.add_option("--objective", settings.objective)->transform(CLI::CheckedTransformer(objectives));
    app.add_option("--playout-takeout", settings.playoutTakeout)->check(CLI::Range(0.0, 1.0));
    app.add_option("--takeout-weights", settings.takeoutWeights)->check(CLI::Range(1, 5));
    app.add_option("--ice", settings.ice)->transform(CLI::CheckedTransformer(iceKindsByName()));
    app.add_option("--noise-speed", settings.fcv1Noise.stddevSpeed)->check(CLI::Range(0.0f, 10.0f));
    app.add_option("--noise-angle", settings.fcv1Noise.stddevAngle)->check(CLI::Range(0.0f, 10.0f));
    const CLI::Validator digits = wholeNumber();
    app.add_option_function<uint64_t>("--playout-limit", detail::StoreOptional{&settings.playoutLimit})
        ->check(digits)
        ->check(CLI::Range(uint64_t(1), UINT64_MAX));
    app.add_option_function<uint64_t>("--seed", detail::StoreOptional{&settings.seed})->check(digits);
}

}  // namespace

void addSearchOptions(CLI::App& app, SearchSettings& settings, const std::string& budgetNames,
                      const std::string& defaultPreset) {
    addSettingOptions(app, settings, budgetNames);
    std::vector<std::string> names;
    for (const Preset& p : PRESETS)
        names.push_back(p.name);
    auto preset = std::make_shared<std::string>(defaultPreset);
    app.add_option("--preset", *preset)->check(CLI::IsMember(names));
    app.final_callback(detail::FinishSearchOptions{&app, &settings, preset});
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
        std::printf("%s%s", app.help().c_str(), searchOptionsHelp().c_str());
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
        std::printf("%s%s%s", PLAYER_USAGE, searchOptionsHelp().c_str(), PLAYER_USAGE_END);
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
