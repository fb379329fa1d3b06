// kelvo-summary: adds up match records of the stand-in game server, pairs
// the matches that share a seed, and prints a table that ends in one line
// "summary: pairs=... ends=... diff_per_end=... ci95_low=... ci95_high=...
// lost_shots=... forfeits=...", or with --json one JSON object. A folder
// whose tournament.txt asks for a sequential test gets the test's line
// "sprt: result=... at_pair=... llr_at_pair=... llr=... lower=... upper=..."
// before that last line.
//
// Two modes serve scripts/tournament: --finished lists the records that
// hold a result, and --follow keeps the test's line up to date as records
// are named on standard input, reading each record once. --sprt-check
// measures the test's error rates on synthetic tournaments.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dc3server/gamelog.h"
#include "sprtcheck.h"
#include "summary.h"

namespace {

using namespace Kelvo::Server;

const char USAGE[] =
    "usage: kelvo-summary [--json] RECORD...\n"
    "       kelvo-summary --finished RECORD...\n"
    "       kelvo-summary --follow FOLDER\n"
    "       kelvo-summary --sprt-check H0,H1 [--alpha A] [--beta B] [--trials N]\n"
    "                     [--min-pairs M] [--seed S] [RECORD...]\n"
    "  RECORD      a match record written by kelvo-server --record, a Digital Curling 3\n"
    "              server's game log (game.dcl2; the teams' names are the players), or\n"
    "              a folder whose *.jsonl and *.dcl2 files, and the game.dcl2 of its\n"
    "              folders (a server's log folder), are taken in name order; records\n"
    "              it cannot read are named on standard error and skipped. A folder's\n"
    "              tournament.txt\n"
    "              may ask for a sequential test (a line \"sprt: h0=X h1=X alpha=X beta=X\n"
    "              [min_pairs=N]\" and the first pair's seed, \"seed: S\")\n"
    "  --json      print the summary as one JSON object\n"
    "  --finished  print the records that hold the match's result, one per line\n"
    "  --follow    print the sequential test's line for the records in FOLDER, then\n"
    "              again after each record named on a line of standard input\n"
    "  --sprt-check H0,H1  run the sequential test (error rates A and B, default\n"
    "              0.05, at least M pairs, default 20) on N synthetic tournaments\n"
    "              (default 2000) of each kind: pairs with mean H0, with mean H1,\n"
    "              nearly all 0, all +8 per end; the first two with the spread of\n"
    "              the pairs in the RECORDs, by default of one-end pairs of the\n"
    "              player against itself at 200 ms per shot. Random seed S\n"
    "              (default 1). Prints \"sprt-check: false_h1_under_h0=...\n"
    "              false_h0_under_h1=... mean_pairs_h0=... mean_pairs_h1=...\n"
    "              degenerate_decided_before_min=...\"\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelvo-summary: %s\n%s", message.c_str(), USAGE);
    return 2;
}

bool isFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// A folder stands for its records in name order, so the pairs of a
// tournament of any size fit on one command line.
void addRecords(const std::string& arg, std::vector<std::string>& paths) {
    if (!isFolder(arg)) {
        paths.push_back(arg);
        return;
    }
    std::error_code error;
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
        if (entry.path().extension() == ".jsonl" || entry.path().extension() == ".dcl2")
            found.push_back(entry.path().string());
        // The framework's server keeps each game in a folder of its own.
        const std::filesystem::path log = entry.path() / "game.dcl2";
        if (entry.is_directory(error) && std::filesystem::is_regular_file(log, error))
            found.push_back(log.string());
    }
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
}

// A record, or a Digital Curling 3 server's game log read as one.
bool readAnyRecord(const std::string& path, RecordedMatch& match, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    std::string first;
    if (!in || !std::getline(in, first) || !Kelvo::Dc3::isGameLog(first))
        return readRecord(path, match, why);
    in.seekg(0);
    std::stringstream text;
    text << in.rdbuf();
    Kelvo::Dc3::GameLog log;
    if (!Kelvo::Dc3::readGameLog(text.str(), log, why))
        return false;
    std::istringstream record(Kelvo::Dc3::gameLogRecord(log));
    match.path = path;
    return parseRecord(record, match, why);
}

