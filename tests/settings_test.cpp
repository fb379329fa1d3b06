// The search settings: the player's command line, and a seeded GO that ends
// at its playout limit answering the same every time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine.h"
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
                          Case{"--seed 18446744073709551616", "--seed"}, Case{"stray", "stray"},
                          // Settings without effect with the chosen allocation.
                          Case{"--widen", "--widen"}, Case{"--common-noise --allocation sweep", "--common-noise"},
                          Case{"--preset strong --allocation sweep", "--preset strong"},
                          // The fcv1 ice's options.
                          Case{"--ice ice", "--ice"}, Case{"--noise-speed 0.01", "--noise-speed"},
                          Case{"--ice fcv1 --noise-angle -1", "--noise-angle"}}) {
        runPlayer(c.options);
        EXPECT_EQ(status, 2) << c.options;
        EXPECT_EQ(out, "") << c.options;
        EXPECT_NE(err.find(c.named), std::string::npos) << c.options << ": " << err;
        ASSERT_FALSE(err.empty());
        EXPECT_EQ(err.find('\n'), err.size() - 1) << c.options << ": " << err;
    }
}

// The tools' seeds are unsigned: a negative one is refused, not wrapped
// around to a huge seed that the run would then report as given.
TEST_F(PlayerOptions, ToolsRefuseANegativeSeed) {
    for (const char* tool : {"kelvo-takeout", "kelvo-dc3-server", "kelvo-dc4-server"}) {
        const std::string command = KelvoTest::shellQuote(std::string(KELVO_BIN_DIR) + "/" + tool) +
                                    " --seed -1 </dev/null >" + dir + "/out 2>" + dir + "/err";
        EXPECT_EQ(KelvoTest::runShell(command), 2) << tool;
        EXPECT_EQ(KelvoTest::readFile(dir + "/out"), "") << tool;
        EXPECT_NE(KelvoTest::readFile(dir + "/err").find("--seed"), std::string::npos) << tool;
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
    // The help lists every preset of the table with its options, in order.
    for (const Preset& p : PRESETS) {
        size_t at = out.find(std::string(p.name) + ":");
        ASSERT_NE(at, std::string::npos) << p.name;
        std::istringstream words(p.options);
        for (std::string word; words >> word && at != std::string::npos;) {
            at = out.find(word, at);
            EXPECT_NE(at, std::string::npos) << p.name << " " << word;
        }
    }
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

// What a fresh engine's search on the state did.
SearchResult searchOf(const _GAMESTATE& state, const SearchSettings& settings) {
    Engine engine = KelvoTest::engine(settings);
    return engine.decide(state).search;
}

bool sameLine(const InstanceLine& a, const InstanceLine& b) {
    if (a.best != b.best || a.value != b.value || a.playouts != b.playouts || a.shots.size() != b.shots.size())
        return false;
    for (size_t i = 0; i < a.shots.size(); ++i)
        if (a.shots[i].executions != b.shots[i].executions || a.shots[i].playouts != b.shots[i].playouts ||
            a.shots[i].mean != b.shots[i].mean)
            return false;
    return true;
}

TEST(SeededSearch, RepeatsBitForBitStopsAtTheLimitAndKeepsInstancesApart) {
    const SearchResult a = searchOf(midEnd(), seeded(11));
    const SearchResult b = searchOf(midEnd(), seeded(11));
    ASSERT_EQ(a.instances.size(), 4u);
    for (size_t k = 0; k < a.instances.size(); ++k) {
        EXPECT_TRUE(sameLine(a.instances[k], b.instances[k])) << "instance " << k;
        EXPECT_EQ(a.instances[k].playouts, 700u);
    }
    EXPECT_EQ(a.chosen, b.chosen);
    // The shots' totals are the instances' figures together.
    for (size_t i = 0; i < a.shots.size(); ++i) {
        uint64_t playouts = 0;
        for (const InstanceLine& line : a.instances)
            playouts += line.shots[i].playouts;
        EXPECT_EQ(a.shots[i].stats.playouts, playouts);
    }
    // Each instance draws its own streams, and another seed other streams.
    EXPECT_FALSE(sameLine(a.instances[0], a.instances[1]));
    EXPECT_FALSE(sameLine(a.instances[0], searchOf(midEnd(), seeded(12)).instances[0]));

    // One instance alone searches as instance 0 of four.
    SearchSettings alone = seeded(11);
    alone.instances = 1;
    const SearchResult single = searchOf(midEnd(), alone);
    ASSERT_EQ(single.instances.size(), 1u);
    EXPECT_TRUE(sameLine(single.instances[0], a.instances[0]));
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

SearchSettings parsed(std::vector<std::string> args, const std::string& defaultPreset = "") {
    CLI::App app("test");
    SearchSettings settings;
    addSearchOptions(app, settings, "--budget-ms", defaultPreset);
    std::reverse(args.begin(), args.end());  // CLI11 takes the words last first
    app.parse(args);
    return settings;
}

TEST(SearchOptions, APresetIsItsOptionsAndOptionsBesideItWin) {
    for (const Preset& p : PRESETS) {
        std::istringstream in(p.options);
        std::vector<std::string> words;
        for (std::string word; in >> word;)
            words.push_back(word);
        const SearchSettings named = parsed({"--preset", p.name});
        const SearchSettings spelled = parsed(words);
        EXPECT_EQ(named.allocation, spelled.allocation) << p.name;
        EXPECT_EQ(named.widen, spelled.widen) << p.name;
        EXPECT_EQ(named.commonNoise, spelled.commonNoise) << p.name;
        EXPECT_EQ(named.playoutsPerVisit, spelled.playoutsPerVisit) << p.name;
        EXPECT_EQ(named.budgetMs, spelled.budgetMs) << p.name;
        EXPECT_EQ(named.objective, spelled.objective) << p.name;
        EXPECT_EQ(named.takeoutWeights, spelled.takeoutWeights) << p.name;
        EXPECT_EQ(named.playoutTakeout, spelled.playoutTakeout) << p.name;
    }
    const SearchSettings strong = parsed({"--preset", "strong"});
    EXPECT_EQ(strong.allocation, Allocation::HALVING);
    EXPECT_TRUE(strong.widen);
    EXPECT_EQ(strong.budgetMs, SEARCH_TIME_MS);
    const SearchSettings mixed = parsed({"--playouts-per-visit", "100", "--preset", "strong", "--budget-ms", "700"});
    EXPECT_EQ(mixed.playoutsPerVisit, 100);
    EXPECT_TRUE(mixed.widen);
    EXPECT_EQ(mixed.budgetMs, 700);
    // The preset's --widen would do nothing with the sweep beside it.
    EXPECT_THROW(parsed({"--preset", "strong", "--allocation", "sweep"}), CLI::ValidationError);
    EXPECT_THROW(parsed({"--common-noise"}), CLI::ValidationError);
    EXPECT_THROW(parsed({"--preset", "weak"}), CLI::ParseError);
    EXPECT_THROW(parsed({"--allocation", "random"}), CLI::ParseError);
    const SearchSettings plain = parsed({});
    EXPECT_EQ(plain.allocation, Allocation::SWEEP);
    EXPECT_FALSE(plain.widen || plain.commonNoise);

    // A tool whose default is the strong preset (kelvo-dc3): options still
    // change it, and the kelvo preset is the player's own search.
    const SearchSettings byDefault = parsed({"--playouts-per-visit", "100"}, "strong");
    EXPECT_TRUE(byDefault.widen);
    EXPECT_EQ(byDefault.playoutsPerVisit, 100);
    const SearchSettings own = parsed({"--preset", "kelvo"}, "strong");
    EXPECT_EQ(own.allocation, Allocation::SWEEP);
    EXPECT_FALSE(own.widen);
    EXPECT_EQ(own.playoutsPerVisit, plain.playoutsPerVisit);
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
    for (bool common : {false, true}) {
        const SearchResult a = searchOf(midEnd(), pooled(false, common));
        const SearchResult b = searchOf(midEnd(), pooled(false, common));
        ASSERT_EQ(a.instances.size(), 1u);
        ASSERT_TRUE(a.instances[0].ok);
        EXPECT_TRUE(sameLine(a.instances[0], b.instances[0]));
        EXPECT_EQ(formatAnswer(a.answer), formatAnswer(b.answer));
        ASSERT_GE(a.answerShot, 0);
        EXPECT_EQ(a.shots[a.answerShot].droppedIn, -1);
        int survivors = 0;
        for (const SearchedShot& s : a.shots)
            survivors += s.droppedIn < 0;
        EXPECT_EQ(survivors, 1);
        // Each round drops half of what it started with (rounded down).
        size_t left = a.shots.size();
        for (int round = 0; round < a.rounds; ++round) {
            size_t dropped = 0;
            for (const SearchedShot& s : a.shots)
                dropped += s.droppedIn == round;
            EXPECT_EQ(dropped, left / 2) << "round " << round;
            left -= dropped;
        }
        // The answer is the best shot in the server's orientation.
        EXPECT_EQ(a.answer.y, -a.shots[a.answerShot].launch.y);
        EXPECT_LE(a.instances[0].playouts, 4u * 400u);
    }
}

TEST(PooledSearch, WideningAddsTheGridAndShotsNearTheLeaders) {
    SearchSettings settings = pooled(true, true);
    settings.playoutLimit = 3000;
    const SearchResult run = searchOf(midEnd(), settings);
    const size_t grid = gridShots(COARSE_GRID).size();
    size_t kinds[3] = {};
    for (size_t i = 0; i < run.shots.size(); ++i) {
        const SearchedShot& s = run.shots[i];
        ++kinds[int(s.kind)];
        // The candidates first, in their order, then the grid, then the refinements.
        const ShotKind expected = int32_t(i) < run.candidates      ? ShotKind::CANDIDATE
                                  : i < size_t(run.candidates) + grid ? ShotKind::GRID
                                                                      : ShotKind::REFINED;
        EXPECT_EQ(s.kind, expected) << i;
    }
    EXPECT_EQ(kinds[int(ShotKind::CANDIDATE)], size_t(run.candidates));
    EXPECT_EQ(kinds[int(ShotKind::GRID)], grid);
    EXPECT_GT(kinds[int(ShotKind::REFINED)], 0u);
    EXPECT_TRUE(run.instances[0].ok);
}

}  // namespace
