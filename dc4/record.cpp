#include "record.h"

#include <cmath>
#include <vector>

#include <nlohmann/json.hpp>

#include "referee/recordjson.h"

namespace Kelvo::Dc4 {

namespace {

using Referee::Json;
using Referee::addSlotStones;
using Referee::playerName;
using Referee::recordNumber;
using Referee::textJson;

// A shot as the tools read a move on the fcv1 ice (launch velocity and
// turn), with Digital Curling 4's own three values beside. `clockwise`: the
// sign of the spin that curls toward +x (+ as asked, - as simulated).
Json shotJson(const ShotRequest& s, bool clockwise) {
    return Json{{"vx", recordNumber(s.velocity * std::cos(s.angle))},
                {"vy", recordNumber(s.velocity * std::sin(s.angle))},
                {"rotation", clockwise ? "cw" : "ccw"},
                {"translational_velocity", recordNumber(s.velocity)},
                {"angular_velocity", recordNumber(s.spin)},
                {"shot_angle", recordNumber(s.angle)}};
}

}  // namespace

void MatchRecord::writeMatch(const std::string& id, const Game& game, uint64_t seed, const std::string& rule) {
    Json noise = Json::object();
    for (int t = 0; t < TEAMS; ++t) {
        Json list = Json::array();
        for (const PlayerConfig& p : game.team(t).players)
            list.push_back(Json{{"maxSpeed", p.maxVelocity},
                                {"stddevSpeed", p.shotStdDev},
                                {"stddevAngle", p.angleStdDev},
                                {"name", textJson(p.name)}});
        noise[teamName(t)] = list;
    }
    writer_.write(Json{{"type", "match"},
                       {"ice", "fcv1"},
                       {"protocol", "dc4"},
                       {"matchId", id},
                       {"players", Json::array({textJson(game.team(0).teamName), textJson(game.team(1).teamName)})},
                       {"names", Json::array({textJson(game.team(0).teamName), textJson(game.team(1).teamName)})},
                       {"seed", seed},
                       {"ends", game.request().ends},
                       {"thinkingTime", game.request().timeLimit},
                       {"extraEndThinkingTime", game.request().extraEndTimeLimit},
                       {"rule", rule},
                       {"noise", noise}});
}

void MatchRecord::writeShot(const ShotReport& r, const State& after, int hammer) {
    const double timeLeft = r.end < int(after.score[0].size()) - 1 ? after.remaining[size_t(r.team)]
                                                                   : after.extraRemaining[size_t(r.team)];
    Json o = Referee::slotShotJson(r.end, r.shot, r.team, r.player, r.timedOut ? "timeout" : "thrown", r.seconds,
                                   timeLeft);
    o["selected"] = shotJson(r.requested, r.executed.spin < 0);
    o["actual"] = shotJson(r.executed, r.executed.spin < 0);
    const int thrown = r.team * STONES_PER_TEAM + r.shot / 2;
    Referee::addSlotThrow(o, r.foul, r.after, thrown, hammer,
                          Referee::tracePaths(r.before, r.trace, thrown, hammer, r.trace.every));
    writer_.write(o);
}

void MatchRecord::writeEnd(const ShotReport& r, const State& final, int hammer, int nextHammer) {
    const std::array<int, TEAMS> points = r.endScore.value_or(std::array<int, TEAMS>{0, 0});
    const int total[2] = {totalScore(final, 0), totalScore(final, 1)};
    Json o = Referee::slotEndJson(r.end, points.data(), total, hammer, nextHammer);
    addSlotStones(o, r.after, hammer);
    writer_.write(o);
}

void MatchRecord::writeResult(const State& final, const std::string& reason) {
    const int total[2] = {totalScore(final, 0), totalScore(final, 1)};
    writer_.write(Referee::resultJson(final.winner < 0 ? "none" : playerName(final.winner), total,
                                      reason == "time_limit" ? playerName(1 - final.winner) : "", reason));
    writer_.close();
}

}  // namespace Kelvo::Dc4
