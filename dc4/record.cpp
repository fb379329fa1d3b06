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
using Referee::pointJson;
using Referee::recordNumber;
using Referee::sidesJson;
using Referee::textJson;

// Every stone the shot moved, the thrown one first.
Json paths(const ShotReport& r, int hammer) {
    const int thrown = r.team * STONES_PER_TEAM + r.shot / 2;
    return Referee::pathsJson(Referee::tracePaths(r.before, r.trace, thrown, hammer, r.trace.every));
}

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
    Json o{{"type", "shot"},
           {"end", r.end},
           {"shot", r.shot},
           {"player", playerName(r.team)},
           {"team", teamName(r.team)},
           {"thrower", r.player},
           {"outcome", r.timedOut ? "timeout" : "thrown"},
           {"seconds", recordNumber(r.seconds)},
           {"timeLeft", recordNumber(r.end < int(after.score[0].size()) - 1 ? after.remaining[size_t(r.team)]
                                                                          : after.extraRemaining[size_t(r.team)])},
           {"selected", shotJson(r.requested, r.executed.spin < 0)},
           {"actual", shotJson(r.executed, r.executed.spin < 0)},
           {"foul", r.foul}};
    const int thrown = r.team * STONES_PER_TEAM + r.shot / 2;
    o["rest"] = r.after.present[thrown] ? pointJson(r.after.x[thrown], r.after.y[thrown]) : Json(nullptr);
    addSlotStones(o, r.after, hammer);
    o["paths"] = paths(r, hammer);
    writer_.write(o);
}

void MatchRecord::writeEnd(const ShotReport& r, const State& final, int hammer, int nextHammer) {
    const std::array<int, TEAMS> points = r.endScore.value_or(std::array<int, TEAMS>{0, 0});
    Json o{{"type", "end"},
           {"end", r.end},
           {"score", points[0] - points[1]},
           {"points", Json{{"team0", points[0]}, {"team1", points[1]}}},
           {"total", sidesJson(totalScore(final, 0), totalScore(final, 1))},
           {"first", playerName(1 - hammer)},
           {"nextFirst", playerName(1 - nextHammer)},
           {"hammer", teamName(hammer)}};
    addSlotStones(o, r.after, hammer);
    writer_.write(o);
}

void MatchRecord::writeResult(const State& final, const std::string& reason) {
    writer_.write(Json{{"type", "result"},
                       {"winner", final.winner < 0 ? "none" : playerName(final.winner)},
                       {"total", sidesJson(totalScore(final, 0), totalScore(final, 1))},
                       {"forfeit", reason == "time_limit" ? Json(playerName(1 - final.winner)) : Json(nullptr)},
                       {"reason", reason}});
    writer_.close();
}

}  // namespace Kelvo::Dc4
