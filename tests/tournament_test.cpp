// Tournaments: the summary's reading, pairing, interval and sequential test,
// kelvo-summary on bad input, and scripts/tournament run through GNU parallel
// here and over ssh against two ssh servers started on loopback ports:
// stopped early by its test, stopped and resumed, and with failing hosts.
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/summary.h"
#include "support.h"

namespace S = Kelvo::Server;
namespace fs = std::filesystem;

namespace {

const std::string BIN_DIR = KELVO_BIN_DIR;
const std::string TOURNAMENT = std::string(KELVO_SOURCE_DIR) + "/scripts/tournament";
const std::regex SUMMARY_LINE(
    R"(summary: pairs=(\d+) ends=(\d+) diff_per_end=(\S+) ci95_low=(\S+) ci95_high=(\S+) lost_shots=(\d+) forfeits=(\d+))");

using KelvoTest::readFile;

using KelvoTest::shellQuote;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// ---------------------------------------------------------------------------
// Reading records

const char RECORD[] =
    R"({"type":"match","players":["a","b"],"seed":18446744073709551615,"ends":2,"step":0.001,"future":{"x":[1]}}
{"type":"shot","end":0,"shot":0,"player":"player1","outcome":"thrown","seconds":4.5,"paths":[[0,1]]}
{"type":"shot","end":0,"shot":1,"player":"player2","outcome":"timeout","seconds":10.0}
{"type":"shot","end":0,"shot":2,"player":"player1","outcome":"invalid","seconds":0.5}
{"type":"comment","text":"an object of a kind the summary does not know"}
{"type":"end","end":0,"score":-2,"total":{"player1":0,"player2":2}}
{"type":"shot","end":1,"shot":0,"player":"player2","outcome":"died","seconds":0.1}
{"type":"result","winner":"player1","total":{"player1":0,"player2":2},"forfeit":"player2","reason":"died"}
)";

TEST(Records, WhatTheSummaryNeedsIsTakenAndTheRestIgnored) {
    std::istringstream in(RECORD);
    S::RecordedMatch m;
    std::string why;
    ASSERT_TRUE(S::parseRecord(in, m, why)) << why;
    EXPECT_EQ(m.seed, 18446744073709551615u);
    EXPECT_TRUE(m.finished);
    EXPECT_EQ(m.winner, "player1");
    EXPECT_EQ(m.forfeit, "player2");
    EXPECT_EQ(m.endScores, std::vector<int>{-2});
    EXPECT_EQ(m.lostShots[0], 1);
    EXPECT_EQ(m.lostShots[1], 1);
    EXPECT_EQ(m.answers[0], 2);  // the death is no answer time
    EXPECT_EQ(m.answers[1], 1);
    EXPECT_DOUBLE_EQ(m.maxSeconds[1], 10.0);

    // Stopped while a line was written: the complete lines count.
    const std::string record = RECORD;
    const size_t cut = record.find("{\"type\":\"shot\",\"end\":1");
    std::istringstream stopped(record.substr(0, cut + 20));
    S::RecordedMatch u;
    ASSERT_TRUE(S::parseRecord(stopped, u, why)) << why;
    EXPECT_FALSE(u.finished);
    EXPECT_EQ(u.endScores.size(), 1u);

    // Damage anywhere else makes the record unreadable, with the cause.
    for (const std::string& bad : std::vector<std::string>{record.substr(record.find('\n') + 1), "{\"type\":\"match\"}\n", "not json\n" + record,
          record.substr(0, cut) + "{\"type\":\"end\",\"score\":\"two\"}\n" + record.substr(cut), std::string()}) {
        std::istringstream in2(bad);
        S::RecordedMatch b;
        why.clear();
        EXPECT_FALSE(S::parseRecord(in2, b, why)) << bad;
        EXPECT_FALSE(why.empty());
    }
}

// ---------------------------------------------------------------------------
// Pairing and the interval

S::RecordedMatch match(const std::string& p1, const std::string& p2, uint64_t seed, std::vector<int> ends,
                       const std::string& winner = "draw") {
    S::RecordedMatch m;
    m.path = p1 + "-" + p2 + "-" + std::to_string(seed);
    m.players[0] = p1;
    m.players[1] = p2;
    m.seed = seed;
    m.endScores = std::move(ends);
    m.finished = true;
    m.winner = winner;
    return m;
}

