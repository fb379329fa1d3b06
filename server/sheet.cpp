#include "sheet.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1rules.h"
#include "kelvosim/gamestate.h"
#include "kelvosim/classic/simulator.h"

namespace Kelvo::Server {

namespace {

Vec2 boardPoint(const Position& position, int stone) {
    return toBoardFrame(position.xy[stone][0], position.xy[stone][1]);
}

// The server number of each traced stone: the thrown stone is `shot`, the
// board's stones are found by their exact starting position.
void numberStones(const Position& before, int shot, const ExactShotTrace& trace, int* numbers) {
    bool used[STONES] = {};
    numbers[0] = shot;
    used[shot] = true;
    for (int k = 1; k < trace.n; ++k) {
        numbers[k] = -1;
        for (int i = trace.colour[k]; i < STONES && numbers[k] < 0; i += 2) {
            const Vec2 p = boardPoint(before, i);
            if (!used[i] && p.x == trace.start[k].x && p.y == trace.start[k].y) {
                numbers[k] = i;
                used[i] = true;
            }
        }
    }
}

}  // namespace

bool inPlay(const Position& position, int stone) {
    if (position.ice == IceKind::FCV1) {
        Vec2 p;
        return stoneOnBoard(IceKind::FCV1, position.xy[stone][0], position.xy[stone][1], p);
    }
    const Vec2 p = boardPoint(position, stone);
    return isInPlayArea(p.x, p.y);
}

int stonesInPlay(const Position& position) {
    int n = 0;
    for (int i = 0; i < STONES; ++i)
        n += inPlay(position, i) ? 1 : 0;
    return n;
}

ThinkBoard boardFor(const Position& position, int shot) {
    _GAMESTATE state;
    state.shotNumber = shot;
    for (int i = 0; i < STONES; ++i) {
        state.stonePos[i][0] = position.xy[i][0];
        state.stonePos[i][1] = position.xy[i][1];
    }
    ThinkBoard board;
    buildFromGameState(board, state);
    return board;
}

int countEnd(const Position& position) {
    if (position.ice == IceKind::FCV1) {
        const std::array<int32_t, 2> points = scoreFcv1End(toFcv1Stones(position));
        return points[0] - points[1];
    }
    return boardFor(position, STONES).endScore;
}

namespace {

// The side throwing shot 0 plays as team 0, so team 1 holds the hammer.
constexpr int32_t FCV1_HAMMER = 1;
// Trace steps between path points: 10 ms, 4 cm at the fastest launch.
constexpr int32_t FCV1_PATH_EVERY = 10;

}  // namespace

Fcv1Stones toFcv1Stones(const Position& position) {
    Fcv1Stones stones;
    for (int i = 0; i < STONES; ++i) {
        if (!inPlay(position, i))
            continue;
        const int k = fcv1ThrownIndex(i, FCV1_HAMMER);
        stones.present[k] = true;
        stones.x[k] = position.xy[i][0];
        stones.y[k] = position.xy[i][1];
    }
    return stones;
}

Position fromFcv1Stones(const Fcv1Stones& stones) {
    Position position;
    position.ice = IceKind::FCV1;
    for (int i = 0; i < STONES; ++i) {
        const int k = fcv1ThrownIndex(i, FCV1_HAMMER);
        if (stones.present[k]) {
            position.xy[i][0] = stones.x[k];
            position.xy[i][1] = stones.y[k];
        }
    }
    return position;
}

ShotOutcome playFcv1Shot(const Position& before, int shot, int end, const Fcv1Move& thrown) {
    Fcv1ShotInput input;
    input.stones = toFcv1Stones(before);
    input.shot = shot;
    input.end = end;
    input.hammer = FCV1_HAMMER;
    input.move = thrown;
    Fcv1Trace trace;
    trace.every = FCV1_PATH_EVERY;
    const Fcv1ShotResult result = simulateFcv1Exact(input, &trace);

    ShotOutcome outcome;
    outcome.voided = result.foul;
    outcome.after = result.foul ? before : fromFcv1Stones(result.stones);
    if (result.foul)
        outcome.after.xy[shot][0] = outcome.after.xy[shot][1] = 0.0f;
    // Every stone that moved, the thrown one first: from where it started
    // through the traced frames, ending where it rested or was last seen.
    for (int n = 0; n < STONES; ++n) {
        const int i = n == 0 ? shot : n <= shot ? n - 1 : n;
        const int k = fcv1ThrownIndex(i, FCV1_HAMMER);
        StonePath path{i, {}};
        for (const Fcv1TraceFrame& frame : trace.frames)
            for (const Fcv1TraceStone& s : frame.moving)
                if (s.index == k) {
                    if (path.points.empty() && i != shot)
                        path.points.push_back(PathPoint{before.xy[i][0], before.xy[i][1], 0.0});
                    path.points.push_back(PathPoint{s.x, s.y, frame.step * double(FCV1_DT)});
                }
        if (path.points.empty())
            continue;
        if (trace.rest.present[k])
            path.points.push_back(PathPoint{trace.rest.x[k], trace.rest.y[k], result.steps * double(FCV1_DT)});
        outcome.paths.push_back(std::move(path));
    }
    return outcome;
}

bool parseStep(const std::string& text, double& step) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value > 0 && value <= MAX_STEP))
        return false;
    const double rounded = double(float(value));
    if (!(rounded > 0))
        return false;
    step = rounded;
    return true;
}

ShotOutcome playShot(const Position& before, int shot, const fMoveXY<double>& thrown, double step) {
    ThinkBoard board = boardFor(before, shot);
    const ExactShotTrace trace = traceShotExact(board, thrown, step, true);
    ShotOutcome outcome;
    outcome.change = applyExactTrace(board, trace);
    outcome.voided = trace.voided;
    outcome.after = before;
    int numbers[17];
    numberStones(before, shot, trace, numbers);
    // A void shot keeps its paths: they show how the guard was removed.
    for (int k = 0; k < trace.n; ++k) {
        if (numbers[k] < 0 || trace.path[k].empty())
            continue;
        StonePath path{numbers[k], {}};
        for (const PathPoint& p : trace.path[k])
            path.points.push_back(PathPoint{p.x + FX_TEE, FY_TEE - p.y, p.t});
        outcome.paths.push_back(std::move(path));
    }
    if (trace.voided)
        return outcome;
    for (int k = 0; k < trace.n; ++k) {
        const int i = numbers[k];
        if (i < 0 || !trace.moved[k])
            continue;
        outcome.after.xy[i][0] = trace.inPlay[k] ? float(trace.rest[k].x + FX_TEE) : 0.0f;
        outcome.after.xy[i][1] = trace.inPlay[k] ? float(FY_TEE - trace.rest[k].y) : 0.0f;
    }
    return outcome;
}

}  // namespace Kelvo::Server
