// The exact fcv1 ice: a lone draw as the framework plays it, the rules after
// the stones stop, the score, the players' noise and the replay lines. The
// framework's own results are replayed in full by the ctests fcv1_replay and
// fcv1_trajectories.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/fcv1/fcv1replay.h"
#include "support.h"

using namespace Kelvo;

namespace {

using KelvoTest::stonesAt;

Fcv1ShotInput drawToTee(bool ccw, int32_t end) {
    Fcv1ShotInput in;
    in.end = end;
    in.move = Fcv1Move{ccw ? 0.131729f : -0.131729f, 2.399838f, ccw};
    return in;
}

bool sameStones(const Fcv1Stones& a, const Fcv1Stones& b) {
    for (int i = 0; i < FCV1_STONES; ++i)
        if (a.present[i] != b.present[i] || (a.present[i] && (a.x[i] != b.x[i] || a.y[i] != b.y[i])))
            return false;
    return true;
}

}  // namespace

TEST(Fcv1Exact, DrawToTheTeeRestsOnItInBothTurnsAndEveryEnd) {
    for (bool ccw : {true, false}) {
        const Fcv1ShotResult even = simulateFcv1Exact(drawToTee(ccw, 0));
        EXPECT_EQ(even.steps, ccw ? 28797 : 28783);
        EXPECT_TRUE(even.stones.present[fcv1ThrownIndex(0, 1)]);
        EXPECT_NEAR(even.stones.x[0], 0.0, 1e-5);
        EXPECT_NEAR(even.stones.y[0], 38.404816, 1e-5);
        // The frame turns round on odd ends; the result must not change at all.
        const Fcv1ShotResult odd = simulateFcv1Exact(drawToTee(ccw, 1));
        EXPECT_TRUE(sameStones(even.stones, odd.stones));
        EXPECT_EQ(even.steps, odd.steps);
    }
}

TEST(Fcv1Rules, HogLineThenFreeGuardZoneFoulRestoresTheSheet) {
    // Shot 2, hammer 1: team 0 throws stone 1. Team 1's stone 0 is a guard.
    Fcv1ShotInput in;
    in.shot = 2;
    in.stones = stonesAt({{0, 0.5f, 38.0f}, {8, 0.0f, 35.0f}});
    Fcv1Sheet rest = fcv1LaunchSheet(in);
    rest.stones[1].x = 0.3f;
    rest.stones[1].y = 32.1f;  // the thrown stone, not wholly past the hog line
    Fcv1ShotResult r = fcv1ApplyRules(in, rest, 100);
    EXPECT_FALSE(r.foul);
    EXPECT_FALSE(r.stones.present[1]);
    EXPECT_TRUE(r.stones.present[8]);

    rest.stones[1].y = 37.0f;
    rest.stones[8].present = false;  // the guard was knocked out
    r = fcv1ApplyRules(in, rest, 100);
    EXPECT_TRUE(r.foul);
    EXPECT_TRUE(sameStones(r.stones, in.stones));

    // Shot 5 is past the rule, and the thrower's own guards are never protected.
    in.shot = 5;
    EXPECT_EQ(fcv1ProtectedStones(in.stones, 4, 0, true), 1u << 8);
    EXPECT_EQ(fcv1ProtectedStones(in.stones, 5, 0, true), 0u);
    EXPECT_EQ(fcv1ProtectedStones(in.stones, 4, 1, true), 0u);
    EXPECT_EQ(fcv1ProtectedStones(in.stones, 4, 0, false), 0u);
    // A stone in the house or touching the tee line is no guard.
    EXPECT_FALSE(fcv1InFreeGuardZone(1.9f, 38.0f));
    EXPECT_FALSE(fcv1InFreeGuardZone(2.2f, 38.3f));
    EXPECT_TRUE(fcv1InFreeGuardZone(0.0f, 36.4f));
}