TEST(Summary, PairsShareASeedAndTheIntervalIsOverPairs) {
    // Matches pair by seed whatever their order; A's points count from the
    // side A played.
    std::vector<S::RecordedMatch> ms = {
        match("A", "B", 7, {1}, "player1"),  match("B", "A", 9, {0}),
        match("B", "A", 7, {0}),             match("A", "B", 8, {2}, "player1"),
        match("B", "A", 8, {0}),             match("A", "C", 7, {5}, "player1"),  // other players
        match("A", "B", 9, {1, 1}, "player1"),  // longer match, same pair
        match("A", "B", 4, {-3}, "player2"),    // its partner never came
    };
    ms[1].endScores = {-1};  // A is player 2 here and scores 1
    const S::TournamentSummary s = S::summarise(ms);
    EXPECT_EQ(s.pairs, 3);
    EXPECT_EQ(s.ends, 7);
    // Ratio of sums: (1 + 2 + 3) / 7 ends.
    EXPECT_NEAR(s.diffPerEnd, 6.0 / 7.0, 1e-12);
    ASSERT_FALSE(std::isnan(s.ci95Low));
    EXPECT_LT(s.ci95Low, s.diffPerEnd);
    EXPECT_GT(s.ci95High, s.diffPerEnd);
    EXPECT_EQ(s.skipped.size(), 1u);
    EXPECT_EQ(s.unpaired.size(), 1u);
    // The table still counts the unpaired match: A lost it by 3.
    EXPECT_EQ(s.players[0].won, 3);
    EXPECT_EQ(s.players[0].lost, 1);
    EXPECT_EQ(s.players[0].drawn, 3);
    EXPECT_EQ(s.players[0].ends, 8);
    EXPECT_EQ(s.players[0].scored, 6);
    EXPECT_EQ(s.players[1].scored, 3);

    // Equal ends in every pair: the plain t interval. A gains 1, 2 and 3
    // points in pairs of two ends: 0.5, 1.0 and 1.5 per end, a mean of 1 with
    // a standard error of 0.5 / sqrt(3); t with 2 degrees of freedom is 4.303.
    const S::TournamentSummary e = S::summarise({match("A", "B", 1, {1}), match("B", "A", 1, {0}),
                                                 match("A", "B", 2, {1}), match("B", "A", 2, {-1}),
                                                 match("A", "B", 3, {2}), match("B", "A", 3, {-1})});
    EXPECT_DOUBLE_EQ(e.diffPerEnd, 1.0);
    EXPECT_NEAR(e.ci95High - 1.0, 4.303 * 0.5 / std::sqrt(3.0), 1e-9);
    EXPECT_NEAR(1.0 - e.ci95Low, 4.303 * 0.5 / std::sqrt(3.0), 1e-9);

    // One program against itself: the later record of a seed has the order
    // swapped, so equal scores for player 1 cancel out.
    const S::TournamentSummary self =
        S::summarise({match("K", "K", 5, {2}, "player1"), match("K", "K", 5, {2}, "player1")});
    EXPECT_EQ(self.pairs, 1);
    EXPECT_DOUBLE_EQ(self.diffPerEnd, 0.0);
    EXPECT_EQ(self.players[0].won, 1);
    EXPECT_EQ(self.players[1].won, 1);
    EXPECT_TRUE(std::isnan(self.ci95Low));  // one pair has no spread

    EXPECT_DOUBLE_EQ(S::studentT975(1), 12.706);
    EXPECT_NEAR(S::studentT975(31), 2.0395, 5e-4);
    EXPECT_NEAR(S::studentT975(1000), 1.9623, 5e-4);
}

TEST(Summary, GamesOfSeveralEndsGetTheirResultWithAWilsonInterval) {
    // A wins three games and draws one of four; an unfinished game is not a result.
    std::vector<S::RecordedMatch> ms = {match("A", "B", 1, {2, -1}, "player1"),
                                        match("B", "A", 1, {-1, 0}, "player2"), match("A", "B", 2, {1, -1}),
                                        match("B", "A", 2, {0, -3}, "player2"), match("A", "B", 3, {-4})};
    ms[4].finished = false;
    const S::TournamentSummary s = S::summarise(ms);
    EXPECT_EQ(s.games, 4);
    EXPECT_DOUBLE_EQ(s.gameScore, 3.5 / 4);
    // Points per finished game: +1, +1, 0, +3.
    EXPECT_DOUBLE_EQ(s.diffPerGame, 5.0 / 4);
    // The Wilson interval of 0.875 of 4 games.
    EXPECT_NEAR(s.gameCi95Low, 0.3958, 5e-4);
    EXPECT_NEAR(s.gameCi95High, 0.9868, 5e-4);
    const std::string text = S::summaryText(s);
    EXPECT_NE(text.find("games: played=4 won=3 drawn=1 lost=0 score=0.875 "), std::string::npos) << text;
    EXPECT_EQ(nlohmann::json::parse(S::summaryJson(s))["games"]["won"], 3);
    // Every game the same result: the interval stays open and inside 0..1.
    double low = 0, high = 0;
    S::wilsonInterval(1.0, 20, low, high);
    EXPECT_NEAR(low, 0.8389, 5e-4);
    EXPECT_DOUBLE_EQ(high, 1.0);
    // Games of one end are the ends themselves: no line of their own.
    EXPECT_EQ(S::summaryText(S::summarise({match("A", "B", 1, {1}, "player1")})).find("games:"), std::string::npos);
}

