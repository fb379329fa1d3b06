// Digital Curling 4: its rules on the fcv1 motion, the state and the event
// stream as the client reads them, the client's session, and whole matches
// of kelvo-dc4 and a curl-only player on the stand-in, with a stream
// dropped mid-end, bad requests to the server and bad answers to the client.
#include <gtest/gtest.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <string>
#include <thread>

#include "dc4/client.h"
#include "dc4/game.h"
#include "dc4/messages.h"
#include "dc4/session.h"
#include "kelvosim/fcv1/fcv1dc4.h"
#include "kelvosim/fcv1/fcv1fast.h"
#include "kelvosim/fcv1/fcv1ice.h"
#include "kelvosim/fcv1/fcv1rules.h"
#include "kelvosim/fcv1/fcv1shot.h"
#include "kelvosim/board/simcontext.h"
#include "player/shotgrid.h"
#include "server/summary.h"
#include "support.h"
#include "viewer/page.h"

namespace {

using namespace Kelvo;
using namespace Kelvo::Dc4;
using KelvoTest::readFile;
using KelvoTest::shellQuote;
using KelvoTest::stonesAt;

const std::string BIN_DIR = KELVO_BIN_DIR;

Fcv1ShotResult throwShot(const Fcv1Stones& stones, int shot, int thrower, double v, double angle, double spin,
                         Dc4Guard guard = Dc4Guard::FGZ) {
    Dc4ShotInput in;
    in.stones = stones;
    in.shot = shot;
    in.thrower = thrower;
    in.vx = float(v * std::cos(angle));
    in.vy = float(v * std::sin(angle));
    in.spin = dc4ExecutedSpin(spin);
    Fcv1Simulator sim;
    return playDc4Shot(sim, in, dc4Rules(guard));
}

// The lone draw to the tee with the largest clockwise spin.
constexpr double DRAW_V = 2.40345, DRAW_ANGLE = 1.6256328;

// Where a lone stone's path crosses y, in x (NAN if it stops short).
double pathX(double v, double angle, double y) {
    Dc4ShotInput in;
    in.vx = float(v * std::cos(angle));
    in.vy = float(v * std::sin(angle));
    in.spin = dc4ExecutedSpin(M_PI / 2);
    Fcv1Sheet sheet = {};
    sheet.stones[0].present = true;
    sheet.stones[0].vx = in.vx;
    sheet.stones[0].vy = in.vy;
    sheet.stones[0].w = in.spin;
    Fcv1Simulator sim;
    for (int step = 0; step < 60000; step += 10) {
        sim.run(sheet, 0, nullptr, 10, {false, false});
        if (!sheet.stones[0].present || sheet.stones[0].y >= y)
            return sheet.stones[0].present ? sheet.stones[0].x : NAN;
    }
    return NAN;
}

// The clockwise shot at speed v whose lone path crosses (x, y).
double aimAt(double v, double x, double y) {
    double low = M_PI / 2 - 0.06, high = M_PI / 2 + 0.06;  // larger angles go to -x
    for (int i = 0; i < 30; ++i) {
        const double mid = (low + high) / 2;
        (pathX(v, mid, y) > x ? low : high) = mid;
    }
    return (low + high) / 2;
}

// ---------------------------------------------------------------------------
// Rules

TEST(Dc4Rules, ScoreListsTeamsInTurnAndAnExactTieScores) {
    // Equal distances: team0's slot 0 is listed first and scores; DC3 scores nothing.
    const Fcv1Stones tie = stonesAt({{0, 0.5f, FCV1_TEE_Y}, {8, -0.5f, FCV1_TEE_Y}});
    EXPECT_EQ(scoreDc4End(tie), (std::array<int32_t, 2>{1, 0}));
    EXPECT_EQ(scoreFcv1End(tie), (std::array<int32_t, 2>{0, 0}));
    // Team1 nearest twice, then team0: 2; a stone at 1.974 counts, past it not.
    const Fcv1Stones two = stonesAt({{8, 0, 38.5f}, {9, 0.3f, 38.405f}, {0, 1.0f, 38.405f}, {10, 0, 38.405f + 1.9f}});
    EXPECT_EQ(scoreDc4End(two), (std::array<int32_t, 2>{0, 2}));
    const Fcv1Stones three = stonesAt({{8, 0, 38.5f}, {9, 0.3f, 38.405f}, {10, 0, 38.405f + 1.9f}});
    EXPECT_EQ(scoreDc4End(three), (std::array<int32_t, 2>{0, 3}));
    EXPECT_EQ(scoreDc4End(stonesAt({{3, 0, 38.405f - 2.0f}})), (std::array<int32_t, 2>{0, 0}));
    EXPECT_EQ(scoreDc4End(Fcv1Stones{}), (std::array<int32_t, 2>{0, 0}));
}

TEST(Dc4Rules, SpinIsClampedFlippedAndSetsHowFarTheDrawCurls) {
    EXPECT_FLOAT_EQ(dc4ExecutedSpin(M_PI / 2), -DC4_MAX_SPIN);
    EXPECT_FLOAT_EQ(dc4ExecutedSpin(-10), DC4_MAX_SPIN);
    EXPECT_FLOAT_EQ(dc4ExecutedSpin(0.1), -DC4_MIN_SPIN);
    EXPECT_FLOAT_EQ(dc4ExecutedSpin(0), DC4_MIN_SPIN);
    EXPECT_FLOAT_EQ(dc4ExecutedSpin(NAN), DC4_MIN_SPIN);
    // The draw reaches the tee with the largest spin; the smallest runs out
    // sooner and curls a little less, on the same line.
    const Fcv1ShotResult big = throwShot({}, 0, 0, DRAW_V, DRAW_ANGLE, M_PI / 2);
    const Fcv1ShotResult small = throwShot({}, 0, 0, DRAW_V, DRAW_ANGLE, M_PI / 6);
    ASSERT_TRUE(big.stones.present[0] && small.stones.present[0]);
    EXPECT_LT(fcv1DistanceToTee(big.stones.x[0], big.stones.y[0]), 0.05f);
    EXPECT_LT(small.stones.x[0], big.stones.x[0] - 0.005f);
    EXPECT_GT(small.stones.x[0], big.stones.x[0] - 0.05f);
    // The fast simulation takes the magnitude too and lands where the exact one does.
    static const Fcv1Tables tables;
    Fcv1ShotInput in;
    in.hammer = 1;
    in.move = Fcv1Move{float(DRAW_V * std::cos(DRAW_ANGLE)), float(DRAW_V * std::sin(DRAW_ANGLE)), false};
    for (float spin : {DC4_MIN_SPIN, DC4_MAX_SPIN}) {
        in.move.spin = spin;
        const Fcv1ShotResult exact = simulateFcv1Exact(in), fast = simulateFcv1Fast(tables, in);
        ASSERT_TRUE(exact.stones.present[0] && fast.stones.present[0]);
        EXPECT_NEAR(fast.stones.x[0], exact.stones.x[0], 0.002) << spin;
        EXPECT_NEAR(fast.stones.y[0], exact.stones.y[0], 0.005) << spin;
        EXPECT_NEAR(exact.stones.x[0], (spin == DC4_MIN_SPIN ? small : big).stones.x[0], 0.002) << spin;
    }
}

TEST(Dc4Rules, HogLineTakesOnlyAnUntouchedThrownStoneAndTheBackLineCountsAtRest) {
    // Short of the hog line, alone: off.
    EXPECT_FALSE(throwShot({}, 0, 0, 1.5, M_PI / 2, M_PI / 2).stones.present[0]);
    // A stone it hits stays in play short of the hog line, and so does the
    // thrown stone that touched it.
    const Fcv1Stones guard = stonesAt({{8, 0.0f, 25.0f}});
    const Fcv1ShotResult hit = throwShot(guard, 8, 0, 2.2, aimAt(2.2, 0.0, 25.0 - 0.29), M_PI / 2);
    EXPECT_TRUE(hit.stones.present[8]);
    EXPECT_TRUE(hit.stones.present[4]);
    EXPECT_LE(hit.stones.y[4], 32.149f);
    // Through the house: past the back line at rest it is off.
    EXPECT_FALSE(throwShot({}, 0, 0, 3.3, M_PI / 2, M_PI / 2).stones.present[0]);
}

TEST(Dc4Rules, FreeGuardZoneVariantsRestoreEveryStoneAndTakeTheThrownOff) {
    // Team1's centre guard, hit by team0 at shot 2: void under both variants.
    const Fcv1Stones guard = stonesAt({{8, 0.0f, 35.0f}});
    const double onGuard = aimAt(4.0, 0.0, 35.0 - 0.29);
    for (Dc4Guard g : {Dc4Guard::FGZ, Dc4Guard::NO_TICK}) {
        const Fcv1ShotResult r = throwShot(guard, 2, 0, 4.0, onGuard, M_PI / 2, g);
        EXPECT_TRUE(r.foul) << dc4GuardName(g);
        EXPECT_TRUE(r.stones.present[8]);
        EXPECT_FLOAT_EQ(r.stones.y[8], 35.0f);
        EXPECT_FALSE(r.stones.present[1]);
    }
    // A tick: the guard pushed off the centre line but left in play is void
    // only under no_tick_rule.
    bool ticked = false;
    for (double side = 0.2; side < 0.29 && !ticked; side += 0.01) {
        const double tick = aimAt(2.5, side, 35.0 - 0.2);
        const Fcv1ShotResult fgz = throwShot(guard, 2, 0, 2.5, tick, M_PI / 2, Dc4Guard::FGZ);
        if (!fgz.stones.present[8] || std::fabs(fgz.stones.x[8]) <= FCV1_STONE_R)
            continue;
        ticked = true;
        EXPECT_FALSE(fgz.foul);
        EXPECT_TRUE(throwShot(guard, 2, 0, 2.5, tick, M_PI / 2, Dc4Guard::NO_TICK).foul);
    }
    EXPECT_TRUE(ticked) << "no thin hit left the guard in play off the centre line";
    // Shot 5 is past the zone; the thrower's own guards are never protected.
    EXPECT_FALSE(throwShot(guard, 5, 0, 4.0, onGuard, M_PI / 2).foul);
    EXPECT_EQ(dc4ProtectedStones(guard, 2, 1, dc4Rules(Dc4Guard::FGZ)), 0u);
    EXPECT_EQ(dc4ProtectedStones(guard, 2, 1, dc4Rules(Dc4Guard::MODIFIED_FGZ)), 1u << 8);
}

TEST(Dc4Game, ClocksHammerAndTheEndsFinalStateFollowTheRules) {
    MatchRequest request;
    request.ends = 1;
    request.timeLimit = 10;
    Game game(request, Dc4Guard::FGZ, 3);
    game.configure(0, TeamConfig{});
    game.configure(1, TeamConfig{});
    EXPECT_EQ(game.latest().nextTeam, 0);
    game.shoot(ShotRequest{DRAW_V, DRAW_ANGLE, M_PI / 2}, 1.5);
    EXPECT_DOUBLE_EQ(game.latest().remaining[0], 8.5);
    EXPECT_EQ(game.latest().nextTeam, 1);
    // Team1 overruns: team0 wins, the shot still stored, team0 named next.
    const ShotReport r = game.shoot(ShotRequest{DRAW_V, DRAW_ANGLE, M_PI / 2}, 11);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(game.latest().winner, 0);
    EXPECT_EQ(game.latest().remaining[1], 0);
    EXPECT_EQ(game.latest().totalShot, 2);
    EXPECT_EQ(game.latest().nextTeam, 0);
}

// ---------------------------------------------------------------------------
// Messages and the session

const char EXAMPLE[] =
    R"({"winner_team":null,"first_team_name":"Alpha","second_team_name":"Beta","end_number":0,"team_shot_number":1,"total_shot_number":3,"next_shot_team":"team1","first_team_remaining_time":571.408,"second_team_remaining_time":583.925,"first_team_extra_end_remaining_time":60,"second_team_extra_end_remaining_time":60.0,"mixed_doubles_settings":null,"last_move":{"translational_velocity":2.40121,"angular_velocity":1.5707963267948966,"shot_angle":1.51632},"stone_coordinate":{"data":{"team0":[{"x":-0.412,"y":34.87},{"x":0.118,"y":38.21},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0}],"team1":[{"x":0.64,"y":39.02},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0},{"x":0,"y":0}]}},"score":{"team0":[0,0,0,0,0,0,0,0,0],"team1":[0,0,0,0,0,0,0,0,0]}})";

TEST(Dc4Messages, TheStateReadsAsSentAndWhatIsUsedMustBeThere) {
    const State s = parseState(std::string(EXAMPLE));
    EXPECT_EQ(s.winner, -1);
    EXPECT_EQ(s.nextTeam, 1);
    EXPECT_EQ(s.totalShot, 3);
    EXPECT_DOUBLE_EQ(s.remaining[1], 583.925);
    EXPECT_DOUBLE_EQ(s.extraRemaining[1], 60);
    EXPECT_DOUBLE_EQ(s.stones[0][1].y, 38.21);
    EXPECT_EQ(s.score[1].size(), 9u);
    EXPECT_EQ(s.names[1], "Beta");
    // What the stand-in writes reads back the same.
    EXPECT_EQ(toJson(parseState(toJson(s))).dump(), toJson(s).dump());
    // Unknown keys are fine; a used field missing or of the wrong kind is not.
    nlohmann::json j = nlohmann::json::parse(EXAMPLE);
    j["something_new"] = {1, 2};
    j.erase("first_team_name");
    EXPECT_NO_THROW(parseState(j));
    for (const char* key : {"next_shot_team", "end_number", "stone_coordinate", "score", "winner_team"}) {
        nlohmann::json bad = nlohmann::json::parse(EXAMPLE);
        bad[key] = "x";
        EXPECT_THROW(parseState(bad), MessageError) << key;
    }
    EXPECT_THROW(parseState(std::string("{\"winner_team\":")), MessageError);
    EXPECT_EQ(errorDetail(R"({"detail":"Not your turn."})"), "Not your turn.");
}

TEST(Dc4Messages, EventsSplitAcrossChunksWithCommentsAndCarriageReturns) {
    EventParser p;
    const std::string bytes = ": ping\n\nevent: state_update\r\ndata: {\"a\":1}\r\n\r\nevent: latest_state_update\ndata: {}\n";
    for (char c : bytes)
        ASSERT_TRUE(p.feed(&c, 1));
    std::vector<EventParser::Event> e = p.take();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].name, "state_update");
    EXPECT_EQ(e[0].data, "{\"a\":1}");
    p.feed("\n", 1);
    e = p.take();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].name, "latest_state_update");
}

