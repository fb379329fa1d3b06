// kelvo-server: plays a match between two programs that speak the player
// protocol, printing its course, with an optional record and pictures.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "match.h"
#include "process.h"
#include "referee/rules.h"
#include "referee/sheet.h"

namespace {

const char USAGE[] =
    "usage: kelvo-server [--player1 CMD] [--player2 CMD] [--ends N] [--seed S]\n"
    "                    [--time-limit SECONDS] [--step SECONDS] [--record FILE]\n"
    "                    [--svg-dir DIR] [--html FILE] [--ice classic|fcv1]\n"
    "                    [--noise-speed SD] [--noise-angle SD]\n"
    "  --player1, --player2  shell command of each player (default: the kelvo\n"
    "                        player next to this program); player1 throws first\n"
    "  --ends N              regular ends, 1 to 10 (default 1); a tie goes on\n"
    "                        with extra ends up to end index 19, then a draw\n"
    "  --seed S              seed of the execution noise (default: from the clock)\n"
    "  --time-limit SECONDS  time for each answer (default 10)\n"
    "  --step SECONDS        step of the exact simulation that plays the shots,\n"
    "                        above 0 and at most 0.01 (default 0.00015625, the\n"
    "                        converged step; 0.01 judges like the player's own)\n"
    "  --record FILE         write the game record as JSON Lines\n"
    "  --svg-dir DIR         write a picture of the house after every shot and end\n"
    "  --html FILE           write the match viewer page (one HTML file) at the end\n"
    "  --ice ICE             classic (default) or fcv1: the friction-and-curl ice of\n"
    "                        today's competitions, played with its exact simulation,\n"
    "                        hog line and five-rock rule; positions and answers are\n"
    "                        then in its shot frame (hack at 0 0, tee at 0 38.405, m/s)\n"
    "  --noise-speed SD      fcv1: standard deviation of the launch speed (default 0.0076 m/s)\n"
    "  --noise-angle SD      fcv1: standard deviation of the launch direction (default 0.0018 rad)\n";

// The player built beside this program, quoted for the shell.
std::string defaultPlayer() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string dir = ".";
    if (n > 0) {
        path[n] = '\0';
        dir = path;
        dir = dir.substr(0, dir.find_last_of('/'));
    }
    std::string quoted = "'";
    for (char c : dir + "/kelvo")
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool parseInt(const std::string& text, long long low, long long high, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0 && value >= low && value <= high;
}

bool parseSeed(const std::string& text, uint64_t& value) {
    if (text.empty() || text[0] == '-')
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelvo-server: %s (--help lists the options)\n", message.c_str());
    return 2;
}

// The checked options' values as text, and whether each was given; each is
// checked after parsing so its message can say what it takes.
struct OptionText {
    std::string ends, seed, timeLimit, step, ice, noiseSpeed, noiseAngle;
    bool hasEnds = false, hasSeed = false, hasTimeLimit = false, hasStep = false, hasIce = false,
         hasNoiseSpeed = false, hasNoiseAngle = false;
};

// A standard deviation: a finite number from 0 up.
bool parseDeviation(const std::string& text, float& value) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 10)
        return false;
    value = float(v);
    return true;
}

int checkOptions(const OptionText& text, Kelvo::Server::MatchOptions& options) {
    long long n = 0;
    if (text.hasEnds) {
        if (!parseInt(text.ends, 1, Kelvo::Referee::LAST_END_INDEX + 1, n))
            return usageError("--ends takes a whole number from 1 to 10");
        options.ends = int(n);
    }
    if (text.hasSeed && !parseSeed(text.seed, options.seed))
        return usageError("--seed takes a whole number from 0 to 18446744073709551615");
    if (text.hasTimeLimit) {
        char* end = nullptr;
        const double t = std::strtod(text.timeLimit.c_str(), &end);
        if (text.timeLimit.empty() || *end != '\0' || !std::isfinite(t) || t <= 0 || t > 86400)
            return usageError("--time-limit takes a number of seconds above 0");
        options.timeLimit = t;
    }
    if (text.hasStep && !Kelvo::Referee::parseStep(text.step, options.step))
        return usageError("--step takes a number of seconds above 0 and at most 0.01");
    if (text.hasIce && !Kelvo::parseIceName(text.ice.c_str(), options.ice))
        return usageError("--ice takes classic or fcv1");
    const Kelvo::Ice& ice = Kelvo::sheetOf(options.ice);
    if ((text.hasNoiseSpeed || text.hasNoiseAngle) && ice.noiseModel() != Kelvo::NoiseModel::SPEED_AND_ANGLE)
        return usageError("--noise-speed and --noise-angle go with --ice fcv1");
    if (text.hasStep && ice.fixedExactStep())
        return usageError("--step does not go with --ice fcv1, whose model steps 1 ms");
    if (text.hasNoiseSpeed && !parseDeviation(text.noiseSpeed, options.fcv1Noise.stddevSpeed))
        return usageError("--noise-speed takes a number from 0 to 10");
    if (text.hasNoiseAngle && !parseDeviation(text.noiseAngle, options.fcv1Noise.stddevAngle))
        return usageError("--noise-angle takes a number from 0 to 10");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace Kelvo::Server;
    MatchOptions options;
    options.player[0] = options.player[1] = defaultPlayer();
    options.seed = uint64_t(std::chrono::system_clock::now().time_since_epoch().count());

    CLI::App app("kelvo-server");
    app.set_help_flag();  // the usage text below is the help
    // As before: an option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    bool help = false;
    OptionText text;
    app.add_flag("-h,--help", help);
    app.add_option("--player1", options.player[0]);
    app.add_option("--player2", options.player[1]);
    CLI::Option* ends = app.add_option("--ends", text.ends);
    CLI::Option* seed = app.add_option("--seed", text.seed);
    CLI::Option* timeLimit = app.add_option("--time-limit", text.timeLimit);
    CLI::Option* step = app.add_option("--step", text.step);
    CLI::Option* ice = app.add_option("--ice", text.ice);
    CLI::Option* noiseSpeed = app.add_option("--noise-speed", text.noiseSpeed);
    CLI::Option* noiseAngle = app.add_option("--noise-angle", text.noiseAngle);
    app.add_option("--record", options.recordPath);
    app.add_option("--svg-dir", options.svgDir);
    app.add_option("--html", options.htmlPath);
    app.allow_extras();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& e) {
        // "--ends: 1 required TEXT missing": the option is the part before the colon.
        const std::string what = e.what();
        return usageError("missing value for " + what.substr(0, what.find(':')));
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty())
        return usageError((extras.front().rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") +
                          extras.front());
    if (help) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    text.hasEnds = ends->count() > 0;
    text.hasSeed = seed->count() > 0;
    text.hasTimeLimit = timeLimit->count() > 0;
    text.hasStep = step->count() > 0;
    text.hasIce = ice->count() > 0;
    text.hasNoiseSpeed = noiseSpeed->count() > 0;
    text.hasNoiseAngle = noiseAngle->count() > 0;
    if (const int status = checkOptions(text, options))
        return status;

    // Line by line even into a pipe, so a watcher sees each shot as it ends.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    installSignalCleanup();
    return runMatch(options, stdout);
}