// Feeds `count` pairs of two ends from `next(k)` (A's points over pair k)
// to the test in order; returns the result.
template <class Next>
S::SprtResult stream(const S::SprtSettings& t, int count, Next next) {
    S::PairSums sums;
    S::SprtResult r = S::startTest(t);
    for (int k = 1; k <= count; ++k)
        S::takePair(sums, r, t, k, next(k), 2);
    return r;
}

TEST(Summary, SequentialTestWaitsForItsMinimumAndDecidesAtTheStoppingTime) {
    S::SprtSettings t;
    t.h0 = 0;
    t.h1 = 0.3;
    // The ratio with the prior of 10 pairs at 2.4 points^2 per end: A gains
    // 1, 2 and 3 points in pairs of two ends, a mean of 1 per end, residuals
    // of 2 points^2; s^2 = (2 + 10 * 2.4 * 2) / (3 - 1 + 10) / 2^2 = 50 / 48,
    // so llr = 3 * 0.3 * (2 - 0.3) / (2 * 50 / 48).
    S::SprtResult r = stream(t, 3, [](int k) { return k; });
    EXPECT_NEAR(r.llrAtPair, 3 * 0.3 * 1.7 * 48 / 100, 1e-12);
    EXPECT_NEAR(r.lower, -2.944439, 1e-6);  // log(0.05 / 0.95)
    EXPECT_NEAR(r.upper, 2.944439, 1e-6);

    // Pairs that nearly all cancel, and pairs all alike far from both
    // hypotheses: the variance of the pairs is (almost) zero, yet nothing is
    // decided before the minimum. The identical pairs decide H1 at once
    // then, the cancelling ones H0 later.
    for (int count = 1; count < t.minPairs; ++count) {
        EXPECT_EQ(stream(t, count, [](int k) { return k == 5 ? 1 : k == 9 ? -1 : 0; }).result, "none") << count;
        EXPECT_EQ(stream(t, count, [](int) { return 16; }).result, "none") << count;
    }
    r = stream(t, 100, [](int) { return 16; });
    EXPECT_EQ(r.result, "H1");
    EXPECT_EQ(r.atPair, t.minPairs);
    r = stream(t, 100, [](int k) { return k == 5 ? 1 : k == 9 ? -1 : 0; });
    EXPECT_EQ(r.result, "H0");
    EXPECT_GE(r.atPair, t.minPairs);
    // A clear difference with some spread (pairs of 0 to 4 points, 1 per
    // end) decides soon after the minimum.
    r = stream(t, 100, [](int k) { return std::vector<int>{0, 4, 2, 2}[size_t(k % 4)]; });
    EXPECT_EQ(r.result, "H1");
    EXPECT_LE(r.atPair, t.minPairs + 5);

    // In a summary the pairs are taken by seed from the first one, each
    // once both its matches are finished. Pairs 1 to 25 of seeds 100 to
    // 124: A wins every match 8 : 0, but pair 3's second match is missing
    // and pair 4's is unfinished, so the test waits at pair 2.
    std::vector<S::RecordedMatch> ms;
    for (uint64_t seed = 100; seed < 125; ++seed) {
        ms.push_back(match("A", "B", seed, {8}, "player1"));
        if (seed != 102)
            ms.push_back(match("B", "A", seed, {-8}, "player2"));
    }
    ms[6].finished = false;  // pair 4's second match
    t.firstSeed = 100;
    t.minPairs = 3;
    r = S::sprt(S::summarise(ms), t);
    EXPECT_EQ(r.result, "none");
    EXPECT_EQ(r.atPair, 2);
    // Complete, it decides at the minimum; pairs after the decision that go
    // the other way move the final ratio but not the result.
    ms[6].finished = true;
    ms.push_back(match("B", "A", 102, {-8}, "player2"));
    for (uint64_t seed = 125; seed < 160; ++seed) {
        ms.push_back(match("A", "B", seed, {-8}, "player2"));
        ms.push_back(match("B", "A", seed, {8}, "player1"));
    }
    r = S::sprt(S::summarise(ms), t);
    EXPECT_EQ(r.result, "H1");
    EXPECT_EQ(r.atPair, 3);
    EXPECT_GT(r.llrAtPair, r.upper);
    EXPECT_LT(r.llr, r.upper);
    EXPECT_EQ(S::sprtLine(r).rfind("sprt: result=H1 at_pair=3 llr_at_pair=", 0), 0u) << S::sprtLine(r);

    // The settings line of tournament.txt; one without its minimum (from
    // before it was a setting) has the default.
    S::SprtSettings read;
    ASSERT_TRUE(S::parseTestSettings("sprt: h0=-0.1 h1=0.25 alpha=0.01 beta=0.2 min_pairs=7", read));
    EXPECT_DOUBLE_EQ(read.h0, -0.1);
    EXPECT_DOUBLE_EQ(read.h1, 0.25);
    EXPECT_DOUBLE_EQ(read.alpha, 0.01);
    EXPECT_DOUBLE_EQ(read.beta, 0.2);
    EXPECT_EQ(read.minPairs, 7);
    ASSERT_TRUE(S::parseTestSettings("sprt: h0=0 h1=0.2 alpha=0.05 beta=0.05", read));
    EXPECT_EQ(read.minPairs, S::SPRT_MIN_PAIRS);
    for (const char* bad : {"sprt: h0=0.2 h1=0.2 alpha=0.05 beta=0.05", "sprt: h0=0 h1=0.2 alpha=0.05",
                            "sprt: h0=0 h1=0.2 alpha=0.5 beta=0.5", "sprt: h0=0 h1=x alpha=0.05 beta=0.05",
                            "sprt: h0=0 h1=0.2 alpha=0.05 beta=0.05 more", "sprt: h1=0.2 h0=0 alpha=0.05 beta=0.05",
                            "sprt: h0=0 h1=0.2 alpha=0.05 beta=0.05 min_pairs=0",
                            "sprt: h0=0 h1=0.2 alpha=0.05 beta=0.05 min_pairs=2.5"})
        EXPECT_FALSE(S::parseTestSettings(bad, read)) << bad;
}