TEST(Fcv1Rules, ScoreCountsStonesNearerThanTheOpponentsBest) {
    EXPECT_EQ(scoreFcv1End(Fcv1Stones{}), (std::array<int32_t, 2>{0, 0}));
    // Team 1 nearest with two in the house before team 0's best; a third
    // outside the house does not count.
    const Fcv1Stones s = stonesAt({{0, 0.0f, 37.5f}, {8, 0.1f, 38.4f}, {9, -0.5f, 38.5f}, {10, 2.1f, 38.4f}});
    EXPECT_EQ(scoreFcv1End(s), (std::array<int32_t, 2>{0, 2}));
    // An exact tie scores nothing.
    const Fcv1Stones tie = stonesAt({{0, 0.3f, 38.405f}, {8, -0.3f, 38.405f}});
    EXPECT_EQ(scoreFcv1End(tie), (std::array<int32_t, 2>{0, 0}));
}

TEST(Fcv1Noise, CapsTheSpeedThenSpreadsSpeedAndAngle) {
    dsfmt_t rng;
    dsfmt_init_gen_rand(&rng, 7);
    const Fcv1Move fast{0.0f, 5.0f, false};
    Fcv1PlayerNoise noise;
    noise.identical = true;
    const Fcv1Move same = applyFcv1Noise(fast, noise, rng);
    EXPECT_EQ(same.vy, 5.0f);

    noise = Fcv1PlayerNoise{};
    double sum = 0, sum2 = 0, sumA = 0, sumA2 = 0;
    const int n = 4000;
    for (int i = 0; i < n; ++i) {
        const Fcv1Move m = applyFcv1Noise(fast, noise, rng);
        EXPECT_FALSE(m.ccw);
        const double s = std::hypot(m.vx, m.vy), a = std::atan2(m.vy, m.vx) - M_PI / 2;
        sum += s;
        sum2 += s * s;
        sumA += a;
        sumA2 += a * a;
    }
    EXPECT_NEAR(sum / n, 4.0, 0.0005);
    EXPECT_NEAR(std::sqrt(sum2 / n - (sum / n) * (sum / n)), 0.0076, 0.0005);
    EXPECT_NEAR(sumA / n, 0.0, 0.0001);
    EXPECT_NEAR(std::sqrt(sumA2 / n), 0.0018, 0.0001);
}

TEST(Fcv1Replay, RejectsBadLinesAndPrintsShortestFloats) {
    Fcv1ReplayLine line;
    std::string error;
    const std::string stones = "[null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null]";
    const std::string good = "{\"input\":{\"stones\":" + stones +
                             ",\"shot\":3,\"end\":1,\"velocity\":[0.1,2.4],\"rotation\":\"cw\"}}";
    ASSERT_TRUE(parseFcv1Line(good, line, error)) << error;
    EXPECT_EQ(line.input.hammer, 1);
    EXPECT_FALSE(line.input.move.ccw);
    EXPECT_FALSE(line.hasOutput);
    for (const std::string& bad :
         {std::string("not json"), std::string("{\"input\":{}}"),
          "{\"input\":{\"stones\":" + stones + ",\"shot\":16,\"end\":1,\"velocity\":[0,2],\"rotation\":\"cw\"}}",
          "{\"input\":{\"stones\":" + stones + ",\"shot\":1,\"end\":1,\"velocity\":[0,1e300],\"rotation\":\"cw\"}}",
          "{\"input\":{\"stones\":" + stones + ",\"shot\":1,\"end\":1,\"velocity\":[0,2],\"rotation\":\"up\"}}",
          std::string("{\"input\":{\"stones\":[[1,2]],\"shot\":1,\"end\":1,\"velocity\":[0,2],\"rotation\":\"cw\"}}")})
        EXPECT_FALSE(parseFcv1Line(bad, line, error)) << bad;

    EXPECT_EQ(formatFcv1Float(0.6407f), "0.6407");
    EXPECT_EQ(formatFcv1Float(38.404816f), "38.404816");
    EXPECT_EQ(std::stof(formatFcv1Float(1.0f / 3.0f)), 1.0f / 3.0f);
}
