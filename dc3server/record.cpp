#include "record.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "dc3/turn.h"
#include "referee/recordjson.h"

namespace Kelvo::Dc3 {

namespace {

using Kelvo::Referee::Json;
using Kelvo::Referee::playerName;
using Kelvo::Referee::pointJson;
using Kelvo::Referee::recordNumber;
using Kelvo::Referee::sidesJson;
using Kelvo::Referee::textJson;

Json moveJson(const Move& m) {
    return Json{{"vx", recordNumber(m.vx)}, {"vy", recordNumber(m.vy)}, {"rotation", m.ccw ? "ccw" : "cw"}};
}

void addStones(Json& o, const GameState& s) { Kelvo::Referee::addSlotStones(o, toFcv1Stones(s), s.hammer); }

// Every stone the shot moved, the thrown one first, at the record's points
// of the trace.
Json paths(const ShotReport& r) {
    const int hammer = r.before.hammer;
    return Kelvo::Referee::pathsJson(Kelvo::Referee::tracePaths(
        toFcv1Stones(r.before), r.trace, fcv1ThrownIndex(r.shot, hammer), hammer, TRACE_STEPS));
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
                       {"players", Json::array({textJson(h.players[0]), textJson(h.players[1])})},
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
           {"player", playerName(e.team)},
           {"team", teamName(e.team)},
           {"thrower", e.thrower},
           {"outcome", e.outcome},
           {"seconds", recordNumber(e.seconds)},
           {"timeLeft", recordNumber(e.timeLeft)}};
    if (!e.reply.empty())
        o["reply"] = textJson(e.reply);
    if (e.outcome == "thrown" && e.report) {
        const ShotReport& r = *e.report;
        o["selected"] = moveJson(e.selected);
        o["actual"] = moveJson(toMove(r.actual));
        o["foul"] = r.foul;
        const std::optional<Stone>& thrown = r.after.stones[size_t(r.team)][size_t(fcv1ThrownSlot(r.shot))];
        o["rest"] = thrown ? pointJson(thrown->position.x, thrown->position.y) : Json(nullptr);
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
           {"total", sidesJson(e.total[0], e.total[1])},
           {"first", playerName(1 - e.hammer)},
           {"nextFirst", playerName(1 - e.nextHammer)},
           {"hammer", teamName(e.hammer)}};
    if (e.stones)
        addStones(o, *e.stones);
    writer_.write(o);
}

void GameRecord::write(const OutcomeEntry& e) {
    std::string winner = e.winner < 0 ? "draw" : playerName(e.winner);
    if (!e.result)
        winner = "none";
    writer_.write(Json{{"type", "result"},
                       {"winner", winner},
                       {"total", sidesJson(e.total[0], e.total[1])},
                       {"forfeit", e.culprit < 0 ? Json(nullptr) : Json(playerName(e.culprit))},
                       {"reason", textJson(e.reason)}});
}

}  // namespace Kelvo::Dc3