// Reads the records it can; names the others on standard error.
std::vector<RecordedMatch> readRecords(const std::vector<std::string>& paths) {
    std::vector<RecordedMatch> matches;
    for (const std::string& path : paths) {
        RecordedMatch match;
        std::string why;
        if (readAnyRecord(path, match, why))
            matches.push_back(match);
        else
            std::fprintf(stderr, "kelvo-summary: skipped %s: %s\n", path.c_str(), why.c_str());
    }
    return matches;
}

// The test the first of the folders with one asks for. False, after a
// message, when a folder's settings cannot be read.
bool findTest(const std::vector<std::string>& folders, bool& asked, SprtSettings& settings) {
    asked = false;
    for (const std::string& folder : folders) {
        std::string why;
        const std::string path = folder + "/tournament.txt";
        if (!readTestSettings(path, asked, settings, why)) {
            std::fprintf(stderr, "kelvo-summary: %s: %s\n", path.c_str(), why.c_str());
            return false;
        }
        if (asked)
            return true;
    }
    return true;
}

bool printed(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0;
}

int listFinished(const std::vector<std::string>& paths) {
    std::string text;
    for (const RecordedMatch& m : readRecords(paths))
        if (m.finished)
            text += m.path + "\n";
    return printed(text) ? 0 : 1;
}

// The test's line for the records in the folder, then again after each
// record path read from standard input. Every record is read once; the
// pairs are added up again each time, which is quick. The records are kept
// in name order, as in a folder's summary: matches end in any order, and the
// first record names player A.
int follow(const std::string& folder) {
    bool asked = false;
    SprtSettings settings;
    if (!findTest({folder}, asked, settings))
        return 2;
    if (!asked)
        return usageError(folder + "/tournament.txt asks for no sequential test");
    std::vector<std::string> paths;
    addRecords(folder, paths);
    std::vector<RecordedMatch> matches = readRecords(paths);
    for (std::string line;;) {
        TournamentSummary summary;
        if (!matches.empty())
            summary = summarise(matches);
        if (!printed(sprtLine(sprt(summary, settings)) + "\n"))
            return 1;
        if (!std::getline(std::cin, line))
            return 0;
        for (const RecordedMatch& m : readRecords({line})) {
            const auto at = std::upper_bound(matches.begin(), matches.end(), m,
                                             [](const RecordedMatch& x, const RecordedMatch& y) {
                                                 return x.path < y.path;
                                             });
            matches.insert(at, m);
        }
    }
}

// A whole number from `low` to `high`.
bool wholeNumber(const std::string& text, unsigned long long low, unsigned long long high, unsigned long long& value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && value >= low && value <= high;
}

// An error rate: above 0, below 0.5.
bool errorRate(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && value > 0 && value < 0.5;
}

// The settings of --sprt-check from the options given; false with the
// cause in `why`.
bool checkSettings(const std::map<std::string, std::string>& options, SprtCheckSettings& s, std::string& why) {
    const std::string hypotheses = options.at("--sprt-check");
    const size_t comma = hypotheses.find(',');
    SprtSettings& t = s.test;
    if (comma == std::string::npos ||
        !parseTestSettings("sprt: h0=" + hypotheses.substr(0, comma) + " h1=" + hypotheses.substr(comma + 1) +
                               " alpha=0.05 beta=0.05",
                           t)) {
        why = "--sprt-check takes two numbers H0,H1 of points per end with H0 < H1";
        return false;
    }
    unsigned long long whole = 0;
    for (const auto& [name, value] : options) {
        if (name == "--alpha" || name == "--beta") {
            if (!errorRate(value, name == "--alpha" ? t.alpha : t.beta)) {
                why = name + " takes a number above 0 and below 0.5";
                return false;
            }
        } else if (name == "--trials" || name == "--min-pairs") {
            if (!wholeNumber(value, 1, 100000, whole)) {
                why = name + " takes a whole number from 1 to 100000";
                return false;
            }
            (name == "--trials" ? s.trials : t.minPairs) = int(whole);
        } else if (name == "--seed") {
            if (!wholeNumber(value, 0, std::numeric_limits<unsigned long long>::max(), whole)) {
                why = "--seed takes a whole number from 0 to 2^64-1";
                return false;
            }
            s.seed = whole;
        }
    }
    return true;
}

