#include "record.h"

#include <cmath>
#include <vector>

#include <nlohmann/json.hpp>

namespace Kelvo::Dc4 {

namespace {

using Json = nlohmann::ordered_json;
using Server::pathNumber;
using Server::recordNumber;

const char* playerOf(int team) { return team == 0 ? "player1" : "player2"; }

Json text(const std::string& bytes) { return Json::parse(Server::jsonString(bytes)); }

Json point(float x, float y) { return Json::array({recordNumber(x), recordNumber(y)}); }

// Shot k of the end is thrown by the team without the hammer when k is even,
// into its slot k / 2.
int shotOfIndex(int index, int hammer) {
    const int team = index / STONES_PER_TEAM, slot = index % STONES_PER_TEAM;
    return 2 * slot + (team == hammer ? 1 : 0);
}

void addStones(Json& o, const Fcv1Stones& s, int hammer) {
    Json position = Json::array(), slots = Json::object();
    for (int i = 0; i < SHOTS_PER_END; ++i)
        position.push_back(Json::array({0, 0}));
    int onSheet = 0;
    for (int t = 0; t < TEAMS; ++t) {
        Json list = Json::array();
        for (int k = 0; k < STONES_PER_TEAM; ++k) {
            const int i = t * STONES_PER_TEAM + k;
            if (s.present[i]) {
                position[size_t(shotOfIndex(i, hammer))] = point(s.x[i], s.y[i]);
                ++onSheet;
                list.push_back(point(s.x[i], s.y[i]));
            } else {
                list.push_back(nullptr);
            }
        }
        slots[teamName(t)] = list;
    }
    o["position"] = position;
    o["stonesInPlay"] = onSheet;
    o["stones"] = slots;
}

// Every stone the shot moved, the thrown one first: [x, y, t] points.
Json paths(const ShotReport& r, int hammer) {
    std::vector<Json> points(FCV1_STONES);
    for (const Fcv1TraceFrame& frame : r.trace.frames)
        for (const Fcv1TraceStone& stone : frame.moving) {
            Json& path = points[size_t(stone.index)];
            if (path.is_null()) {
                path = Json::array();
                if (r.before.present[stone.index] && frame.step > 0)
                    path.push_back({pathNumber(r.before.x[stone.index]), pathNumber(r.before.y[stone.index]),
                                    pathNumber((frame.step - r.trace.every) * 0.001)});
            }
            path.push_back({pathNumber(stone.x), pathNumber(stone.y), pathNumber(frame.step * 0.001)});
        }
    const double end = r.trace.frames.empty() ? 0 : r.trace.frames.back().step * 0.001;
    for (int i = 0; i < FCV1_STONES; ++i)
        if (!points[size_t(i)].is_null() && r.trace.rest.present[i]) {
            const Json last = {pathNumber(r.trace.rest.x[i]), pathNumber(r.trace.rest.y[i]), pathNumber(end)};
            if (points[size_t(i)].back() != last)
                points[size_t(i)].push_back(last);
        }
    const int thrown = r.team * STONES_PER_TEAM + r.shot / 2;
    Json out = Json::array();
    for (int k = -1; k < FCV1_STONES; ++k) {
        const int i = k < 0 ? thrown : k;
        if ((k >= 0 && i == thrown) || points[size_t(i)].is_null())
            continue;
        out.push_back(Json{{"stone", shotOfIndex(i, hammer)}, {"points", points[size_t(i)]}});
    }
    return out;
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

Json sides(int a, int b) { return Json{{"player1", a}, {"player2", b}}; }

}  // namespace

void MatchRecord::writeMatch(const std::string& id, const Game& game, uint64_t seed, const std::string& rule) {
    Json noise = Json::object();
    for (int t = 0; t < TEAMS; ++t) {
        Json list = Json::array();
        for (const PlayerConfig& p : game.team(t).players)
            list.push_back(Json{{"maxSpeed", p.maxVelocity},
                                {"stddevSpeed", p.shotStdDev},
                                {"stddevAngle", p.angleStdDev},
                                {"name", text(p.name)}});
        noise[teamName(t)] = list;
    }
    writer_.write(Json{{"type", "match"},
                       {"ice", "fcv1"},
                       {"protocol", "dc4"},
                       {"matchId", id},
                       {"players", Json::array({text(game.team(0).teamName), text(game.team(1).teamName)})},
                       {"names", Json::array({text(game.team(0).teamName), text(game.team(1).teamName)})},
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
           {"player", playerOf(r.team)},
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
    o["rest"] = r.after.present[thrown] ? point(r.after.x[thrown], r.after.y[thrown]) : Json(nullptr);
    addStones(o, r.after, hammer);
    o["paths"] = paths(r, hammer);
    writer_.write(o);
}

void MatchRecord::writeEnd(const ShotReport& r, const State& final, int hammer, int nextHammer) {
    const std::array<int, TEAMS> points = r.endScore.value_or(std::array<int, TEAMS>{0, 0});
    Json o{{"type", "end"},
           {"end", r.end},
           {"score", points[0] - points[1]},
           {"points", Json{{"team0", points[0]}, {"team1", points[1]}}},
           {"total", sides(totalScore(final, 0), totalScore(final, 1))},
           {"first", playerOf(1 - hammer)},
           {"nextFirst", playerOf(1 - nextHammer)},
           {"hammer", teamName(hammer)}};
    addStones(o, r.after, hammer);
    writer_.write(o);
}

void MatchRecord::writeResult(const State& final, const std::string& reason) {
    writer_.write(Json{{"type", "result"},
                       {"winner", final.winner < 0 ? "none" : playerOf(final.winner)},
                       {"total", sides(totalScore(final, 0), totalScore(final, 1))},
                       {"forfeit", reason == "time_limit" ? Json(playerOf(1 - final.winner)) : Json(nullptr)},
                       {"reason", reason}});
    writer_.close();
}

}  // namespace Kelvo::Dc4
