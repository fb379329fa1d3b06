// kelvo-summary: adds up match records of the stand-in game server, pairs
// the matches that share a seed, and prints a table that ends in one line
// "summary: pairs=... ends=... diff_per_end=... ci95_low=... ci95_high=...
// lost_shots=... forfeits=...", or with --json one JSON object. A folder
// whose tournament.txt asks for a sequential test gets the test's line
// "sprt: llr=... lower=... upper=... result=..." before that last line.
//
// Two modes serve scripts/tournament: --finished lists the records that
// hold a result, and --follow keeps the test's line up to date as records
// are named on standard input, reading each record once.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "summary.h"

namespace {

using namespace Kelvo::Server;

const char USAGE[] =
    "usage: kelvo-summary [--json] RECORD...\n"
    "       kelvo-summary --finished RECORD...\n"
    "       kelvo-summary --follow FOLDER\n"
    "  RECORD      a match record written by kelvo-server --record, or a folder whose\n"
    "              *.jsonl files are taken in name order; records it cannot read are\n"
    "              named on standard error and skipped. A folder's tournament.txt\n"
    "              may ask for a sequential test (a line \"sprt: h0=X h1=X alpha=X beta=X\")\n"
    "  --json      print the summary as one JSON object\n"
    "  --finished  print the records that hold the match's result, one per line\n"
    "  --follow    print the sequential test's line for the records in FOLDER, then\n"
    "              again after each record named on a line of standard input\n";

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
    for (const auto& entry : std::filesystem::directory_iterator(arg, error))
        if (entry.path().extension() == ".jsonl")
            found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
}

// Reads the records it can; names the others on standard error.
std::vector<RecordedMatch> readRecords(const std::vector<std::string>& paths) {
    std::vector<RecordedMatch> matches;
    for (const std::string& path : paths) {
        RecordedMatch match;
        std::string why;
        if (readRecord(path, match, why))
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

}  // namespace

int main(int argc, char** argv) {
    bool json = false, finished = false, following = false;
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
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else {
            args.push_back(arg);
        }
    }
    if (int(json) + int(finished) + int(following) > 1)
        return usageError("--json, --finished and --follow go alone");
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
