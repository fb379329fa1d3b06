#include "sheet.h"

#include <cmath>
#include <cstdlib>

#include "kelvosim/gamestate.h"
#include "kelvosim/simulator.h"

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

int countEnd(const Position& position) { return boardFor(position, STONES).endScore; }

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
