// kelvo-analyse: the position it reads, the refusals it shares with the
// player, and a table whose parts agree with each other.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support.h"

namespace {

const std::string BIN_DIR = KELVO_BIN_DIR;

using KelvoTest::readFile;
using KelvoTest::runShell;

using KelvoTest::shellQuote;

class Analyse : public KelvoTest::TempDirTest {};

TEST_F(Analyse, RefusesWhatThePlayerRefusesWithTheSameReason) {
    const std::string cases[] = {
        "POSITION 2.3 4.7 2.5 5.1 2.4 7.8\nSETSTATE 1 0 1 0\n",  // two BLACK stones after one thrown
        "SETSTATE 16 0 1 0\n",
    };
    for (const std::string& lines : cases) {
        std::ofstream(dir + "/in.txt") << lines;
        std::ofstream(dir + "/go.txt") << lines << "GO\n";
        ASSERT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo") + " < " + shellQuote(dir + "/go.txt") + " > /dev/null 2> " +
                           shellQuote(dir + "/player.txt")),
                  0);
        EXPECT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo-analyse") + " " + shellQuote(dir + "/in.txt") + " > " +
                           shellQuote(dir + "/out.txt") + " 2> " + shellQuote(dir + "/err.txt")),
                  2);
        const std::string player = readFile(dir + "/player.txt"), analyse = readFile(dir + "/err.txt");
        const std::string reason = player.substr(player.find("GO ignored: "));
        EXPECT_NE(reason.find("GO ignored: "), std::string::npos) << player;
        EXPECT_EQ(analyse, "kelvo-analyse: " + reason) << lines;
        EXPECT_EQ(readFile(dir + "/out.txt"), "");
    }
}

TEST_F(Analyse, ARecordedShotGivesATableThatAddsUp) {
    const std::string player = shellQuote(BIN_DIR + "/kelvo-scripted-player") + " " + shellQuote(dir + "/p.log") +
                               " fixed -0.99074,-29.559775,0 0.6,-29.3,1";
    ASSERT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo-server") + " --player1 " + shellQuote(player) + " --player2 " +
                       shellQuote(player) + " --seed 4 --record " + shellQuote(dir + "/r.jsonl") + " > /dev/null"),
              0);
    ASSERT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo-analyse") + " --record " + shellQuote(dir + "/r.jsonl") +
                       " --end 0 --shot 6 --budget 60 --json --svg " + shellQuote(dir + "/a.svg") + " > " +
                       shellQuote(dir + "/a.json")),
              0)
        << readFile(dir + "/a.json");
    const nlohmann::json a = nlohmann::json::parse(readFile(dir + "/a.json"));
    EXPECT_EQ(a["end"], 0);
    EXPECT_EQ(a["shot"], 6);
    ASSERT_GT(a["candidates"].size(), 0u);
    uint64_t visits = 0, playouts = 0, instanceVisits = 0, instancePlayouts = 0;
    for (const auto& c : a["candidates"]) {
        visits += c["visits"].get<uint64_t>();
        playouts += c["playouts"].get<uint64_t>();
    }
    for (const auto& i : a["instances"]) {
        ASSERT_TRUE(i["ok"].get<bool>());
        instanceVisits += i["visits"].get<uint64_t>();
        instancePlayouts += i["playouts"].get<uint64_t>();
    }
    EXPECT_EQ(visits, instanceVisits);
    EXPECT_EQ(playouts, instancePlayouts);
    EXPECT_GT(playouts, 0u);

    // The answer is the chosen instance's candidate, sent with y negated.
    const auto& chosen = a["instances"][a["chosen"].get<size_t>()];
    const auto& shot = chosen["shot"];
    char answer[128];
    std::snprintf(answer, sizeof answer, "BESTSHOT %f %f %d", double(float(shot["x"].get<double>())),
                  double(float(shot["y"].get<double>())), shot["spin"].get<int>());
    EXPECT_EQ(a["answer"], answer);
    const auto& candidate = a["candidates"][chosen["candidate"].get<size_t>()];
    EXPECT_EQ(candidate["spin"], shot["spin"]);
    EXPECT_NEAR(candidate["speed"].get<double>(), std::hypot(shot["x"].get<double>(), shot["y"].get<double>()),
                1e-9);

    const std::string svg = readFile(dir + "/a.svg");
    EXPECT_NE(svg.find("class=\"chosen\""), std::string::npos);
    EXPECT_NE(svg.find("class=\"legend\""), std::string::npos);
    // Six stones were thrown before shot 6; the picture shows those in play.
    const nlohmann::json shot6 = [&] {
        std::istringstream in(readFile(dir + "/r.jsonl"));
        std::string line;
        nlohmann::json last;
        while (std::getline(in, line)) {
            const nlohmann::json o = nlohmann::json::parse(line);
            if (o["type"] == "shot" && o["shot"] == 5)
                last = o;
        }
        return last;
    }();
    size_t stones = 0;
    for (size_t at = svg.find("class=\"stone\""); at != std::string::npos; at = svg.find("class=\"stone\"", at + 1))
        ++stones;
    EXPECT_EQ(stones, shot6["stonesInPlay"].get<size_t>());

    EXPECT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo-analyse") + " --record " + shellQuote(dir + "/r.jsonl") +
                       " --end 3 --shot 2 2> " + shellQuote(dir + "/err.txt")),
              2);
    EXPECT_NE(readFile(dir + "/err.txt").find("no shot 2 of end 3"), std::string::npos);
}

// A widened search reports its widened shots by kind, beside the candidates,
// and the pick of its one instance is the answer.
TEST_F(Analyse, AWidenedSearchShowsItsShotsByKind) {
    std::ofstream(dir + "/mid.txt") << "SETSTATE 0 0 8 0\nSCORE 1\nSETSTATE 0 1 8 0\nSCORE -1\n"
                                       "POSITION 2.30 4.70 2.55 5.10 2.40 7.80 1.90 4.20 3.40 5.60 2.20 8.40"
                                       " 2.70 3.60 1.20 7.00\nSETSTATE 8 2 8 0\n";
    const std::string analyse = shellQuote(BIN_DIR + "/kelvo-analyse") + " " + shellQuote(dir + "/mid.txt") +
                                " --preset strong --budget 300 --seed 3 --playout-limit 400";
    ASSERT_EQ(runShell(analyse + " --json > " + shellQuote(dir + "/a.json")), 0) << readFile(dir + "/a.json");
    const nlohmann::json a = nlohmann::json::parse(readFile(dir + "/a.json"));
    EXPECT_EQ(a["allocation"], "halving");
    EXPECT_GT(a["pool"]["grid"].get<int>(), 0);
    ASSERT_GT(a["widened"].size(), 0u);
    for (const auto& w : a["widened"]) {
        EXPECT_TRUE(w["kind"] == "grid" || w["kind"] == "refined") << w;
        EXPECT_GE(w["index"].get<int>(), int(a["candidates"].size()));
    }
    ASSERT_EQ(a["instances"].size(), 1u);
    const auto& pick = a["instances"][0];
    EXPECT_TRUE(pick["kind"] == "candidate" || pick["kind"] == "grid" || pick["kind"] == "refined") << pick;
    EXPECT_TRUE(a["note"].is_null());

    ASSERT_EQ(runShell(analyse + " > " + shellQuote(dir + "/a.txt")), 0);
    const std::string table = readFile(dir + "/a.txt");
    EXPECT_NE(table.find("widened: "), std::string::npos) << table;
    EXPECT_NE(table.find(" grid "), std::string::npos) << table;
    EXPECT_EQ(table.find("candidate -1"), std::string::npos) << table;
}

}  // namespace