// ---------------------------------------------------------------------------
// The programs

class Programs : public KelvoTest::TempDirTest {
protected:
    // Runs a shell command with the tournament's binaries; keeps both streams.
    int run(const std::string& command) {
        const std::string cmd = "KELVO_BIN_DIR=" + shellQuote(BIN_DIR) + " " + command + " > " +
                                shellQuote(dir + "/out") + " 2> " + shellQuote(dir + "/err") + " < /dev/null";
        const int status = std::system(cmd.c_str());
        out = readFile(dir + "/out");
        err = readFile(dir + "/err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string player(const std::string& mode, const std::string& shot) const {
        return shellQuote(BIN_DIR + "/kelvo-scripted-player") + " /dev/null " + mode + " " + shot;
    }

    std::string tournament(const std::string& p1, const std::string& p2, const std::string& extra) const {
        return shellQuote(TOURNAMENT) + " --player1 " + shellQuote(p1) + " --player2 " + shellQuote(p2) + " " + extra;
    }

    // The numbers of the summary line, which must be the last line of `text`.
    std::smatch summaryOf(const std::string& text) {
        lastLine = linesOf(text).empty() ? "" : linesOf(text).back();
        std::smatch m;
        std::regex_match(lastLine, m, SUMMARY_LINE);
        return m;
    }

    // Won, drawn, lost and ends of a player's row in the table.
    std::vector<int> row(const std::string& text, const std::string& name) const {
        for (const std::string& line : linesOf(text))
            if (line.rfind(name + " ", 0) == 0) {
                std::istringstream in(line.substr(name.size()));
                std::vector<int> v(4, -1);
                in >> v[0] >> v[1] >> v[2] >> v[3];
                return v;
            }
        return {};
    }

    size_t records(const std::string& folder) const {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            n += entry.path().extension() == ".jsonl";
        return n;
    }

    std::string out, err, lastLine;
};

const char DRAW[] = "0,-29.5,0";
const char AWAY[] = "0,-40,0";

TEST_F(Programs, SummaryRefusesBadInputWithOneLineAndSkipsUnreadableRecords) {
    std::ofstream(dir + "/bad.jsonl") << "{\"type\":\"shot\"}\n";
    fs::create_directories(dir + "/empty");
    for (const std::string& args :
         {std::string(""), std::string("--bogus x"), shellQuote(dir + "/bad.jsonl"), shellQuote(dir + "/missing.jsonl"),
          shellQuote(dir + "/empty"), std::string("--sprt-check 0.3,0"), std::string("--sprt-check 0,0.3 --trials 0"),
          std::string("--trials 5 ") + shellQuote(dir + "/bad.jsonl")}) {
        EXPECT_EQ(run(shellQuote(BIN_DIR + "/kelvo-summary") + " " + args), 2) << args;
        EXPECT_EQ(out, "") << args;
        EXPECT_EQ(err.rfind("kelvo-summary: ", 0), 0u) << err;
    }
    std::ofstream(dir + "/good.jsonl") << RECORD;
    ASSERT_EQ(run(shellQuote(BIN_DIR + "/kelvo-summary") + " --json " + shellQuote(dir + "/bad.jsonl") + " " +
                  shellQuote(dir + "/good.jsonl")),
              0)
        << err;
    EXPECT_EQ(linesOf(err).size(), 1u);
    EXPECT_NE(err.find("bad.jsonl"), std::string::npos);
    const nlohmann::json j = nlohmann::json::parse(out);
    EXPECT_EQ(j.at("pairs"), 0);
    EXPECT_EQ(j.at("lost_shots"), 2);
    EXPECT_EQ(j.at("forfeits"), 1);
    EXPECT_TRUE(j.at("diff_per_end").is_null());
}

TEST_F(Programs, LocalTournamentPlaysEveryMatchAndShowsLostShotsAndForfeits) {
    // Player B is late with its first answer in every match: one lost shot each.
    const std::string folder = dir + "/t";
    ASSERT_EQ(run(tournament(player("fixed", DRAW), player("sleep:1200", AWAY),
                             "--pairs 2 --ends 1 --jobs 2 --time-limit 1 --seed 40 --out " + shellQuote(folder))),
              0)
        << out << err;
    EXPECT_EQ(records(folder), 4u);
    for (const char* name : {"pair-0001-ab", "pair-0001-ba", "pair-0002-ab", "pair-0002-ba"}) {
        EXPECT_TRUE(fs::exists(folder + "/" + name + ".jsonl")) << name;
        EXPECT_NE(readFile(folder + "/" + name + ".txt").find("result: "), std::string::npos) << name;
    }
    EXPECT_NE(readFile(folder + "/pair-0002-ba.txt").find("seed 41"), std::string::npos);
    EXPECT_NE(out.find("[4/4] "), std::string::npos) << out;
    const std::smatch m = summaryOf(out);
    ASSERT_FALSE(m.empty()) << out;
    EXPECT_EQ(m[1], "2");
    EXPECT_EQ(m[2], "4");
    EXPECT_GT(std::stod(m[3]), 0.0);  // draws to the house beat throw-aways
    EXPECT_EQ(m[6], "4");
    EXPECT_EQ(readFile(folder + "/summary.txt"), out.substr(out.find("player A: ")));

    // A player that crashes in every match forfeits them; the tournament ends.
    ASSERT_EQ(run(tournament(player("fixed", DRAW), player("exit", AWAY),
                             "--pairs 1 --ends 2 --jobs 2 --out " + shellQuote(dir + "/crash"))),
              0)
        << out << err;
    const std::smatch c = summaryOf(out);
    ASSERT_FALSE(c.empty()) << out;
    EXPECT_EQ(c[7], "2");
    EXPECT_EQ(row(out, "A"), (std::vector<int>{2, 0, 0, 0})) << out;  // won both before any end
}

TEST_F(Programs, TournamentRefusesBadInputBeforeAnyMatch) {
    const std::string p = player("fixed", DRAW);
    const std::string folder = shellQuote(dir + "/t");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {tournament(p, p, "--pairs 1 --ends 1 --colour red --out " + folder), "--colour"},
        {tournament(p, p, "--ends 1 --out " + folder + " --pairs"), "--pairs"},
        {tournament(p, p, "--pairs 0 --ends 1 --out " + folder), "--pairs"},
        {tournament(p, p, "--pairs 1 --ends 11 --out " + folder), "--ends"},
        {tournament(p, p, "--pairs 1 --ends 1 --jobs x --out " + folder), "--jobs"},
        {tournament(p, p, "--pairs 1 --ends 1 --sshloginfile " + shellQuote(dir + "/nohosts") + " --out " + folder),
         "sshloginfile"},
        {tournament(p, dir + "/no-such-player", "--pairs 1 --ends 1 --out " + folder), "--player2 does not start"},
        {tournament(p, p, "--pairs 1 --ends 1 --sprt 0.2,0 --out " + folder), "--sprt"},
        {tournament(p, p, "--pairs 1 --ends 1 --sprt 0,0.2 --beta 0.5 --out " + folder), "--beta"},
        {tournament(p, p, "--pairs 1 --ends 1 --sprt 0,0.2 --sprt-min-pairs 0 --out " + folder), "--sprt-min-pairs"},
        {tournament(p, p, "--pairs 1 --ends 1 --alpha 0.1 --out " + folder), "--alpha, --beta and --sprt-min-pairs need --sprt"},
        {shellQuote(TOURNAMENT) + " --resume " + shellQuote(dir), "holds no tournament.txt"},
    };
    for (const auto& [command, cause] : cases) {
        EXPECT_EQ(run(command), 2) << command << "\n" << out << err;
        EXPECT_EQ(linesOf(err).size(), 1u) << err;
        EXPECT_NE(err.find(cause), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir + "/t")) << command;
    }
}

