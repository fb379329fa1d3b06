// kelvo-summary: adds up match records of the stand-in game server, pairs
// the matches that share a seed, and prints a table that ends in one line
// "summary: pairs=... ends=... diff_per_end=... ci95_low=... ci95_high=...
// lost_shots=... forfeits=...", or with --json one JSON object.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "summary.h"

namespace {

const char USAGE[] =
    "usage: kelvo-summary [--json] RECORD...\n"
    "  RECORD  a match record written by kelvo-server --record, or a folder whose\n"
    "          *.jsonl files are taken in name order; records it cannot read are\n"
    "          named on standard error and skipped\n"
    "  --json  print the summary as one JSON object\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelvo-summary: %s\n%s", message.c_str(), USAGE);
    return 2;
}

// A folder stands for its records in name order, so the pairs of a
// tournament of any size fit on one command line.
void addRecords(const std::string& arg, std::vector<std::string>& paths) {
    std::error_code error;
    if (!std::filesystem::is_directory(arg, error)) {
        paths.push_back(arg);
        return;
    }
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(arg, error))
        if (entry.path().extension() == ".jsonl")
            found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace Kelvo::Server;
    bool json = false;
    std::vector<std::string> paths;
    bool optionsDone = false, given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "--help" || arg == "-h")) {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (!optionsDone && arg == "--json") {
            json = true;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else {
            addRecords(arg, paths);
            given = true;
        }
    }
    if (!given)
        return usageError("no record given");
    if (paths.empty()) {
        std::fprintf(stderr, "kelvo-summary: no records in the folders given\n");
        return 2;
    }

    std::vector<RecordedMatch> matches;
    for (const std::string& path : paths) {
        RecordedMatch match;
        std::string why;
        if (readRecord(path, match, why))
            matches.push_back(match);
        else
            std::fprintf(stderr, "kelvo-summary: skipped %s: %s\n", path.c_str(), why.c_str());
    }
    if (matches.empty()) {
        std::fprintf(stderr, "kelvo-summary: none of the %zu records could be read\n", paths.size());
        return 2;
    }
    // Built whole before anything is printed.
    const TournamentSummary summary = summarise(matches);
    const std::string text = json ? summaryJson(summary) : summaryText(summary);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
