// The search settings: the player's command line, and a seeded GO that ends
// at its playout limit answering the same every time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "decision.h"
#include "options.h"
#include "shotgrid.h"
#include "support.h"

using namespace Kelvo;

namespace {

const std::string PLAYER = KELVO_BIN;

class PlayerOptions : public KelvoTest::TempDirTest {
protected:
    // Runs the player with the options and ISREADY on its input; keeps its
    // outputs and exit status.
    void runPlayer(const std::string& options) {
        const std::string command = "printf 'ISREADY\\n' | " + KelvoTest::shellQuote(PLAYER) + " " + options +
                                    " >" + dir + "/out 2>" + dir + "/err";
        status = KelvoTest::runShell(command);
        out = KelvoTest::readFile(dir + "/out");
        err = KelvoTest::readFile(dir + "/err");
    }
    int status = -1;
    std::string out, err;
};

TEST_F(PlayerOptions, ABadOptionIsOneLineNamingItAndNothingIsAnswered) {
    struct Case {
        const char* options;
        const char* named;
    };
    for (const Case& c : {Case{"--frobnicate", "--frobnicate"}, Case{"--seed", "--seed"},
                          Case{"--budget-ms abc", "--budget-ms"}, Case{"--budget-ms 0", "--budget-ms"},
                          Case{"--budget-ms 600001", "--budget-ms"}, Case{"--instances 65", "--instances"},
                          Case{"--playouts-per-visit 0", "--playouts-per-visit"},
                          Case{"--playout-limit 0", "--playout-limit"}, Case{"--seed -1", "--seed"},
                          Case{"--seed 18446744073709551616", "--seed"}, Case{"stray", "stray"}}) {
        runPlayer(c.options);
        EXPECT_EQ(status, 2) << c.options;
        EXPECT_EQ(out, "") << c.options;
        EXPECT_NE(err.find(c.named), std::string::npos) << c.options << ": " << err;
        ASSERT_FALSE(err.empty());
        EXPECT_EQ(err.find('\n'), err.size() - 1) << c.options << ": " << err;
    }
}

TEST_F(PlayerOptions, GoodOptionsHelpAndVersion) {
    runPlayer("--budget-ms 600000 --instances 64 --playouts-per-visit 1000000 --playout-limit 1 "
              "--seed 18446744073709551615");
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out, "READYOK");
    runPlayer("--help");
    EXPECT_EQ(status, 0);
    for (const char* option : {"--budget-ms", "--instances", "--playouts-per-visit", "--playout-limit", "--seed"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
    EXPECT_EQ(out.find("READYOK"), std::string::npos);
    runPlayer("--version");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.rfind("kelvo ", 0), 0u) << out;
}

// A mid-end position with candidates of both kinds.
_GAMESTATE midEnd() {
    _GAMESTATE s;
    s.shotNumber = 6;
    s.endNumber = 1;
    s.finalEnd = 8;
    s.endScores[0] = 1;
    const float stones[6][2] = {{2.30f, 4.70f}, {2.55f, 5.10f}, {2.40f, 7.80f},
                                {1.90f, 4.20f}, {3.40f, 5.60f}, {2.20f, 8.40f}};
    for (int i = 0; i < 6; ++i) {
        s.stonePos[i][0] = stones[i][0];
        s.stonePos[i][1] = stones[i][1];
    }
    return s;
}

SearchSettings seeded(uint64_t seed) {
    SearchSettings settings;
    settings.budgetMs = 600000;
    settings.playoutsPerVisit = 20;
    settings.playoutLimit = 700;
    settings.seed = seed;
    return settings;
}

bool sameTally(const SearchTally& a, const SearchTally& b) {
    if (a.count != b.count || a.playouts != b.playouts || a.bestIndex != b.bestIndex)
        return false;
    for (int i = 0; i < a.count; ++i)
        if (a.executions[i] != b.executions[i] || a.visits[i] != b.visits[i] || a.mean[i] != b.mean[i])
            return false;
    return true;
}

TEST(SeededSearch, RepeatsBitForBitStopsAtTheLimitAndKeepsInstancesApart) {
    KelvoTest::ensureMotionTables();
    const InstanceRun a = runInstances(ThinkBoard{}, midEnd(), seeded(11));
    const InstanceRun b = runInstances(ThinkBoard{}, midEnd(), seeded(11));
    ASSERT_EQ(a.tallies.size(), 4u);
    for (size_t k = 0; k < a.tallies.size(); ++k) {
        EXPECT_TRUE(sameTally(a.tallies[k], b.tallies[k])) << "instance " << k;
        EXPECT_EQ(a.tallies[k].playouts, 700u);
        EXPECT_EQ(a.proposals[k].value, b.proposals[k].value);
    }
    EXPECT_EQ(a.chosen, b.chosen);
    // Each instance draws its own streams, and another seed other streams.
    EXPECT_FALSE(sameTally(a.tallies[0], a.tallies[1]));
    const InstanceRun other = runInstances(ThinkBoard{}, midEnd(), seeded(12));
    EXPECT_FALSE(sameTally(a.tallies[0], other.tallies[0]));

    // One instance alone searches as instance 0 of four.
    SearchSettings alone = seeded(11);
    alone.instances = 1;
    const InstanceRun single = runInstances(ThinkBoard{}, midEnd(), alone);
    ASSERT_EQ(single.tallies.size(), 1u);
    EXPECT_TRUE(sameTally(single.tallies[0], a.tallies[0]));
}

TEST(SeededSearch, TwoPlayerProcessesAnswerTheSame) {
    std::string commands = "NEWGAME\nSETSTATE 0 0 8 0\nSCORE 1\nPOSITION";
    const _GAMESTATE s = midEnd();
    for (int i = 0; i < 16; ++i)
        commands += " " + std::to_string(s.stonePos[i][0]) + " " + std::to_string(s.stonePos[i][1]);
    commands += "\nSETSTATE 6 1 8 0\nGO\n";
    std::vector<std::string> answers;
    for (int run = 0; run < 2; ++run) {
        KelvoTest::Child child = KelvoTest::spawn(
            PLAYER, {"--seed", "99", "--playout-limit", "500", "--playouts-per-visit", "25", "--budget-ms", "600000"});
        KelvoTest::writeAll(child.in, commands);
        answers.push_back(KelvoTest::readFor(child.out, 60000, 1));
        // The answer is one write; wait for the rest of it, if any.
        answers.back() += KelvoTest::readFor(child.out, 200);
        KelvoTest::finish(child);
    }
    EXPECT_EQ(answers[0].rfind("BESTSHOT ", 0), 0u) << answers[0];
    EXPECT_EQ(answers[0], answers[1]);
}

}  // namespace