TEST(Dc4Session, AnswersItsTeamsLatestStateOnceAndMapsTheTurn) {
    SessionOptions options;
    int asked = 0;
    Dc3::Turn seen;
    const Dc3::Decide decide = [&](const Dc3::Turn& t) {
        ++asked;
        seen = t;
        return Dc3::drawToTee(false);
    };
    Session session(options, 1, decide, stderr);
    const State s = parseState(std::string(EXAMPLE));
    EXPECT_FALSE(session.take("state_update", s));
    const std::optional<ShotRequest> shot = session.take("latest_state_update", s);
    ASSERT_TRUE(shot);
    // The replay after a reconnect, or the state sent twice: no second shot.
    EXPECT_FALSE(session.take("latest_state_update", s));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(seen.hammer, 1);
    EXPECT_EQ(seen.shot, 3);
    EXPECT_TRUE(seen.stones.present[1] && seen.stones.present[8] && !seen.stones.present[9]);
    // DC3's clockwise draw, {"x":-0.131731,"y":2.399837}.
    EXPECT_NEAR(shot->velocity, 2.40345, 1e-5);
    EXPECT_NEAR(shot->angle, 1.6256328, 1e-6);
    EXPECT_NEAR(shot->spin, M_PI / 2, 1e-6);
    State other = s;
    other.nextTeam = 0;
    other.totalShot = 4;
    EXPECT_FALSE(session.take("latest_state_update", other));
    other.winner = 1;
    session.take("latest_state_update", other);
    EXPECT_TRUE(session.finished());
    EXPECT_EQ(session.resultLine().find("result: team1 wins, team0 0 : 0 team1; we played team1"), 0u);
}