TEST_F(Programs, SequentialTestStopsEarlyOnceTheAnswerIsClear) {
    // Draws to the house against throw-aways: the test accepts H1 soon after
    // its minimum of 3 pairs; the running matches finish and are counted,
    // but the decision is the one at the pair that crossed the bound.
    const std::string folder = dir + "/t";
    ASSERT_EQ(run(tournament(player("fixed", DRAW), player("fixed", AWAY),
                             "--pairs 20 --ends 1 --jobs 2 --seed 1 --sprt 0,1 --sprt-min-pairs 3 --out " +
                                 shellQuote(folder))),
              0)
        << out << err;
    std::smatch decided;
    ASSERT_TRUE(std::regex_search(out, decided, std::regex(R"(the sequential test accepts H1 at pair (\d+) )")))
        << out;
    const int at = std::stoi(decided[1]);
    EXPECT_GE(at, 3);
    EXPECT_LE(records(folder), size_t(2 * at + 2));  // at most the two running matches more
    const std::smatch m = summaryOf(out);
    ASSERT_FALSE(m.empty()) << out;
    const std::vector<std::string> lines = linesOf(out);
    const std::regex testLine(R"(sprt: result=H1 at_pair=(\d+) llr_at_pair=(\S+) llr=\S+ lower=-2\.944 upper=2\.944)");
    std::smatch t;
    ASSERT_TRUE(std::regex_match(lines[lines.size() - 2], t, testLine)) << out;
    EXPECT_EQ(std::stoi(t[1]), at);
    // The progress line of the decision showed the ratio at that pair.
    EXPECT_NE(out.find("; llr " + t[2].str() + " at pair " + t[1].str() + " [-2.944, 2.944]"), std::string::npos)
        << out;

    ASSERT_EQ(run(shellQuote(BIN_DIR + "/kelvo-summary") + " --json " + shellQuote(folder)), 0) << err;
    const nlohmann::json j = nlohmann::json::parse(out);
    EXPECT_EQ(j.at("sprt").at("result"), "H1");
    EXPECT_EQ(j.at("sprt").at("at_pair"), at);
    EXPECT_GT(j.at("sprt").at("llr_at_pair").get<double>(), j.at("sprt").at("upper").get<double>());
    EXPECT_EQ(j.at("sprt").at("h1"), 1.0);
    EXPECT_EQ(j.at("sprt").at("min_pairs"), 3);
}