namespace {

SearchSettings parsed(std::vector<std::string> args) {
    CLI::App app("test");
    SearchSettings settings;
    addSearchOptions(app, settings);
    std::reverse(args.begin(), args.end());  // CLI11 takes the words last first
    app.parse(args);
    return settings;
}

TEST(SearchOptions, APresetFillsWhatTheCommandLineLeftOpen) {
    const SearchSettings strong = parsed({"--preset", "strong"});
    EXPECT_EQ(strong.allocation, Allocation::HALVING);
    EXPECT_FALSE(strong.commonNoise);
    EXPECT_TRUE(strong.widen);
    EXPECT_EQ(strong.playoutsPerVisit, STRONG_PLAYOUTS_PER_VISIT);
    EXPECT_EQ(strong.budgetMs, SEARCH_TIME_MS);
    const SearchSettings mixed =
        parsed({"--playouts-per-visit", "100", "--preset", "strong", "--allocation", "sweep", "--budget-ms", "700"});
    EXPECT_EQ(mixed.playoutsPerVisit, 100);
    EXPECT_EQ(mixed.allocation, Allocation::SWEEP);
    EXPECT_TRUE(mixed.widen);
    EXPECT_EQ(mixed.budgetMs, 700);
    EXPECT_THROW(parsed({"--preset", "weak"}), CLI::ParseError);
    EXPECT_THROW(parsed({"--allocation", "random"}), CLI::ParseError);
    const SearchSettings plain = parsed({});
    EXPECT_EQ(plain.allocation, Allocation::SWEEP);
    EXPECT_FALSE(plain.widen || plain.commonNoise);
}

SearchSettings pooled(bool widen, bool common) {
    SearchSettings settings = seeded(5);
    settings.allocation = Allocation::HALVING;
    settings.widen = widen;
    settings.commonNoise = common;
    settings.playoutsPerVisit = 4;
    settings.playoutLimit = 400;
    return settings;
}

TEST(PooledSearch, HalvesToOneSurvivorAndRepeatsWithASeed) {
    KelvoTest::ensureMotionTables();
    for (bool common : {false, true}) {
        const InstanceRun a = runInstances(ThinkBoard{}, midEnd(), pooled(false, common));
        const InstanceRun b = runInstances(ThinkBoard{}, midEnd(), pooled(false, common));
        ASSERT_EQ(a.proposals.size(), 1u);
        ASSERT_TRUE(a.proposals[0].ok);
        EXPECT_TRUE(sameTally(a.tallies[0], b.tallies[0]));
        EXPECT_EQ(formatAnswer(a.proposals[0].shot), formatAnswer(b.proposals[0].shot));
        const PoolSearch& pool = a.pool;
        ASSERT_GE(pool.best, 0);
        EXPECT_EQ(pool.shots[pool.best].droppedIn, -1);
        int survivors = 0;
        for (const PoolShot& s : pool.shots)
            survivors += s.droppedIn < 0;
        EXPECT_EQ(survivors, 1);
        // Each round drops half of what it started with (rounded down).
        size_t left = pool.shots.size();
        for (int round = 0; round < pool.rounds; ++round) {
            size_t dropped = 0;
            for (const PoolShot& s : pool.shots)
                dropped += s.droppedIn == round;
            EXPECT_EQ(dropped, left / 2) << "round " << round;
            left -= dropped;
        }
        // The answer is the best shot in the server's orientation.
        EXPECT_EQ(a.proposals[0].shot.y, -pool.shots[pool.best].shot.y);
        EXPECT_LE(pool.playouts, 4u * 400u);
    }
}

TEST(PooledSearch, WideningAddsTheGridAndShotsNearTheLeaders) {
    KelvoTest::ensureMotionTables();
    SearchSettings settings = pooled(true, true);
    settings.playoutLimit = 3000;
    const InstanceRun run = runInstances(ThinkBoard{}, midEnd(), settings);
    const PoolSearch& pool = run.pool;
    const size_t listed = size_t(run.tallies[0].count);
    size_t widened = 0, joinedLater = 0;
    for (const PoolShot& s : pool.shots) {
        widened += s.candidate < 0;
        // A shot that joined after the first round was never in round 0's halving.
        joinedLater += &s - &pool.shots[0] >= std::ptrdiff_t(listed + gridShots(coarseGrid()).size());
    }
    EXPECT_EQ(widened, pool.shots.size() - listed);
    EXPECT_GT(widened, gridShots(coarseGrid()).size() - 1);
    EXPECT_GT(joinedLater, 0u);
    EXPECT_TRUE(run.proposals[0].ok);
}

}  // namespace
