#include "record.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "dc3/turn.h"
#include "referee/recordjson.h"

namespace Kelvo::Dc3 {

namespace {

using Kelvo::Referee::Json;
using Kelvo::Referee::playerName;
using Kelvo::Referee::recordNumber;
using Kelvo::Referee::textJson;

Json moveJson(const Move& m) {
    return Json{{"vx", recordNumber(m.vx)}, {"vy", recordNumber(m.vy)}, {"rotation", m.ccw ? "ccw" : "cw"}};
}

void addStones(Json& o, const GameState& s) { Kelvo::Referee::addSlotStones(o, toFcv1Stones(s), s.hammer); }

// Every stone the shot moved, the thrown one first, at the record's points
// of the trace.
std::vector<StonePath> paths(const ShotReport& r) {
    const int hammer = r.before.hammer;
    return Kelvo::Referee::tracePaths(toFcv1Stones(r.before), r.trace, fcv1ThrownIndex(r.shot, hammer), hammer,
                                      TRACE_STEPS);
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
    Json o = Kelvo::Referee::slotShotJson(e.end, e.shot, e.team, e.thrower, e.outcome, e.seconds, e.timeLeft);
    if (!e.reply.empty())
        o["reply"] = textJson(e.reply);
    if (e.outcome == "thrown" && e.report) {
        const ShotReport& r = *e.report;
        o["selected"] = moveJson(e.selected);
        o["actual"] = moveJson(toMove(r.actual));
        const int hammer = r.before.hammer;
        Kelvo::Referee::addSlotThrow(o, r.foul, toFcv1Stones(r.after), fcv1ThrownIndex(r.shot, hammer), r.after.hammer,
                                     paths(r));
    } else if (e.state) {
        addStones(o, *e.state);
    }
    writer_.write(o);
}

void GameRecord::write(const EndEntry& e) {
    Json o = Kelvo::Referee::slotEndJson(e.end, e.points.data(), e.total.data(), e.hammer, e.nextHammer);
    if (e.stones)
        addStones(o, *e.stones);
    writer_.write(o);
}

void GameRecord::write(const OutcomeEntry& e) {
    std::string winner = e.winner < 0 ? "draw" : playerName(e.winner);
    if (!e.result)
        winner = "none";
    writer_.write(Kelvo::Referee::resultJson(winner, e.total.data(), e.culprit < 0 ? "" : playerName(e.culprit),
                                             e.reason));
}

}  // namespace Kelvo::Dc3
