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

#include "match.h"
#include "process.h"
#include "rules.h"
#include "sheet.h"

namespace {

const char USAGE[] =
    "usage: kelvo-server [--player1 CMD] [--player2 CMD] [--ends N] [--seed S]\n"
    "                    [--time-limit SECONDS] [--step SECONDS] [--record FILE]\n"
    "                    [--svg-dir DIR]\n"
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
    "  --svg-dir DIR         write a picture of the house after every shot and end\n";

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

}  // namespace

int main(int argc, char** argv) {
    using namespace Kelvo::Server;
    MatchOptions options;
    options.player[0] = options.player[1] = defaultPlayer();
    options.seed = uint64_t(std::chrono::system_clock::now().time_since_epoch().count());

    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        std::string value;
        const size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return usageError("missing value for " + name);
        }
        long long n = 0;
        if (name == "--player1") {
            options.player[0] = value;
        } else if (name == "--player2") {
            options.player[1] = value;
        } else if (name == "--ends") {
            if (!parseInt(value, 1, LAST_END_INDEX + 1, n))
                return usageError("--ends takes a whole number from 1 to 10");
            options.ends = int(n);
        } else if (name == "--seed") {
            if (!parseSeed(value, options.seed))
                return usageError("--seed takes a whole number from 0 to 18446744073709551615");
        } else if (name == "--time-limit") {
            char* end = nullptr;
            const double t = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(t) || t <= 0 || t > 86400)
                return usageError("--time-limit takes a number of seconds above 0");
            options.timeLimit = t;
        } else if (name == "--step") {
            if (!parseStep(value, options.step))
                return usageError("--step takes a number of seconds above 0 and at most 0.01");
        } else if (name == "--record") {
            options.recordPath = value;
        } else if (name == "--svg-dir") {
            options.svgDir = value;
        } else {
            return usageError("unknown option " + name);
        }
    }

    // Line by line even into a pipe, so a watcher sees each shot as it ends.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    installSignalCleanup();
    return runMatch(options, stdout);
}