// The fcv1 ice by Digital Curling 4's rules: its exact shot is the stand-in's,
// its fast one keeps a struck stone and a thrown one that touched it short
// of the hog line, its count scores a tie, and a record's spin rate reaches both.
TEST(Dc4Ice, TheFcv1IcePlaysTheRuleSetItHolds) {
    const std::shared_ptr<const Ice> ice = makeIce(IceKind::FCV1, dc4Rules(Dc4Guard::FGZ));
    const std::shared_ptr<const Ice> dc3 = makeIce(IceKind::FCV1);
    const Fcv1Tables& tables = static_cast<const Fcv1Ice&>(*ice).tables();
    const double angle = aimAt(2.2, 0.0, 25.0 - 0.29);
    SheetStones before;
    before.xy[1][0] = 0.0f;  // team1's first stone, thrown at shot 1
    before.xy[1][1] = 25.0f;
    for (float rate : {0.0f, DC4_MIN_SPIN}) {
        const fMoveXY<double> shot{double(float(2.2 * std::cos(angle))), double(float(2.2 * std::sin(angle))), 0, rate};
        const RefereedShot exact = ice->playExact(before, 8, 0, shot, 0);
        const Fcv1ShotResult standIn =
            throwShot(stonesAt({{8, 0.0f, 25.0f}}), 8, 0, 2.2, angle, rate > 0 ? double(rate) : M_PI / 2);
        EXPECT_EQ(exact.after.xy[8][0], standIn.stones.x[4]) << rate;
        EXPECT_EQ(exact.after.xy[1][1], standIn.stones.y[8]) << rate;
        Fcv1Board board;
        board.present[1] = true;
        board.y[1] = fcv1BoardY(25.0);
        for (const IceRules& rules : {ice->rules(), dc3->rules()}) {
            Fcv1Board b = board;
            const Fcv1FastOutcome o = simulateFcv1Fast(tables, b, 8, fcv1MoveOf(shot), rules);
            const bool kept = rules.hog == HogRule::UNTOUCHED_THROWN;
            EXPECT_EQ(o.change, 2) << rate;
            EXPECT_EQ(b.present[8], kept) << rate;
            if (kept) {
                EXPECT_TRUE(b.present[1]) << rate;
                EXPECT_NEAR(b.y[1], fcv1BoardY(exact.after.xy[1][1]), 0.05) << rate;
                EXPECT_NEAR(b.x[8], exact.after.xy[8][0], 0.05) << rate;
            }
        }
    }
    // Alone short of the hog line: off by either rule set.
    Fcv1Board lone;
    EXPECT_EQ(simulateFcv1Fast(tables, lone, 0, Fcv1Move{0.0f, 1.5f, true}, ice->rules()).change, 0);
    // Past the back line a stone moves on under these rules and is judged where it stops.
    const float pastBack = FCV1_BACK_LINE_Y + 0.15f;
    EXPECT_TRUE(fcv1LeavesWhileMoving(0, pastBack, fcv1MovingRemoval(dc3->rules())));
    EXPECT_FALSE(fcv1LeavesWhileMoving(0, pastBack, fcv1MovingRemoval(ice->rules())));
    EXPECT_TRUE(fcv1OffAtRest(ice->rules(), 0, pastBack, false));
    EXPECT_FALSE(fcv1OffAtRest(ice->rules(), 0, FCV1_BACK_LINE_Y + 0.1f, false));
    SheetStones tie;
    tie.xy[0][0] = 0.5f;
    tie.xy[1][0] = -0.5f;
    tie.xy[0][1] = tie.xy[1][1] = FCV1_TEE_Y;
    EXPECT_EQ(ice->countEnd(tie), 1);
    EXPECT_EQ(dc3->countEnd(tie), 0);
}

