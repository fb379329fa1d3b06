// kelvo-endscores: counts the end scores of game records (kelvo-server's and
// kelvo-dc3-server's, or folders of them) from the view of the side with the
// hammer, by its lead before the end, and prints them as the lines of
// endscores.txt for one ice, from which the player builds its table of the
// chance of winning. With --table it prints the first rows of that table.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "winprob.h"

namespace {

using Json = nlohmann::json;

// Adds the ends of one record of the ice; false when it cannot be read.
bool countRecord(const std::string& path, const std::string& ice, Kelvo::EndScoreCounts& counts, int& ends,
                 std::string& why) {
    std::ifstream in(path);
    if (!in) {
        why = "cannot open";
        return false;
    }
    int diff = 0;  // player1's lead
    bool ours = false;
    try {
        for (std::string line; std::getline(in, line);) {
            if (line.empty())
                continue;
            const Json o = Json::parse(line);
            const std::string type = o.value("type", "");
            if (type == "match") {
                ours = o.value("ice", "classic") == ice;
            } else if (type == "end" && ours) {
                const int score = o.at("score").get<int>();  // player1's view
                const bool player1Hammer = o.at("first").get<std::string>() == "player2";
                Kelvo::countEnd(counts, player1Hammer ? diff : -diff, player1Hammer ? score : -score);
                diff += score;
                ++ends;
            }
        }
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    return true;
}

void printTable(const Kelvo::WinTable& t) {
    std::printf("# WP: ends left after this one, lead, hammer of the next end (1 holds it)\n");
    std::printf("%5s %6s", "ends", "hammer");
    for (int lead = -4; lead <= 4; ++lead)
        std::printf(" %6s%+d", "lead", lead);
    std::printf("\n");
    for (int ends = 0; ends <= 3; ++ends)
        for (int hammer = 1; hammer >= 0; --hammer) {
            std::printf("%5d %6d", ends, hammer);
            for (int lead = -4; lead <= 4; ++lead)
                std::printf(" %7.3f", t.at(ends, lead, hammer == 1));
            std::printf("\n");
        }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-endscores");
    std::string ice = "classic";
    std::vector<std::string> inputs;
    bool table = false;
    app.add_option("--ice", ice)->check(CLI::IsMember({"classic", "fcv1"}));
    app.add_flag("--table", table, "print the first rows of the ice's table from the kept data, or from the records");
    app.add_option("records", inputs, "game records, or folders whose *.jsonl files are read");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    Kelvo::EndScoreCounts counts;
    int ends = 0, records = 0;
    for (const std::string& input : inputs) {
        std::vector<std::string> paths;
        std::error_code error;
        if (std::filesystem::is_directory(input, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(input, error))
                if (entry.path().extension() == ".jsonl")
                    paths.push_back(entry.path().string());
            std::sort(paths.begin(), paths.end());
        } else {
            paths.push_back(input);
        }
        for (const std::string& path : paths) {
            std::string why;
            if (countRecord(path, ice, counts, ends, why))
                ++records;
            else
                std::fprintf(stderr, "kelvo-endscores: skipped %s: %s\n", path.c_str(), why.c_str());
        }
    }
    if (table) {
        std::string why;
        if (inputs.empty() && !Kelvo::parseEndScores(Kelvo::endScoresText(), ice, counts, why)) {
            std::fprintf(stderr, "kelvo-endscores: %s\n", why.c_str());
            return 1;
        }
        printTable(Kelvo::buildWinTable(Kelvo::endScoreChances(counts)));
        return 0;
    }
    std::printf("# %s: %d ends of %d records\n%s", ice.c_str(), ends, records,
                Kelvo::formatEndScores(ice, counts).c_str());
    return 0;
}
