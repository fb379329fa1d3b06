#include "recordjson.h"

#include "recordfile.h"

namespace Kelvo::Referee {

Json textJson(const std::string& bytes) { return Json::parse(jsonString(bytes)); }

const char* playerName(int side) { return side == 0 ? "player1" : "player2"; }

Json sidesJson(const Json& player1, const Json& player2) { return Json{{"player1", player1}, {"player2", player2}}; }

Json pointJson(double x, double y) { return Json::array({recordNumber(x), recordNumber(y)}); }

Json pathsJson(const std::vector<StonePath>& paths) {
    Json out = Json::array();
    for (const StonePath& path : paths) {
        Json points = Json::array();
        for (const PathPoint& p : path.points)
            points.push_back(Json::array({pathNumber(p.x), pathNumber(p.y), pathNumber(p.t)}));
        out.push_back(Json{{"stone", path.stone}, {"points", std::move(points)}});
    }
    return out;
}

namespace {

// An "end" object, with the points of each team after the score where given.
Json endJsonWith(int end, int score, const Json& points, const int total[2], int firstSide, int nextFirstSide) {
    Json o{{"type", "end"}, {"end", end}, {"score", score}};
    if (!points.is_null())
        o["points"] = points;
    o["total"] = sidesJson(total[0], total[1]);
    o["first"] = playerName(firstSide);
    o["nextFirst"] = playerName(nextFirstSide);
    return o;
}

}  // namespace

Json endJson(int end, int score, const int total[2], int firstSide, int nextFirstSide) {
    return endJsonWith(end, score, nullptr, total, firstSide, nextFirstSide);
}

Json resultJson(const std::string& winner, const int total[2], const std::string& forfeit, const std::string& reason) {
    return Json{{"type", "result"},
                {"winner", winner},
                {"total", sidesJson(total[0], total[1])},
                {"forfeit", forfeit.empty() ? Json(nullptr) : textJson(forfeit)},
                {"reason", textJson(reason)}};
}

namespace {

const char* teamName(int team) { return team == 0 ? "team0" : "team1"; }

}  // namespace

Json slotShotJson(int end, int shot, int team, int thrower, const std::string& outcome, double seconds,
                  double timeLeft) {
    return Json{{"type", "shot"},
                {"end", end},
                {"shot", shot},
                {"player", playerName(team)},
                {"team", teamName(team)},
                {"thrower", thrower},
                {"outcome", outcome},
                {"seconds", recordNumber(seconds)},
                {"timeLeft", recordNumber(timeLeft)}};
}

Json slotEndJson(int end, const int points[2], const int total[2], int hammer, int nextHammer) {
    Json o = endJsonWith(end, points[0] - points[1], Json{{"team0", points[0]}, {"team1", points[1]}}, total,
                         1 - hammer, 1 - nextHammer);
    o["hammer"] = teamName(hammer);
    return o;
}

void addSlotThrow(Json& o, bool foul, const Fcv1Stones& after, int thrownIndex, int hammer,
                  const std::vector<StonePath>& paths) {
    o["foul"] = foul;
    o["rest"] = after.present[thrownIndex] ? pointJson(after.x[thrownIndex], after.y[thrownIndex]) : Json(nullptr);
    addSlotStones(o, after, hammer);
    o["paths"] = pathsJson(paths);
}

void addSlotStones(Json& o, const Fcv1Stones& s, int hammer) {
    Json position = Json::array(), slots = Json::object();
    for (int i = 0; i < FCV1_STONES; ++i)
        position.push_back(Json::array({0, 0}));
    int onSheet = 0;
    for (int t = 0; t < 2; ++t) {
        Json list = Json::array();
        for (int k = 0; k < FCV1_STONES / 2; ++k) {
            const int i = t * FCV1_STONES / 2 + k;
            if (s.present[i]) {
                position[size_t(fcv1ShotOfIndex(i, hammer))] = pointJson(s.x[i], s.y[i]);
                ++onSheet;
                list.push_back(pointJson(s.x[i], s.y[i]));
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

namespace {

bool samePathPoint(const PathPoint& a, const PathPoint& b) {
    return pathNumber(a.x) == pathNumber(b.x) && pathNumber(a.y) == pathNumber(b.y) &&
           pathNumber(a.t) == pathNumber(b.t);
}

}  // namespace

std::vector<StonePath> tracePaths(const Fcv1Stones& before, const Fcv1Trace& trace, int thrownIndex, int hammer,
                                  int recordSteps) {
    std::vector<std::vector<PathPoint>> points(FCV1_STONES);
    std::vector<bool> moved(FCV1_STONES, false);
    for (const Fcv1TraceFrame& frame : trace.frames) {
        if (frame.step % recordSteps != 0)
            continue;
        for (const Fcv1TraceStone& stone : frame.moving) {
            std::vector<PathPoint>& path = points[size_t(stone.index)];
            if (!moved[size_t(stone.index)]) {
                moved[size_t(stone.index)] = true;
                if (before.present[stone.index] && frame.step > 0)
                    path.push_back(PathPoint{before.x[stone.index], before.y[stone.index],
                                             (frame.step - recordSteps) * 0.001});
            }
            path.push_back(PathPoint{stone.x, stone.y, frame.step * 0.001});
        }
    }
    const double end = trace.frames.empty() ? 0 : trace.frames.back().step * 0.001;
    for (int i = 0; i < FCV1_STONES; ++i)
        if (moved[size_t(i)] && trace.rest.present[i]) {
            const PathPoint last{trace.rest.x[i], trace.rest.y[i], end};
            if (!samePathPoint(points[size_t(i)].back(), last))
                points[size_t(i)].push_back(last);
        }
    std::vector<StonePath> out;
    for (int k = -1; k < FCV1_STONES; ++k) {
        const int i = k < 0 ? thrownIndex : k;
        if ((k >= 0 && i == thrownIndex) || !moved[size_t(i)])
            continue;
        out.push_back(StonePath{fcv1ShotOfIndex(i, hammer), std::move(points[size_t(i)])});
    }
    return out;
}

}  // namespace Kelvo::Referee