TEST_F(Programs, AStoppedTournamentResumesToTheResultsOfAStraightRun) {
    // Every match takes about a second; stop after the first has finished.
    // The seed is fixed: with the execution noise of some seeds the fast
    // throw-away strikes the draw out of the house and wins the match.
    const std::string settings = "--pairs 2 --ends 1 --time-limit 5 --seed 40";
    const std::string p1 = player("fixed", DRAW), p2 = player("sleep:800", AWAY);
    const std::string folder = dir + "/t";
    const std::string command = "KELVO_BIN_DIR=" + shellQuote(BIN_DIR) + " exec " +
                                tournament(p1, p2, settings + " --jobs 1 --out " + shellQuote(folder)) + " > " +
                                shellQuote(dir + "/out") + " 2>&1 < /dev/null";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setpgid(0, 0);  // its own group, as a terminal's Ctrl-C reaches it
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (readFile(dir + "/out").find("[1/4]") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(-pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    out = readFile(dir + "/out");
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 130) << out;
    EXPECT_NE(out.find("stopped after"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(folder + "/summary.txt"));

    ASSERT_EQ(run(shellQuote(BIN_DIR + "/kelvo-summary") + " " + shellQuote(folder)), 0) << err;
    const std::smatch m = summaryOf(out);
    ASSERT_FALSE(m.empty()) << out;
    EXPECT_EQ(row(out, "A")[0], 1) << out;  // the finished match

    // Other settings are refused before anything changes.
    EXPECT_EQ(run(shellQuote(TOURNAMENT) + " --resume " + shellQuote(folder) + " --pairs 3"), 2) << out << err;
    EXPECT_EQ(linesOf(err).size(), 1u) << err;
    EXPECT_NE(err.find("--pairs 2, not 3"), std::string::npos) << err;

    // A match that left an unfinished record is played again; its record is
    // kept aside as it was.
    const std::string cut = readFile(folder + "/pair-0001-ab.jsonl").substr(0, 300);
    std::ofstream(folder + "/pair-0002-ba.jsonl") << cut;
    ASSERT_EQ(run(shellQuote(TOURNAMENT) + " --resume " + shellQuote(folder) + " --time-limit 5.0 --jobs 2"), 0) << out << err;
    EXPECT_NE(out.find("resuming; 1 matches were finished, 3 to play"), std::string::npos) << out;
    EXPECT_EQ(readFile(folder + "/pair-0002-ba.jsonl.stopped-1"), cut);
    EXPECT_EQ(records(folder), 4u);
    const std::string resumed = out;

    ASSERT_EQ(run(tournament(p1, p2, settings + " --jobs 2 --out " + shellQuote(dir + "/straight"))), 0) << out << err;
    const std::string a = summaryOf(resumed).str(), b = summaryOf(out).str();
    EXPECT_NE(a.find("summary: pairs=2 ends=4 "), std::string::npos) << resumed;
    EXPECT_EQ(a, b);
    for (const char* name : {"A", "B"})
        EXPECT_EQ(row(resumed, name), row(out, name)) << resumed << out;
}

TEST_F(Programs, MatchesWhoseHostFailsAreCountedAndPlayedOnResume) {
    const std::string p1 = player("fixed", DRAW), p2 = player("fixed", AWAY);
    // Started from a folder that is gone: no match may run from elsewhere.
    const std::string gone = dir + "/gone", folder = dir + "/t";
    fs::create_directories(gone);
    ASSERT_EQ(run("cd " + shellQuote(gone) + " && rmdir " + shellQuote(gone) + " && KELVO_BIN_DIR=" + shellQuote(BIN_DIR) + " " +
                  tournament(p1, p2, "--pairs 1 --ends 1 --seed 3 --out " + shellQuote(folder))),
              1)
        << out << err;
    EXPECT_NE(out.find("[2/2] pair-0001-ba: failed with status 125: cannot enter '" + gone + "'"),
              std::string::npos)
        << out;
    EXPECT_EQ(records(folder), 0u);
    EXPECT_NE(err.find("--resume"), std::string::npos) << err;

    // A host that cannot be reached reports nothing; its matches still count.
    std::ofstream(dir + "/hosts") << "1/ssh -p 1 -o BatchMode=yes -o ConnectTimeout=5 127.0.0.1\n";
    ASSERT_EQ(run(tournament(p1, p2, "--pairs 1 --ends 1 --seed 3 --out " + shellQuote(dir + "/lost") +
                                         " --sshloginfile " + shellQuote(dir + "/hosts"))),
              1)
        << out << err;
    EXPECT_NE(out.find("[1/2] pair-0001-ab: failed: no report from its host"), std::string::npos) << out;
    EXPECT_NE(err.find("2 matches failed"), std::string::npos) << err;

    // Resumed here, both matches are played and the notes kept.
    ASSERT_EQ(run(shellQuote(TOURNAMENT) + " --resume " + shellQuote(dir + "/lost") + " --sshloginfile ''"), 0) << out << err;
    const std::smatch m = summaryOf(out);
    ASSERT_FALSE(m.empty()) << out;
    EXPECT_EQ(m[1], "1");
    EXPECT_NE(readFile(dir + "/lost/pair-0001-ab.txt.stopped-1").find("no report"), std::string::npos);
    // The folder the first was started in is gone: its players cannot be found.
    EXPECT_EQ(run(shellQuote(TOURNAMENT) + " --resume " + shellQuote(folder)), 2) << out << err;
    EXPECT_NE(err.find("cannot enter " + gone), std::string::npos) << err;
}

// ---------------------------------------------------------------------------
// Over ssh

int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

class OverSsh : public Programs {
protected:
    void TearDown() override {
        for (const std::string& pidFile : pidFiles) {
            const std::string pid = readFile(pidFile);
            if (!pid.empty())
                kill(std::atoi(pid.c_str()), SIGTERM);
        }
        Programs::TearDown();
    }

    // Starts an ssh server on a free loopback port that takes the test's key;
    // returns the ssh command that logs in to it, or "" with `why` set.
    std::string startServer(int index, std::string& why) {
        const std::string d = dir + "/sshd" + std::to_string(index);
        fs::create_directories(d);
        const int port = freePort();
        const passwd* account = getpwuid(geteuid());
        const std::string login = account ? account->pw_name : "";
        if (port == 0 || login.empty()) {
            why = "no free port or no user name";
            return "";
        }
        std::ofstream(d + "/config") << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey " << d
                                     << "/host_key\nAuthorizedKeysFile " << dir << "/user_key.pub\nPidFile " << d
                                     << "/pid\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
                                     << "KbdInteractiveAuthentication no\nLogLevel INFO\n";
        pidFiles.push_back(d + "/pid");
        if (run("ssh-keygen -q -t ed25519 -N '' -f " + shellQuote(d + "/host_key")) != 0 ||
            run("/usr/sbin/sshd -f " + shellQuote(d + "/config") + " -E " + shellQuote(d + "/log")) != 0) {
            why = "sshd did not start: " + err;
            return "";
        }
        const std::string ssh = "ssh -p " + std::to_string(port) + " -i " + dir +
                                "/user_key -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null"
                                " -o BatchMode=yes -o LogLevel=ERROR " + login + "@127.0.0.1";
        for (int tries = 0; tries < 40; ++tries) {
            if (run(ssh + " true") == 0)
                return ssh;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        why = "no login through sshd on port " + std::to_string(port) + ": " + err;
        return "";
    }

    std::vector<std::string> pidFiles;
};

TEST_F(OverSsh, EveryMatchRunsOnTheHostsAndItsRecordComesBack) {
    if (!fs::exists("/usr/sbin/sshd"))
        GTEST_SKIP() << "no /usr/sbin/sshd (scripts/setup --checks installs it): distribution over ssh not tested";
    // sshd started by root needs its privilege separation folder.
    std::error_code ignored;
    if (geteuid() == 0)
        fs::create_directories("/run/sshd", ignored);
    if (run("ssh-keygen -q -t ed25519 -N '' -f " + shellQuote(dir + "/user_key")) != 0)
        GTEST_SKIP() << "ssh-keygen failed: " << err;
    std::string hosts, why;
    for (int i = 0; i < 2; ++i) {
        const std::string ssh = startServer(i, why);
        if (ssh.empty())
            GTEST_SKIP() << "ssh cannot be started here, distribution over ssh not tested: " << why;
        hosts += "1/" + ssh + "\n";
    }
    std::ofstream(dir + "/hosts") << hosts;

    const std::string folder = dir + "/t";
    ASSERT_EQ(run(tournament(player("fixed", DRAW), player("fixed", AWAY),
                             "--pairs 2 --ends 1 --out " + shellQuote(folder) + " --sshloginfile " +
                                 shellQuote(dir + "/hosts"))),
              0)
        << out << err;
    EXPECT_EQ(records(folder), 4u);
    const std::smatch m = summaryOf(out);
    ASSERT_FALSE(m.empty()) << out;
    EXPECT_EQ(m[1], "2") << out << err;
    EXPECT_EQ(m[2], "4") << out;
    // Both servers let the tournament in.
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(readFile(dir + "/sshd" + std::to_string(i) + "/log").find("Accepted publickey"), std::string::npos)
            << i;
}

}  // namespace