int sprtCheck(const std::map<std::string, std::string>& options, const std::vector<std::string>& args) {
    SprtCheckSettings settings;
    std::string why;
    if (!checkSettings(options, settings, why))
        return usageError(why);
    PairDistribution spread = realPairSpread();
    if (!args.empty()) {
        std::vector<std::string> paths;
        for (const std::string& arg : args)
            addRecords(arg, paths);
        const std::vector<RecordedMatch> matches = readRecords(paths);
        spread = matches.empty() ? PairDistribution() : distributionOf(summarise(matches).pairOutcomes);
        if (spread.empty()) {
            std::fprintf(stderr, "kelvo-summary: the records given hold no pair with ends\n");
            return 2;
        }
    }
    SprtCheck check;
    if (!checkSequentialTest(settings, spread, check, why)) {
        std::fprintf(stderr, "kelvo-summary: %s\n", why.c_str());
        return 2;
    }
    return printed(sprtCheckLine(check) + "\n") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool json = false, finished = false, following = false;
    // The options that take a value; all belong to --sprt-check.
    const std::vector<std::string> VALUED = {"--sprt-check", "--alpha", "--beta", "--trials", "--min-pairs", "--seed"};
    std::map<std::string, std::string> valued;
    std::vector<std::string> args;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "--help" || arg == "-h")) {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (!optionsDone && arg == "--json") {
            json = true;
        } else if (!optionsDone && arg == "--finished") {
            finished = true;
        } else if (!optionsDone && arg == "--follow") {
            following = true;
        } else if (!optionsDone && std::find(VALUED.begin(), VALUED.end(), arg) != VALUED.end()) {
            if (i + 1 == argc)
                return usageError("missing value for " + arg);
            valued[arg] = argv[++i];
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else {
            args.push_back(arg);
        }
    }
    const bool checking = valued.count("--sprt-check") > 0;
    if (int(json) + int(finished) + int(following) + int(checking) > 1)
        return usageError("--json, --finished, --follow and --sprt-check go alone");
    if (!checking && !valued.empty())
        return usageError(valued.begin()->first + " goes with --sprt-check");
    if (checking)
        return sprtCheck(valued, args);
    if (following) {
        if (args.size() != 1 || !isFolder(args[0]))
            return usageError("--follow takes one folder");
        return follow(args[0]);
    }
    if (args.empty())
        return usageError("no record given");
    std::vector<std::string> paths, folders;
    for (const std::string& arg : args) {
        if (isFolder(arg))
            folders.push_back(arg);
        addRecords(arg, paths);
    }
    // A tournament that has not finished a match yet has nothing to list.
    if (finished)
        return listFinished(paths);
    if (paths.empty()) {
        std::fprintf(stderr, "kelvo-summary: no records in the folders given\n");
        return 2;
    }
    bool asked = false;
    SprtSettings settings;
    if (!findTest(folders, asked, settings))
        return 2;

    const std::vector<RecordedMatch> matches = readRecords(paths);
    if (matches.empty()) {
        std::fprintf(stderr, "kelvo-summary: none of the %zu records could be read\n", paths.size());
        return 2;
    }
    // Built whole before anything is printed.
    TournamentSummary summary = summarise(matches);
    if (asked)
        addSequentialTest(summary, settings);
    return printed(json ? summaryJson(summary) : summaryText(summary)) ? 0 : 1;
}
