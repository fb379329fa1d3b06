// The Digital Curling 3 front-end: the messages, the clock, the player order
// and the state handed to a decision; the rules of the stand-in; whole games
// of kelvo-dc3 against kelvo-dc3-server on loopback and a tournament of them;
// the client against a scripted server and the server against misbehaving
// clients.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dc3server/gamelog.h"
#include "dc3/lineio.h"
#include "dc3/messages.h"
#include "dc3/order.h"
#include "dc3server/referee.h"
#include "dc3/timing.h"
#include "dc3/turn.h"
#include "server/summary.h"
#include "support.h"
#include "viewer/page.h"

namespace {

using namespace Kelvo::Dc3;
using KelvoTest::readFile;
using KelvoTest::shellQuote;

const std::string BIN_DIR = KELVO_BIN_DIR;

// ---------------------------------------------------------------------------
// Messages

TEST(Dc3Messages, ProtocolLinesReadAsMeantAndEveryMessageReadsBackAsWritten) {
    const UpdateMessage u = std::get<UpdateMessage>(parseServerMessage(
        R"({"cmd":"update","next_team":"team1","state":{"end":2,"shot":5,"hammer":"team0",)"
        R"("stones":{"team0":[{"position":{"x":0.5,"y":38.1},"angle":1.5},null,null,null,null,null,null,null],)"
        R"("team1":[null,null,{"position":{"x":-1,"y":36}},null,null,null,null,null]},)"
        R"("scores":{"team0":[1,0,null],"team1":[0,2,null]},"extra_end_score":{"team0":null,"team1":null},)"
        R"("thinking_time_remaining":{"team0":51.25,"team1":48},"game_result":null},)"
        R"("last_move":{"actual_move":{"type":"shot","velocity":{"x":0.1,"y":2.4},"rotation":"cw"},)"
        R"("free_guard_zone_foul":true}})"));
    EXPECT_EQ(u.nextTeam, 1);
    EXPECT_EQ(u.state.end, 2);
    EXPECT_EQ(u.state.shot, 5);
    EXPECT_EQ(u.state.hammer, 0);
    ASSERT_TRUE(u.state.stones[0][0] && u.state.stones[1][2]);
    EXPECT_EQ(u.state.stones[1][2]->position.y, 36.0);
    EXPECT_FALSE(u.state.stones[0][1]);
    EXPECT_EQ(u.state.scores[1], (std::vector<std::optional<int>>{0, 2, std::nullopt}));
    EXPECT_EQ(u.state.thinkingTimeRemaining[0], 51.25);
    ASSERT_TRUE(u.lastMove);
    EXPECT_FALSE(u.lastMove->actualMove.ccw);
    EXPECT_TRUE(u.lastMove->freeGuardZoneFoul);

    // A server may hide a player's fields: what is missing keeps the default.
    const IsReadyMessage r = std::get<IsReadyMessage>(parseServerMessage(
        R"({"cmd":"is_ready","team":"team1","game":{"rule":"normal","setting":{"max_end":8,"sheet_width":4.75,)"
        R"("five_rock_rule":true,"thinking_time":{"team0":60,"team1":60},)"
        R"("extra_end_thinking_time":{"team0":10,"team1":10}},"simulator":{"type":"fcv1","seconds_per_frame":0.001},)"
        R"("players":{"team0":[{"type":"identical"},{"type":"normal_dist"},{"type":"normal_dist"},)"
        R"({"type":"normal_dist"}],)"
        R"("team1":[{"type":"normal_dist","max_speed":3.5,"stddev_speed":0.01,"stddev_angle":0.002,"seed":7},)"
        R"({"type":"normal_dist"},{"type":"normal_dist"},{"type":"normal_dist"}]}}})"));
    EXPECT_EQ(r.team, 1);
    EXPECT_EQ(r.setting.maxEnd, 8);
    EXPECT_EQ(r.setting.extraEndThinkingTime[1], 10.0);
    EXPECT_TRUE(r.players[0][0].identical);
    EXPECT_EQ(r.players[0][1].stddevSpeed, 0.0076);
    EXPECT_EQ(r.players[1][0].maxSpeed, 3.5);
    EXPECT_EQ(r.players[1][0].seed, 7u);

    GameState finished = u.state;
    finished.result = GameResult{-1, "draw"};
    finished.extraEndScore = {0, 1};
    const std::vector<ServerMessage> server = {
        DcMessage{1, 0, "id", "2024-01-01T00:00:00Z"}, r, NewGameMessage{{"a", "b"}}, u,
        UpdateMessage{-1, finished, std::nullopt}, GameOverMessage{}};
    for (const ServerMessage& m : server)
        EXPECT_EQ(toLine(parseServerMessage(toLine(m))), toLine(m));
    const std::vector<ClientMessage> client = {DcOkMessage{"kelvo"}, ReadyOkMessage{{3, 1, 0, 2}},
                                               MoveMessage{Move{false, -0.125, 2.5, false}},
                                               MoveMessage{Move{true, 0, 0, true}}};
    for (const ClientMessage& m : client)
        EXPECT_EQ(toLine(parseClientMessage(toLine(m))), toLine(m));
    EXPECT_EQ(toLine(client[2]),
              R"({"cmd":"move","move":{"type":"shot","velocity":{"x":-0.125,"y":2.5},"rotation":"cw"}})");
}

TEST(Dc3Messages, BadLinesNameWhatIsWrong) {
    const std::string state = R"("state":{"end":0,"hammer":"team1","game_result":null})";
    const struct {
        bool fromServer;
        std::string line, error;
    } cases[] = {
        {true, "hello", "not JSON"},
        {true, "[1,2]", "not a JSON object"},
        {true, R"({"version":1})", R"(missing field "cmd")"},
        {true, R"({"cmd":"hello"})", R"(unknown cmd "hello")"},
        {true, R"({"cmd":"is_ready","team":"team0","game":{"setting":{}}})", R"(missing field "game.setting.max_end")"},
        {true, R"({"cmd":"update","next_team":"team0",)" + state + "}", R"(missing field "state.shot")"},
        {true, R"({"cmd":"update","next_team":"team2"})", R"(field "next_team" is neither)"},
        {true, R"({"cmd":"update","next_team":null,"state":{"game_result":{"winner":null,"reason":7}}})",
         R"(field "state.game_result.reason" is not a string)"},
        {false, R"({"cmd":"ready_ok","player_order":[0,1,1,2]})", "names player 1 twice"},
        {false, R"({"cmd":"ready_ok","player_order":[0,1,2,4]})", R"(field "player_order[3]" is 4)"},
        {false, R"({"cmd":"move","move":{"type":"shot","velocity":{"x":"0","y":2},"rotation":"cw"}})",
         R"(field "move.velocity.x" is not a number)"},
        {false, R"({"cmd":"move","move":{"type":"shot","velocity":{"x":1e300,"y":2},"rotation":"cw"}})",
         "out of range"},
        {false, R"({"cmd":"dc_ok"})", R"(missing field "name")"},
    };
    for (const auto& c : cases) {
        try {
            if (c.fromServer)
                parseServerMessage(c.line);
            else
                parseClientMessage(c.line);
            ADD_FAILURE() << "accepted: " << c.line;
        } catch (const MessageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
    }
}

// The framework's last update of a ten-end game, as its server sends it.
const char LAST_UPDATE[] =
    R"({"cmd":"update","last_move":{"actual_move":{"rotation":"cw","type":"shot","velocity":)"
    R"({"x":-0.1611933559179306,"y":2.389512777328491}},"free_guard_zone_foul":false},"next_team":null,)"
    R"("state":{"end":10,"extra_end_score":{"team0":null,"team1":null},)"
    R"("game_result":{"reason":"score","winner":"team1"},"hammer":null,)"
    R"("scores":{"team0":[0,1,0,0,2,0,1,0,0,0],"team1":[2,0,1,1,0,1,0,0,1,1]},"shot":0,)"
    R"("stones":{"team0":[null,null,null,null,null,null,null,null],)"
    R"("team1":[null,null,null,null,null,null,null,null]},)"
    R"("thinking_time_remaining":{"team0":29.818,"team1":29.906}}})";

TEST(Dc3Messages, AClientReadsOnlyWhatItUsesOfAMessage) {
    // The last update, also with a trajectory and keys nobody knows.
    std::string withTrajectory = LAST_UPDATE;
    withTrajectory.replace(withTrajectory.find(R"("free_guard_zone_foul")"), 0,
                           R"("trajectory":{"seconds_per_frame":2.0,"start":{},"frames":[[{"team":"team0",)"
                           R"("index":0,"value":null}]],"finish":{}},"future":[1,{"a":null}],)");
    for (const std::string& line : {std::string(LAST_UPDATE), withTrajectory})
        for (const int reader : {0, 1, EVERY_TEAM}) {
            const UpdateMessage u = std::get<UpdateMessage>(parseServerMessage(line, reader));
            ASSERT_TRUE(u.state.result);
            EXPECT_EQ(resultText(*u.state.result), "team1 wins by score");
            EXPECT_EQ(totalScore(u.state, 0), 4);
            EXPECT_EQ(totalScore(u.state, 1), 7);
            EXPECT_EQ(u.state.hammer, -1);
        }
    // A greeting and names need nothing; the other team's move needs no stones.
    EXPECT_NO_THROW(parseServerMessage(R"({"cmd":"dc"})", 0));
    EXPECT_NO_THROW(parseServerMessage(R"({"cmd":"new_game","name":7})", 0));
    const std::string othersTurn =
        R"({"cmd":"update","next_team":"team1","state":{"game_result":null,"hammer":null,"stones":3,)"
        R"("thinking_time_remaining":{"team1":20}},"last_move":{"actual_move":"?"}})";
    EXPECT_EQ(std::get<UpdateMessage>(parseServerMessage(othersTurn, 0)).state.thinkingTimeRemaining[1], 20.0);
    // What the mover uses is still checked, and so is the clock of the team to throw.
    EXPECT_THROW(parseServerMessage(othersTurn, 1), MessageError);
    std::string noClock = othersTurn;
    noClock.replace(noClock.find("team1\":20"), 5, "team0");
    EXPECT_THROW(parseServerMessage(noClock, 0), MessageError);
}

// ---------------------------------------------------------------------------
// The clock, the player order and the turn

TEST(Dc3Clock, AGameSpentAtItsBudgetsKeepsTheReserveAndFavoursTheLastStones) {
    const TimePlan plan;
    for (const double clock : {60.0, 600.0}) {
        // Team 0 in a 10-end game, every move taking its budget and the overhead.
        ClockState c;
        c.clockStart = c.remaining = clock;
        double first = 0, last = 0;
        for (c.end = 0; c.end < 10; ++c.end)
            for (c.shot = 0; c.shot < 16; c.shot += 2) {
                const double budget = shotBudget(c, plan);
                ASSERT_GT(budget, 0);
                if (c.end == 0 && c.shot == 0)
                    first = budget;
                if (c.end == 0 && c.shot == 14)
                    last = budget;
                c.remaining -= budget + plan.overheadPerShot;
            }
        EXPECT_NEAR(c.remaining, std::max(plan.minReserve, plan.reserveShare * clock), 1e-6);
        EXPECT_GT(last, 1.8 * first);
    }
    ClockState extra;
    extra.end = 10;
    extra.shot = 3;
    extra.clockStart = extra.remaining = 10;
    EXPECT_EQ(stonesLeftOnClock(extra), 7);  // an extra end has a clock of its own
    extra.remaining = plan.minReserve + 7 * plan.overheadPerShot;
    EXPECT_EQ(shotBudget(extra, plan), 0.0);
}

TEST(Dc3Order, TheMostAccuratePlayersThrowTheLastStones) {
    std::array<PlayerModel, PLAYERS_PER_TEAM> players;
    players[0].stddevAngle = 0.004;
    players[1].identical = true;
    players[2].maxSpeed = 2.0;  // cannot draw to the house
    players[3].stddevSpeed = 0.005;
    EXPECT_EQ(choosePlayerOrder(players), (std::array<int, 4>{2, 0, 3, 1}));
}

TEST(Dc3Turn, TheLineProtocolStateNumbersStonesByShotAndSignsScoresForTeam0) {
    IsReadyMessage ready;
    ready.team = 1;
    ready.setting.maxEnd = 4;
    ready.players[1][2].stddevSpeed = 0.02;
    GameState s;
    s.end = 2;
    s.shot = 9;
    s.hammer = 0;  // team 1 throws the even shots
    s.stones[1][0] = Stone{{0.25, 38.0}, 0};  // shot 0
    s.stones[0][1] = Stone{{-0.5, 37.5}, 0};  // shot 3
    s.stones[1][4] = Stone{{1.0, 39.0}, 0};   // shot 8
    s.scores = {std::vector<std::optional<int>>{2, 0, std::nullopt, std::nullopt},
                std::vector<std::optional<int>>{0, 1, std::nullopt, std::nullopt}};
    s.thinkingTimeRemaining = {30, 20};
    const Turn turn = makeTurn(ready, {3, 1, 2, 0}, s, 1, 0.5);
    EXPECT_EQ(turn.noise.stddevSpeed, 0.02f);  // shot 9 is player_order[2]'s
    EXPECT_TRUE(turn.stones.present[8]);
    EXPECT_EQ(turn.stones.x[12], 1.0f);

    const Kelvo::_GAMESTATE g = toGameState(turn);
    EXPECT_EQ(g.shotNumber, 9);
    EXPECT_EQ(g.endNumber, 2);
    EXPECT_EQ(g.finalEnd, 3);
    EXPECT_EQ(g.endScores[0], 2);
    EXPECT_EQ(g.endScores[1], -1);
    EXPECT_EQ(g.endScores[2], 0);
    EXPECT_EQ(g.sideFlag, 1);
    for (int i = 0; i < 16; ++i) {
        const float* p = g.stonePos[i];
        if (i == 0)
            EXPECT_TRUE(p[0] == 0.25f && p[1] == 38.0f);
        else if (i == 3)
            EXPECT_TRUE(p[0] == -0.5f && p[1] == 37.5f);
        else if (i == 8)
            EXPECT_TRUE(p[0] == 1.0f && p[1] == 39.0f);
        else
            EXPECT_TRUE(p[0] == 0.0f && p[1] == 0.0f) << "stone " << i;
    }
    Turn extra = turn;
    extra.end = 5;
    EXPECT_EQ(toGameState(extra).finalEnd, 5);
}

// ---------------------------------------------------------------------------
// The rules, with exact fcv1

// A stone that stops short of the hog line and is taken off.
Kelvo::Fcv1Move throwAway() {
    Kelvo::Fcv1Move m;
    m.vx = 0;
    m.vy = 1.0f;
    return m;
}

// Plays an end in which only `drawer`'s last stone is a draw.
void playEnd(Referee& referee, int drawer) {
    for (int shot = 0; shot < 16; ++shot) {
        const bool last = referee.nextTeam() == drawer && shot >= 14;
        referee.play(last ? drawToTee(true) : throwAway());
    }
}

TEST(Dc3Turn, AMessagesMoveIsSimulatedInSinglePrecisionAndComesBackAsAMoveThatDoesNotConcede) {
    const Move asked{false, 0.1234567890123, 2.3456789012345, true};
    const Kelvo::Fcv1Move simulated = toFcv1Move(asked);
    EXPECT_EQ(simulated.vx, float(asked.vx));
    EXPECT_EQ(simulated.vy, float(asked.vy));
    EXPECT_TRUE(simulated.ccw);
    const Move back = toMove(simulated);
    EXPECT_FALSE(back.concede);
    EXPECT_EQ(back.vx, double(simulated.vx));
    EXPECT_EQ(back.vy, double(simulated.vy));
    EXPECT_TRUE(back.ccw);
}

TEST(Dc3Referee, ScorerGivesTheHammerBlankKeepsItTiesGoToExtraEndsOnFreshClocks) {
    // The draw of a lone stone rests on the tee, for both turns.
    for (const bool ccw : {true, false}) {
        Kelvo::Fcv1ShotInput in;
        in.move = drawToTee(ccw);
        const Kelvo::Fcv1ShotResult out = Kelvo::simulateFcv1Exact(in);
        ASSERT_TRUE(out.stones.present[0]);  // team 0's first stone
        EXPECT_LT(std::hypot(out.stones.x[0], out.stones.y[0] - 38.405f), 0.05) << "ccw " << ccw;
    }

    GameSetting setting;
    setting.maxEnd = 2;
    setting.thinkingTime = {60, 60};
    setting.extraEndThinkingTime = {10, 10};
    Referee referee(setting);
    EXPECT_EQ(referee.nextTeam(), 0);  // team 1 has the hammer in the first end
    EXPECT_TRUE(referee.charge(0, 5500));
    EXPECT_EQ(referee.state().thinkingTimeRemaining[0], 54.5);

    playEnd(referee, 1);  // team 1 scores one and gives the hammer away
    EXPECT_EQ(referee.state().scores[1][0], 1);
    EXPECT_EQ(referee.state().scores[0][0], 0);
    EXPECT_EQ(referee.state().hammer, 0);
    playEnd(referee, -1);
    EXPECT_EQ(referee.totals(), (std::array<int, 2>{0, 1}));
    ASSERT_TRUE(referee.over());  // the higher total after the regular ends wins
    EXPECT_EQ(referee.state().result->winner, 1);
    // The last update shows the game past its last end, without hammer or stones.
    EXPECT_EQ(referee.state().end, 2);
    EXPECT_EQ(referee.state().shot, 0);
    EXPECT_EQ(referee.state().hammer, -1);

    Referee tied(setting);
    playEnd(tied, -1);
    playEnd(tied, -1);
    ASSERT_FALSE(tied.over());
    EXPECT_EQ(tied.state().end, 2);
    EXPECT_EQ(tied.state().hammer, 1);  // blank ends keep the hammer
    EXPECT_EQ(tied.state().thinkingTimeRemaining[0], 10.0);
    playEnd(tied, -1);  // a blank extra end: another one, clocks reset again
    EXPECT_TRUE(tied.charge(1, 9000));
    playEnd(tied, 0);
    ASSERT_TRUE(tied.over());
    EXPECT_EQ(tied.state().result->winner, 0);
    EXPECT_EQ(tied.state().result->reason, "score");
    EXPECT_EQ(tied.state().extraEndScore[0], 1);

    Referee late(setting);
    EXPECT_FALSE(late.charge(0, 60000));  // using up the clock loses at once
    ASSERT_TRUE(late.over());
    EXPECT_EQ(late.state().result->winner, 1);
    EXPECT_EQ(late.state().result->reason, "time_limit");
    EXPECT_EQ(late.nextTeam(), -1);
    EXPECT_EQ(late.state().hammer, -1);
    EXPECT_EQ(late.state().end, 1);
}

// ---------------------------------------------------------------------------
// The framework server's game log: a two-end game of two draw players

TEST(Dc3GameLog, TheServersLogReadsAsARecordWithEveryShotReplayed) {
    const std::string text = readFile(std::string(KELVO_SOURCE_DIR) + "/tests/data/dc3_sample_game.dcl2");
    ASSERT_TRUE(isGameLog(text));
    GameLog log;
    std::string why;
    ASSERT_TRUE(readGameLog(text, log, why)) << why;
    EXPECT_EQ(log.turns.size(), 32u);
    EXPECT_EQ(log.names[1], "second");

    // The replay in one world follows the server: each thrown stone's path
    // ends where the next update shows it.
    const std::string record = gameLogRecord(log);
    std::istringstream lines(record);
    int shots = 0;
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json o = nlohmann::json::parse(line);
        if (o["type"] != "shot" || o["shot"] == 15)
            continue;
        ASSERT_EQ(o["outcome"], "thrown");
        if (o["rest"].is_null())
            continue;  // out of play
        ++shots;
        const nlohmann::json& last = o["paths"][0]["points"].back();
        EXPECT_NEAR(last[0].get<double>(), o["rest"][0].get<double>(), 0.0015) << line;
        EXPECT_NEAR(last[1].get<double>(), o["rest"][1].get<double>(), 0.0015) << line;
    }
    EXPECT_GE(shots, 20);

    // The summary, the viewer and the analysis take it as one of ours.
    std::istringstream in(record);
    Kelvo::Server::RecordedMatch match;
    ASSERT_TRUE(Kelvo::Server::parseRecord(in, match, why)) << why;
    EXPECT_TRUE(match.finished);
    EXPECT_EQ(match.winner, "player2");
    EXPECT_EQ(match.endScores, (std::vector<int>{-2, 1}));
    std::string html;
    EXPECT_TRUE(Kelvo::Viewer::matchPage(record, html, why)) << why;
    Turn turn;
    ASSERT_TRUE(gameLogTurn(log, 1, 7, turn, why)) << why;
    EXPECT_EQ(turn.hammer, 0);  // team 1 scored the first end and throws first
    EXPECT_EQ(turn.team, 0);
    EXPECT_EQ(turn.endScores.size(), 1u);
    EXPECT_FALSE(gameLogTurn(log, 2, 0, turn, why));
    EXPECT_FALSE(readGameLog("{\"tag\":\"gam\",\"log\":{\"cmd\":\"update\"}}\n", log, why));
    EXPECT_EQ(why.find("line 1: "), 0u) << why;
}

// ---------------------------------------------------------------------------
// Whole games and bad input, over loopback

class Dc3Network : public KelvoTest::TempDirTest {
protected:
    std::string bin(const std::string& name) { return shellQuote(BIN_DIR + "/" + name); }
};

TEST_F(Dc3Network, TwoClientsPlayAWholeGameOnTheStandInAndTheRecordIsReadable) {
    // The searching client against the draw player, on a clock of under a
    // second a stone.
    const std::string out = dir + "/out.txt", record = dir + "/game.jsonl";
    const int status = KelvoTest::runShell(
        bin("kelvo-dc3-server") + " --client0 " + shellQuote(BIN_DIR + "/kelvo-dc3 --name first --preset strong") +
        " --client1 " + shellQuote(BIN_DIR + "/kelvo-dc3 --player draw") +
        " --ends 2 --seed 5 --thinking-time 12 --record " + shellQuote(record) + " > " + shellQuote(out) + " 2>&1");
    const std::string printed = readFile(out);
    ASSERT_EQ(status, 0) << printed;
    EXPECT_NE(printed.find("new game: team0 \"first\" v team1 \"kelvo\""), std::string::npos) << printed;
    EXPECT_NE(printed.find("end 1 shot 15 "), std::string::npos) << printed;
    const std::string lastLine = printed.substr(printed.rfind("\nresult: ") + 1);
    EXPECT_EQ(lastLine.find("result: team"), 0u) << printed;
    EXPECT_NE(printed.find("team0 client: result: "), std::string::npos) << printed;
    EXPECT_NE(printed.find("we played team1 (kelvo)"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("loses on time"), std::string::npos) << printed;

    // The summary of tournaments and the viewer read the record.
    Kelvo::Server::RecordedMatch match;
    std::string why;
    ASSERT_TRUE(Kelvo::Server::readRecord(record, match, why)) << why;
    EXPECT_TRUE(match.finished);
    EXPECT_GE(match.endScores.size(), 2u);
    EXPECT_EQ(match.seed, 5u);
    EXPECT_EQ(match.players[1], BIN_DIR + "/kelvo-dc3 --player draw");
    std::string html;
    EXPECT_TRUE(Kelvo::Viewer::matchPage(readFile(record), html, why)) << why;
    EXPECT_NE(html.find("\"ice\":\"fcv1\""), std::string::npos);
}

TEST_F(Dc3Network, ATournamentPlaysItsPairsThroughTheStandInWithTheUsualSummary) {
    if (KelvoTest::runShell("command -v parallel > /dev/null") != 0)
        GTEST_SKIP() << "GNU parallel is not installed (scripts/setup installs it)";
    const std::string out = dir + "/t";
    const std::string script = std::string(KELVO_SOURCE_DIR) + "/scripts/tournament";
    const int status = KelvoTest::runShell(
        "KELVO_BIN_DIR=" + shellQuote(BIN_DIR) + " " + shellQuote(script) + " --dc3 --player1 " +
        shellQuote(BIN_DIR + "/kelvo-dc3 --player draw") + " --player2 " +
        shellQuote(BIN_DIR + "/kelvo-dc3 --player draw --name other") +
        " --pairs 1 --ends 1 --time-limit 20 --seed 3 --jobs 1 --out " + shellQuote(out) + " > " +
        shellQuote(dir + "/printed.txt") + " 2>&1");
    const std::string printed = readFile(dir + "/printed.txt");
    ASSERT_EQ(status, 0) << printed;
    // The two players drew the same luck from both sides: the pair cancels out.
    EXPECT_NE(printed.find("[2/2] pair-0001-ba: result: "), std::string::npos) << printed;
    EXPECT_NE(printed.find("A 1 won 0 drawn 1 lost"), std::string::npos) << printed;
    EXPECT_NE(readFile(out + "/summary.txt").find("summary: pairs=1 ends=2 diff_per_end=0.000"), std::string::npos)
        << readFile(out + "/summary.txt");
    EXPECT_NE(readFile(out + "/tournament.txt").find("protocol: dc3"), std::string::npos);
}

// A scripted server for one client: it accepts the connection, then the
// test writes and reads lines.
struct ClientRun {
    Listener listener;
    KelvoTest::Child child;
    std::string errFile, outFile;
    std::unique_ptr<LineConnection> connection;

    ClientRun(const std::string& dir, bool listen = true) {
        std::string why;
        EXPECT_TRUE(listener.open("127.0.0.1", 0, why)) << why;
        const int port = listener.port();
        if (!listen)
            listener.close();  // nobody there: the connection is refused
        errFile = dir + "/err.txt";
        outFile = dir + "/out.txt";
        child = KelvoTest::spawn("/bin/sh", {"-c", "exec " + shellQuote(BIN_DIR + "/kelvo-dc3") + " --player draw 127.0.0.1 " +
                                                       std::to_string(port) + " 2> " + shellQuote(errFile) +
                                                       " > " + shellQuote(outFile)});
        if (listen)
            connection = listener.accept(deadlineIn(10));
    }
    void say(const std::string& line) { connection->writeLine(line, deadlineIn(5)); }
    std::string hear() {
        std::string line;
        return connection->readLine(line, deadlineIn(10)) == ReadStatus::Line ? line : "(nothing)";
    }
    // The exit status and standard error.
    std::pair<int, std::string> end() {
        const int status = KelvoTest::finish(child, 10000);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(errFile)};
    }
};

const char DC[] = R"({"cmd":"dc","version":{"major":1,"minor":0},"game_id":"g","date_time":"t"})";

std::string isReady(int team) {
    return R"({"cmd":"is_ready","team":"team)" + std::to_string(team) +
           R"(","game":{"rule":"normal","setting":{"max_end":1,"sheet_width":4.75,"five_rock_rule":true,)"
           R"("thinking_time":{"team0":60,"team1":60},"extra_end_thinking_time":{"team0":10,"team1":10}},)"
           R"("simulator":{"type":"fcv1","seconds_per_frame":0.001},"players":{"team0":[{"type":"identical"},)"
           R"({"type":"identical"},{"type":"identical"},{"type":"identical"}],"team1":[{"type":"identical"},)"
           R"({"type":"identical"},{"type":"identical"},{"type":"identical"}]}}})";
}

std::string update(const char* next, int shot) {
    const std::string empty = "[null,null,null,null,null,null,null,null]";
    return std::string(R"({"cmd":"update","next_team":)") + next + R"(,"state":{"end":0,"shot":)" +
           std::to_string(shot) + R"(,"hammer":"team1","stones":{"team0":)" + empty + R"(,"team1":)" + empty +
           R"(},"scores":{"team0":[null],"team1":[null]},"extra_end_score":{"team0":null,"team1":null},)"
           R"("thinking_time_remaining":{"team0":60,"team1":60},"game_result":null},"last_move":null})";
}

TEST_F(Dc3Network, TheClientGivesOneLineAndStatusOneOnBadInputAndNeverMovesUnasked) {
    {
        ClientRun run(dir, false);
        const auto [status, err] = run.end();
        EXPECT_EQ(status, 1);
        EXPECT_NE(err.find("kelvo-dc3: cannot connect to 127.0.0.1:"), std::string::npos) << err;
    }
    const struct {
        std::vector<std::string> script;  // lines sent, each after reading the client's answer to the one before
        std::string error;
    } cases[] = {
        {{"hello"}, "bad message from the server (not JSON): hello"},
        {{R"({"cmd":"bogus"})"}, R"((unknown cmd "bogus"))"},
        {{DC, R"({"cmd":"is_ready","team":"team1","game":{"setting":{"max_end":1}}})"},
         R"((missing field "game.setting.thinking_time"))"},
        {{update("\"team0\"", 0)}, "message out of turn: update while waiting for dc"},
        {{DC, ""}, "the server closed the connection while we waited for is_ready"},
    };
    for (const auto& c : cases) {
        ClientRun run(dir);
        for (const std::string& line : c.script) {
            if (line.empty())
                run.connection.reset();
            else
                run.say(line);
        }
        const auto [status, err] = run.end();
        EXPECT_EQ(status, 1) << c.error;
        EXPECT_EQ(err.rfind("kelvo-dc3: ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }

    // Asked nothing, it sends nothing: only dc_ok and ready_ok, then one
    // move for the update that names it.
    ClientRun run(dir);
    run.say(DC);
    EXPECT_EQ(run.hear(), R"({"cmd":"dc_ok","name":"kelvo"})");
    run.say(isReady(1));
    EXPECT_EQ(run.hear().find(R"({"cmd":"ready_ok","player_order":[)"), 0u);
    run.say(R"({"cmd":"new_game","name":{"team0":"a","team1":"kelvo"}})");
    run.say(update("\"team0\"", 0));
    run.say(update("\"team1\"", 1));
    EXPECT_EQ(run.hear().find(R"({"cmd":"move","move":{"type":"shot")"), 0u);
    run.say(update("\"team0\"", 2));
    std::string extra;
    EXPECT_EQ(run.connection->readLine(extra, deadlineIn(0.3)), ReadStatus::TimedOut) << extra;
    run.connection.reset();
    EXPECT_EQ(run.end().first, 1);
}

// A stand-in server whose two clients the test plays by hand.
struct ServerRun {
    KelvoTest::Child child;
    std::string printed;
    std::unique_ptr<LineConnection> team[2];

    ServerRun(const std::string& options) {
        child = KelvoTest::spawn("/bin/sh", {"-c", "exec " + shellQuote(BIN_DIR + "/kelvo-dc3-server") +
                                                       " --port0 0 --port1 0 --ends 1 --seed 1 " + options});
        int port[2] = {0, 0};
        for (int t = 0; t < 2; ++t) {
            while (printed.find("team" + std::to_string(t) + ": listening on 127.0.0.1 port ") == std::string::npos) {
                const std::string got = KelvoTest::readFor(child.out, 10000, 1);
                if (got.empty())
                    return;
                printed += got;
            }
            const size_t at = printed.find("team" + std::to_string(t) + ": listening");
            port[t] = std::stoi(printed.substr(printed.find(" port ", at) + 6));
        }
        for (int t = 0; t < 2; ++t) {
            std::string why;
            team[t] = connectTo("127.0.0.1", port[t], 10, why);
            EXPECT_TRUE(team[t]) << why;
        }
        for (int t = 0; t < 2; ++t) {
            hear(t);  // dc
            say(t, R"({"cmd":"dc_ok","name":"t)" + std::to_string(t) + "\"}");
            hear(t);  // is_ready
            say(t, R"({"cmd":"ready_ok","player_order":[0,1,2,3]})");
        }
        for (int t = 0; t < 2; ++t)
            EXPECT_EQ(hear(t).find(R"({"cmd":"new_game")"), 0u);
    }
    void say(int t, const std::string& line) { team[t]->writeLine(line, deadlineIn(5)); }
    std::string hear(int t) {
        std::string line;
        const ReadStatus s = team[t]->readLine(line, deadlineIn(10));
        return s == ReadStatus::Line ? line : s == ReadStatus::Closed ? "(closed)" : "(nothing)";
    }
    // The exit status and the last line printed.
    std::pair<int, std::string> end() {
        team[0].reset();
        team[1].reset();
        for (std::string got; !(got = KelvoTest::readFor(child.out, 10000, 1)).empty();)
            printed += got;
        const int status = KelvoTest::finish(child, 10000);
        const size_t last = printed.rfind('\n', printed.size() - 2);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed.substr(last + 1)};
    }
};

TEST_F(Dc3Network, TheStandInEndsTheGameClearlyOnAMisbehavingClient) {
    const std::string move = R"({"cmd":"move","move":{"type":"shot","velocity":{"x":0,"y":1},"rotation":"cw"}})";
    const struct {
        std::string options;
        int culprit;
        std::string act;  // what the culprit does during team 0's first turn: a line, or "" to go away
        std::string log, result;
    } cases[] = {
        {"", 0, "garbage", "team0 sent a bad message (not JSON): garbage: the game ends without a result",
         "result: no result (team0 sent a bad message (not JSON): garbage), team0 0 : 0 team1"},
        {"", 1, move, "team1 sent a message out of turn", "result: no result (team1 sent a message out of turn"},
        {"", 1, "", "team1 closed the connection: the game ends without a result",
         "result: no result (team1 closed the connection), team0 0 : 0 team1"},
        {"--thinking-time 0.3", 0, "(silence)", "no move within its 0.300 s: team0 loses on time",
         "result: team1 wins on time, team0 0 : 0 team1"},
    };
    for (const auto& c : cases) {
        ServerRun run(c.options);
        ASSERT_TRUE(run.team[0] && run.team[1]) << run.printed;
        for (int t = 0; t < 2; ++t)
            EXPECT_EQ(run.hear(t).find(R"({"cmd":"update","next_team":"team0")"), 0u);
        if (c.act.empty())
            run.team[c.culprit].reset();
        else if (c.act != "(silence)")
            run.say(c.culprit, c.act);
        if (c.act == "(silence)") {
            // The loser and the other team both get the result and game_over.
            for (int t = 0; t < 2; ++t) {
                EXPECT_NE(run.hear(t).find(R"("game_result":{"winner":"team1","reason":"time_limit"})"),
                          std::string::npos);
                EXPECT_EQ(run.hear(t), R"({"cmd":"game_over"})");
            }
        } else {
            // Without a result the connections just close.
            EXPECT_EQ(run.hear(1 - c.culprit), "(closed)");
        }
        const auto [status, last] = run.end();
        EXPECT_EQ(status, 0) << run.printed;
        EXPECT_NE(run.printed.find(c.log), std::string::npos) << run.printed;
        EXPECT_EQ(last.find(c.result), 0u) << run.printed;
    }
}

TEST_F(Dc3Network, TheClientTakesTheFrameworksLastUpdateAndReportsTheResult) {
    ClientRun run(dir);
    run.say(DC);
    EXPECT_EQ(run.hear(), R"({"cmd":"dc_ok","name":"kelvo"})");
    run.say(isReady(1));
    EXPECT_EQ(run.hear().find(R"({"cmd":"ready_ok")"), 0u);
    run.say(R"({"cmd":"new_game","name":{"team0":"first","team1":"second"}})");
    run.say(update("\"team0\"", 0));
    run.say(LAST_UPDATE);
    run.say(R"({"cmd":"game_over"})");
    const auto [status, err] = run.end();
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(readFile(run.outFile), "result: team1 wins by score, team0 4 : 7 team1; we played team1 (second)\n");
}

TEST_F(Dc3Network, BothClientsEndAGameWithTrajectoriesOnTheStandInWithStatusZero) {
    // Each client's status and lines are kept beside it.
    const std::string wrapper = dir + "/client.sh";
    {
        std::ofstream script(wrapper);
        script << "team=$1; shift\n"
               << shellQuote(BIN_DIR + "/kelvo-dc3") << " --player draw --name t$team \"$@\" > " << shellQuote(dir)
               << "/out$team.txt 2>&1\necho $? > " << shellQuote(dir) << "/status$team.txt\n";
    }
    const std::string out = dir + "/server.txt";
    const int status = KelvoTest::runShell(
        bin("kelvo-dc3-server") + " --client0 " + shellQuote("sh " + wrapper + " 0") + " --client1 " +
        shellQuote("sh " + wrapper + " 1") + " --ends 1 --seed 3 --thinking-time 30 --send-trajectory " +
        "--steps-per-trajectory-frame 20 > " + shellQuote(out) + " 2>&1");
    const std::string printed = readFile(out);
    ASSERT_EQ(status, 0) << printed;
    const std::string result = printed.substr(printed.rfind("\nresult: ") + 1);
    for (int t = 0; t < 2; ++t) {
        const std::string team = std::to_string(t);
        EXPECT_EQ(readFile(dir + "/status" + team + ".txt"), "0\n") << readFile(dir + "/out" + team + ".txt");
        // The client's line tells the result the server printed.
        const std::string line = readFile(dir + "/out" + team + ".txt");
        EXPECT_EQ(line.substr(0, line.find(';')), result.substr(0, result.find('\n'))) << line;
    }
}

TEST_F(Dc3Network, TheToolsTakeTheServersLogByItsFileAndFolder) {
    const std::string sample = std::string(KELVO_SOURCE_DIR) + "/tests/data/dc3_sample_game.dcl2";
    // The server's log folder holds one folder per game.
    ASSERT_EQ(KelvoTest::runShell("mkdir -p " + shellQuote(dir + "/logs/g1") + " && cp " + shellQuote(sample) + " " +
                                  shellQuote(dir + "/logs/g1/game.dcl2")),
              0);
    EXPECT_EQ(KelvoTest::runShell(bin("kelvo-summary") + " " + shellQuote(dir + "/logs") + " > " +
                                  shellQuote(dir + "/summary.txt") + " 2>&1"),
              0);
    EXPECT_NE(readFile(dir + "/summary.txt").find("B          1     0     0      2"), std::string::npos)
        << readFile(dir + "/summary.txt");
    EXPECT_EQ(KelvoTest::runShell(bin("kelvo-view") + " " + shellQuote(sample) + " > " + shellQuote(dir + "/p.html")),
              0);
    EXPECT_NE(readFile(dir + "/p.html").find("\"ice\":\"fcv1\""), std::string::npos);
    EXPECT_EQ(KelvoTest::runShell(bin("kelvo-analyse") + " --record " + shellQuote(sample) +
                                  " --end 1 --shot 7 --budget 100 > " + shellQuote(dir + "/a.txt") + " 2>&1"),
              0)
        << readFile(dir + "/a.txt");
    EXPECT_NE(readFile(dir + "/a.txt").find("end 1, shot 7: "), std::string::npos) << readFile(dir + "/a.txt");
}

}  // namespace