// The client sends the decision's spin magnitude within the server's range;
// the widened search offers the smallest where the ice takes it.
TEST(Dc4Session, TheShotCarriesTheChosenSpinWithinRange) {
    Fcv1Move move = Dc3::drawToTee(true);
    EXPECT_NEAR(toShot(move).spin, -M_PI / 2, 1e-6);
    for (float spin : {DC4_MIN_SPIN, 0.1f, 1.0f, 3.0f, float(NAN)}) {
        move.spin = spin;
        const double sent = -toShot(move).spin;
        EXPECT_GE(sent, double(DC4_MIN_SPIN)) << spin;
        EXPECT_LE(sent, double(DC4_MAX_SPIN)) << spin;
    }
    move.spin = DC4_MIN_SPIN;
    EXPECT_FLOAT_EQ(float(toShot(move).spin), -DC4_MIN_SPIN);

    for (bool dc4 : {false, true}) {
        SimContext sim;
        sim.ice = dc4 ? makeIce(IceKind::FCV1, dc4Rules(Dc4Guard::FGZ)) : makeIce(IceKind::FCV1);
        size_t small = 0;
        for (const Candidate& shot : gridShots(COARSE_GRID, &sim))
            small += shot.spinRate == DC4_MIN_SPIN ? 1 : 0;
        EXPECT_EQ(small > 0, dc4);
    }
}

