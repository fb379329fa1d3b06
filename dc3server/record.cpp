#include "record.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "dc3/turn.h"

namespace Kelvo::Dc3 {

namespace {

using Json = nlohmann::ordered_json;

using Server::pathNumber;
using Server::recordNumber;

// Bytes from the command line or a client as a JSON string, whatever they hold.
Json text(const std::string& bytes) { return Json::parse(Server::jsonString(bytes)); }

const char* playerOf(int team) { return team == 0 ? "player1" : "player2"; }

Json sides(const Json& player1, const Json& player2) { return Json{{"player1", player1}, {"player2", player2}}; }

Json moveJson(const Move& m) {
    return Json{{"vx", recordNumber(m.vx)}, {"vy", recordNumber(m.vy)}, {"rotation", m.ccw ? "ccw" : "cw"}};
}

Json point(const Stone& stone) {
    return Json::array({recordNumber(stone.position.x), recordNumber(stone.position.y)});
}

// The sixteen stones in the order they are thrown, (0, 0) for a missing one,
// and how many are on the sheet.
Json positions(const GameState& s, int& onSheet) {
    Json out = Json::array();
    for (int i = 0; i < SHOTS_PER_END; ++i)
        out.push_back(Json::array({0, 0}));
    onSheet = 0;
    for (int t = 0; t < TEAMS; ++t)
        for (int k = 0; k < STONES_PER_TEAM; ++k)
            if (const std::optional<Stone>& stone = s.stones[size_t(t)][size_t(k)]) {
                out[size_t(fcv1ShotOfIndex(t * STONES_PER_TEAM + k, s.hammer))] = point(*stone);
                ++onSheet;
            }
    return out;
}

// The stones by team and slot, as the protocol lays them out.
Json slots(const GameState& s) {
    Json out = Json::object();
    for (int t = 0; t < TEAMS; ++t) {
        Json list = Json::array();
        for (const std::optional<Stone>& stone : s.stones[size_t(t)])
            list.push_back(stone ? point(*stone) : Json(nullptr));
        out[teamName(t)] = list;
    }
    return out;
}

void addStones(Json& o, const GameState& s) {
    int onSheet = 0;
    o["position"] = positions(s, onSheet);
    o["stonesInPlay"] = onSheet;
    o["stones"] = slots(s);
}

// Every stone the shot moved, the thrown one first: [x, y, t] points in the
// shot frame, t in seconds from the release. A struck stone starts where it
// rested; a stone that left the sheet ends where it was last seen.
Json paths(const ShotReport& r) {
    const Fcv1Trace& trace = r.trace;
    std::vector<Json> points(FCV1_STONES);  // null: did not move
    for (const Fcv1TraceFrame& frame : trace.frames) {
        // A finer trace (for trajectories) is thinned to the record's points.
        if (frame.step % TRACE_STEPS != 0)
            continue;
        for (const Fcv1TraceStone& stone : frame.moving) {
            Json& path = points[size_t(stone.index)];
            if (path.is_null()) {
                path = Json::array();
                const std::optional<Stone>& rested =
                    r.before.stones[size_t(stone.index / STONES_PER_TEAM)][size_t(stone.index % STONES_PER_TEAM)];
                if (rested && frame.step > 0)
                    path.push_back({pathNumber(rested->position.x), pathNumber(rested->position.y),
                                    pathNumber((frame.step - TRACE_STEPS) * 0.001)});
            }
            path.push_back({pathNumber(stone.x), pathNumber(stone.y), pathNumber(frame.step * 0.001)});
        }
    }
    const double end = trace.frames.empty() ? 0 : trace.frames.back().step * 0.001;
    for (int i = 0; i < FCV1_STONES; ++i)
        if (!points[size_t(i)].is_null() && trace.rest.present[i]) {
            const Json last = {pathNumber(trace.rest.x[i]), pathNumber(trace.rest.y[i]), pathNumber(end)};
            if (points[size_t(i)].back() != last)
                points[size_t(i)].push_back(last);
        }
    const int thrown = fcv1ThrownIndex(r.shot, r.before.hammer);
    Json out = Json::array();
    for (int k = -1; k < FCV1_STONES; ++k) {
        const int i = k < 0 ? thrown : k;
        if ((k >= 0 && i == thrown) || points[size_t(i)].is_null())
            continue;
        out.push_back(Json{{"stone", fcv1ShotOfIndex(i, r.before.hammer)}, {"points", points[size_t(i)]}});
    }
    return out;
}

}  // namespace

void GameRecord::write(const GameHeader& h) {
    Json noise = Json::object(), order = Json::object();
    for (int t = 0; t < TEAMS; ++t) {
        Json list = Json::array();
        for (const PlayerModel& p : h.noise[size_t(t)])
            list.push_back(playerModelJson(p));
        noise[teamName(t)] = list;
        order[teamName(t)] = h.order[size_t(t)];
    }
    writer_.write(Json{{"type", "match"},
                       {"ice", "fcv1"},
                       {"protocol", "dc3"},
                       {"players", Json::array({text(h.players[0]), text(h.players[1])})},
                       {"names", Json::array({h.names[0], h.names[1]})},  // valid text: read from JSON
                       {"seed", h.seed},
                       {"ends", h.setting.maxEnd},
                       {"thinkingTime", h.setting.thinkingTime[0]},
                       {"extraEndThinkingTime", h.setting.extraEndThinkingTime[0]},
                       {"fiveRockRule", h.setting.fiveRockRule},
                       {"noise", noise},
                       {"playerOrder", order}});
}

void GameRecord::write(const MoveEntry& e) {
    Json o{{"type", "shot"},
           {"end", e.end},
           {"shot", e.shot},
           {"player", playerOf(e.team)},
           {"team", teamName(e.team)},
           {"thrower", e.thrower},
           {"outcome", e.outcome},
           {"seconds", recordNumber(e.seconds)},
           {"timeLeft", recordNumber(e.timeLeft)}};
    if (!e.reply.empty())
        o["reply"] = text(e.reply);
    if (e.outcome == "thrown" && e.report) {
        const ShotReport& r = *e.report;
        o["selected"] = moveJson(e.selected);
        o["actual"] = moveJson(toMove(r.actual));
        o["foul"] = r.foul;
        const std::optional<Stone>& thrown = r.after.stones[size_t(r.team)][size_t(fcv1ThrownSlot(r.shot))];
        o["rest"] = thrown ? point(*thrown) : Json(nullptr);
        addStones(o, r.after);
        o["paths"] = paths(r);
    } else if (e.state) {
        addStones(o, *e.state);
    }
    writer_.write(o);
}

void GameRecord::write(const EndEntry& e) {
    Json o{{"type", "end"},
           {"end", e.end},
           {"score", e.points[0] - e.points[1]},
           {"points", Json{{"team0", e.points[0]}, {"team1", e.points[1]}}},
           {"total", sides(e.total[0], e.total[1])},
           {"first", playerOf(1 - e.hammer)},
           {"nextFirst", playerOf(1 - e.nextHammer)},
           {"hammer", teamName(e.hammer)}};
    if (e.stones)
        addStones(o, *e.stones);
    writer_.write(o);
}

void GameRecord::write(const OutcomeEntry& e) {
    std::string winner = e.winner < 0 ? "draw" : playerOf(e.winner);
    if (!e.result)
        winner = "none";
    writer_.write(Json{{"type", "result"},
                       {"winner", winner},
                       {"total", sides(e.total[0], e.total[1])},
                       {"forfeit", e.culprit < 0 ? Json(nullptr) : Json(playerOf(e.culprit))},
                       {"reason", text(e.reason)}});
}

}  // namespace Kelvo::Dc3
