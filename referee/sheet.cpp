#include "sheet.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kelvosim/gamestate.h"
#include "kelvosim/classic/simulator.h"

namespace Kelvo::Referee {

namespace {

SheetStones stonesOf(const Position& position) {
    SheetStones stones;
    std::memcpy(stones.xy, position.xy, sizeof stones.xy);
    return stones;
}

Position positionOf(const SheetStones& stones, IceKind ice) {
    Position position;
    std::memcpy(position.xy, stones.xy, sizeof position.xy);
    position.ice = ice;
    return position;
}

}  // namespace

bool inPlay(const Position& position, int stone) {
    Vec2 p;
    return sheetOf(position.ice).stoneOnBoard(position.xy[stone][0], position.xy[stone][1], p);
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

int countEnd(const Position& position) { return sheetOf(position.ice).countEnd(stonesOf(position)); }

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

ShotOutcome playShot(const Position& before, int shot, const fMoveXY<double>& thrown, double step, int end) {
    RefereedShot played = sheetOf(before.ice).playExact(stonesOf(before), shot, end, thrown, step);
    ShotOutcome outcome;
    outcome.after = positionOf(played.after, before.ice);
    outcome.paths = std::move(played.paths);
    outcome.change = played.change;
    outcome.voided = played.voided;
    return outcome;
}

ThrownShot throwShot(const Position& before, int shot, int end, const fMoveXY<double>& answered, ThrowNoise& noise,
                     double step) {
    ThrownShot thrown;
    thrown.thrown = noise.thrown(answered, thrown.noise);
    thrown.outcome = playShot(before, shot, thrown.thrown, step, end);
    return thrown;
}

}  // namespace Kelvo::Referee