// ---------------------------------------------------------------------------
// Over loopback

class Dc4Network : public KelvoTest::TempDirTest {
protected:
    std::string bin(const std::string& name) { return shellQuote(BIN_DIR + "/" + name); }

    // Starts the stand-in on a free port; returns its URL.
    std::string startServer(const std::string& args) {
        const std::string out = dir + "/server.txt";
        pidFile = dir + "/server.pid";
        KelvoTest::runShell(bin("kelvo-dc4-server") + " " + args + " > " + shellQuote(out) + " 2>&1 & echo $! > " +
                            shellQuote(pidFile));
        for (int i = 0; i < 100; ++i) {
            const std::string text = readFile(out);
            const size_t at = text.find("listening on ");
            if (at != std::string::npos && text.find('\n', at) != std::string::npos)
                return "http://" + text.substr(at + 13, text.find('\n', at) - at - 13);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "the stand-in did not start: " << readFile(out);
        return "";
    }
    void TearDown() override {
        if (!pidFile.empty())
            KelvoTest::runShell("kill $(cat " + shellQuote(pidFile) + ") 2>/dev/null; true");
        KelvoTest::TempDirTest::TearDown();
    }
    std::string create(const std::string& url, int ends = 1, double seconds = 60) {
        const std::string out = dir + "/id.txt";
        EXPECT_EQ(KelvoTest::runShell(bin("kelvo-dc4") + " " + url + " --create-only --ends " + std::to_string(ends) +
                                      " --time-limit " + std::to_string(seconds) + " > " + shellQuote(out)),
                  0);
        std::string id = readFile(out);
        while (!id.empty() && id.back() == '\n')
            id.pop_back();
        return id;
    }
    std::string pidFile;
};

TEST_F(Dc4Network, TheSearchAndADrawPlayerFinishAMatchWithAStreamDroppedMidEnd) {
    const std::string url = startServer("--seed 7 --records " + shellQuote(dir) + " --drop-streams 0:5 --exit-after 1");
    const std::string id = create(url, 2, 16);
    ASSERT_FALSE(id.empty());
    const std::string a = dir + "/a.txt", b = dir + "/b.txt";
    const int status = KelvoTest::runShell(
        "(" + bin("kelvo-dc4") + " " + url + " --match " + id + " --preset strong --verbose > " + shellQuote(a) +
        " 2>&1 & " + bin("kelvo-dc4") + " " + url + " --match " + id +
        " --user user1 --password pass1 --team team1 --player draw --noise 0.0076:0.0018 --verbose > " +
        shellQuote(b) + " 2>&1; s=$?; wait $!; exit $(( s | $? )))");
    const std::string first = readFile(a), second = readFile(b);
    ASSERT_EQ(status, 0) << first << second;
    EXPECT_NE(first.find("the stream dropped"), std::string::npos) << first;
    EXPECT_NE(second.find("the stream dropped"), std::string::npos) << second;
    EXPECT_NE(first.find("we played team0"), std::string::npos) << first;
    EXPECT_NE(second.find("we played team1"), std::string::npos) << second;
    // One shot each state: 32 shots of two ends (or more in an extra end).
    Server::RecordedMatch match;
    std::string why;
    ASSERT_TRUE(Server::readRecord(dir + "/" + id + ".jsonl", match, why)) << why;
    EXPECT_TRUE(match.finished);
    EXPECT_GE(match.endScores.size(), 2u);
    EXPECT_EQ(match.seed, 7u);  // the first match of a run plays the run's seed
    const std::string record = readFile(dir + "/" + id + ".jsonl");
    size_t shots = 0;
    for (size_t at = 0; (at = record.find("\"type\":\"shot\"", at)) != std::string::npos; ++at)
        ++shots;
    EXPECT_EQ(shots, 16 * match.endScores.size());
    std::string html;
    EXPECT_TRUE(Kelvo::Viewer::matchPage(record, html, why)) << why;
    EXPECT_EQ(record.find("\"outcome\":\"timeout\""), std::string::npos);
}

TEST_F(Dc4Network, ACurlOnlyPlayerFinishesAMatchAgainstTheClient) {
    if (KelvoTest::runShell("command -v curl > /dev/null") != 0)
        GTEST_SKIP() << "curl is not installed";
    const std::string url = startServer("--seed 3 --exit-after 1");
    const std::string id = create(url, 1, 30);
    const std::string a = dir + "/a.txt", b = dir + "/b.txt";
    const int status = KelvoTest::runShell(
        "(" + bin("kelvo-dc4") + " " + url + " --match " + id + " --player draw > " + shellQuote(a) + " 2>&1 & " +
        shellQuote(std::string(KELVO_SOURCE_DIR) + "/scripts/dc4-draw") + " " + url + " user1 pass1 " + id +
        " team1 > " + shellQuote(b) + " 2>&1; s=$?; wait $!; exit $(( s | $? )))");
    ASSERT_EQ(status, 0) << readFile(a) << readFile(b);
    EXPECT_EQ(readFile(b).find("winner team"), 0u) << readFile(b);
    EXPECT_EQ(readFile(a).find("result: team"), 0u) << readFile(a);
}

TEST_F(Dc4Network, ATournamentPlaysItsPairsEachOnAStandInWithTheUsualSummary) {
    if (KelvoTest::runShell("command -v parallel > /dev/null") != 0)
        GTEST_SKIP() << "GNU parallel is not installed (scripts/setup installs it)";
    const std::string out = dir + "/t";
    const int status = KelvoTest::runShell(
        "KELVO_BIN_DIR=" + shellQuote(BIN_DIR) + " " + shellQuote(std::string(KELVO_SOURCE_DIR) + "/scripts/tournament") +
        " --dc4 --player1 " + shellQuote(BIN_DIR + "/kelvo-dc4 --player draw") + " --player2 " +
        shellQuote(BIN_DIR + "/kelvo-dc4 --player draw --team-name other") +
        " --pairs 1 --ends 1 --time-limit 20 --seed 3 --jobs 1 --out " + shellQuote(out) + " > " +
        shellQuote(dir + "/printed.txt") + " 2>&1");
    const std::string printed = readFile(dir + "/printed.txt");
    ASSERT_EQ(status, 0) << printed;
    EXPECT_NE(printed.find("[2/2] pair-0001-"), std::string::npos) << printed;
    EXPECT_NE(readFile(out + "/summary.txt").find("summary: pairs=1 ends=2"), std::string::npos)
        << readFile(out + "/summary.txt");
    EXPECT_NE(readFile(out + "/tournament.txt").find("protocol: dc4"), std::string::npos);
}

TEST_F(Dc4Network, BadRequestsGetTheirStatusAndLeaveTheMatchAsItWas) {
    const std::string url = startServer("");
    const std::string id = create(url);
    httplib::Client c(url);
    c.set_read_timeout(5, 0);
    const auto status = [&](httplib::Result r) { return r ? r->status : -1; };
    const std::string shot = R"({"translational_velocity":2.4,"angular_velocity":1.57,"shot_angle":1.57})";
    const std::string team = R"({"use_default_config":true,"team_name":"t"})";
    const std::string before = c.Get(("/matches/" + id + "/latest-state").c_str())->body;
    // No or wrong credentials.
    EXPECT_EQ(status(c.Post("/matches", "{}", "application/json")), 401);
    c.set_basic_auth("user0", "wrong");
    EXPECT_EQ(status(c.Post(("/shots?match_id=" + id).c_str(), shot, "application/json")), 401);
    c.set_basic_auth("user0", "pass0");
    // Bodies and queries that do not validate; an unknown simulator or rule.
    EXPECT_EQ(status(c.Post("/matches", "{", "application/json")), 422);
    EXPECT_EQ(status(c.Post("/matches", R"({"game_mode":"standard"})", "application/json")), 422);
    nlohmann::json m = toJson(MatchRequest{});
    m["simulator"]["simulator_name"] = "other";
    EXPECT_EQ(status(c.Post("/matches", m.dump(), "application/json")), 404);
    m = toJson(MatchRequest{});
    m["applied_rule"] = "modified_fgz_rule";
    EXPECT_EQ(status(c.Post("/matches", m.dump(), "application/json")), 400);
    EXPECT_EQ(status(c.Post(("/store-team-config?match_id=" + id).c_str(), team, "application/json")), 422);
    EXPECT_EQ(status(c.Post(("/store-team-config?match_id=" + id + "&expected_match_team_name=team0").c_str(),
                            R"({"use_default_config":false,"team_name":"t"})", "application/json")),
              400);
    EXPECT_EQ(status(c.Post(("/shots?match_id=" + id).c_str(), R"({"translational_velocity":"fast"})",
                            "application/json")),
              422);
    // Unknown match; unbound user; not started; a third account.
    EXPECT_EQ(status(c.Post("/shots?match_id=nope", shot, "application/json")), 404);
    EXPECT_EQ(status(c.Get("/matches/nope/latest-state")), 404);
    EXPECT_EQ(status(c.Post(("/shots?match_id=" + id).c_str(), shot, "application/json")), 401);
    EXPECT_EQ(status(c.Get(("/matches/" + id + "/stream").c_str())), 401);
    const std::string store = "/store-team-config?match_id=" + id + "&expected_match_team_name=team0";
    EXPECT_EQ(c.Post(store.c_str(), team, "application/json")->body, "\"team0\"");
    EXPECT_EQ(c.Post(store.c_str(), team, "application/json")->body, "\"team0\"");  // again: the same team
    EXPECT_EQ(status(c.Post(("/shots?match_id=" + id).c_str(), shot, "application/json")), 409);
    c.set_basic_auth("user1", "pass1");
    EXPECT_EQ(c.Post(store.c_str(), team, "application/json")->body, "\"team1\"");  // the free one
    EXPECT_EQ(status(c.Post(("/shots?match_id=" + id).c_str(), shot, "application/json")), 409);  // team0 throws
    EXPECT_EQ(status(c.Get("/no/such/path")), 404);
    // Nothing above changed the match but the team names.
    nlohmann::json now = nlohmann::json::parse(c.Get(("/matches/" + id + "/latest-state").c_str())->body);
    nlohmann::json was = nlohmann::json::parse(before);
    now.erase("first_team_name");
    now.erase("second_team_name");
    was.erase("first_team_name");
    was.erase("second_team_name");
    EXPECT_EQ(now, was);
    EXPECT_EQ(c.Get(("/matches/" + id + "/score").c_str())->body, R"({"team0":[0,0],"team1":[0,0]})");
}

TEST_F(Dc4Network, TheClientEndsWithOneLineAndStatusOneOnBadAnswers) {
    const auto run = [&](const std::string& args) {
        const std::string out = dir + "/client.txt";
        const int status = KelvoTest::runShell("timeout 60 " + bin("kelvo-dc4") + " " + args + " --player draw > " +
                                               shellQuote(out) + " 2>&1");
        return std::make_pair(status, readFile(out));
    };
    const auto oneLine = [](const std::string& text) {
        return !text.empty() && text.find('\n') == text.size() - 1;
    };
    // Nothing listening.
    auto [refused, refusedText] = run("http://127.0.0.1:1 --match x --connect-timeout 2");
    EXPECT_EQ(refused, 1) << refusedText;
    EXPECT_TRUE(oneLine(refusedText)) << refusedText;
    // Bad credentials on the stand-in.
    const std::string url = startServer("");
    const std::string id = create(url);
    auto [auth, authText] = run(url + " --match " + id + " --password wrong");
    EXPECT_EQ(auth, 1);
    EXPECT_NE(authText.find("refused the credentials"), std::string::npos) << authText;
    EXPECT_TRUE(oneLine(authText)) << authText;

    // A scripted server: a state not as described, then a stream that stays silent.
    httplib::Server fake;
    std::string streamBody;
    fake.Post("/store-team-config", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("\"team0\"", "application/json");
    });
    fake.Get(R"(/matches/([^/]+)/stream)", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/event-stream", [&](size_t, httplib::DataSink& sink) {
            if (!streamBody.empty())
                sink.write(streamBody.data(), streamBody.size());
            std::this_thread::sleep_for(std::chrono::seconds(4));
            return false;
        });
    });
    const int port = fake.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { fake.listen_after_bind(); });
    const std::string fakeUrl = "http://127.0.0.1:" + std::to_string(port);
    nlohmann::json bad = nlohmann::json::parse(EXAMPLE);
    bad["next_shot_team"] = "team0";
    bad["stone_coordinate"]["data"]["team0"][0]["x"] = "left";
    streamBody = "event: latest_state_update\ndata: " + bad.dump() + "\n\n";
    auto [body, bodyText] = run(fakeUrl + " --match m");
    EXPECT_EQ(body, 1);
    EXPECT_NE(bodyText.find("a state not as described"), std::string::npos) << bodyText;
    EXPECT_TRUE(oneLine(bodyText)) << bodyText;
    streamBody.clear();
    auto [silent, silentText] = run(fakeUrl + " --match m --wait 2");
    EXPECT_EQ(silent, 1);
    EXPECT_NE(silentText.find("silent"), std::string::npos) << silentText;
    EXPECT_TRUE(oneLine(silentText)) << silentText;
    fake.stop();
    serving.join();
}

}  // namespace
