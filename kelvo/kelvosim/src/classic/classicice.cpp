#include "kelvosim/classic/classicice.h"

#include <algorithm>
#include <cmath>

#include "kelvosim/board/shot.h"
#include "kelvosim/classic/fastshot.h"
#include "kelvosim/classic/inversion.h"
#include "kelvosim/classic/noise.h"
#include "kelvosim/classic/simulator.h"
#include "kelvosim/gamestate.h"

namespace Kelvo {

namespace {

// A picture reaches at least this far in front of the tee.
constexpr double PICTURE_MIN_FRONT = 7.0;

ThinkBoard boardOf(const SheetStones& stones, int32_t shot) {
    _GAMESTATE state;
    state.shotNumber = shot;
    for (int i = 0; i < 16; ++i) {
        state.stonePos[i][0] = stones.xy[i][0];
        state.stonePos[i][1] = stones.xy[i][1];
    }
    ThinkBoard board;
    buildFromGameState(board, state);
    return board;
}

// The number of each traced stone: the thrown stone is `shot`, the board's
// stones are found by their exact starting position.
void numberStones(const SheetStones& before, int shot, const ExactShotTrace& trace, int* numbers) {
    bool used[16] = {};
    numbers[0] = shot;
    used[shot] = true;
    for (int k = 1; k < trace.n; ++k) {
        numbers[k] = -1;
        for (int i = trace.colour[k]; i < 16 && numbers[k] < 0; i += 2) {
            const Vec2 p = toBoardFrame(before.xy[i][0], before.xy[i][1]);
            if (!used[i] && p.x == trace.start[k].x && p.y == trace.start[k].y) {
                numbers[k] = i;
                used[i] = true;
            }
        }
    }
}

}  // namespace

IceRules classicRules() {
    IceRules r;
    r.hog = HogRule::NONE;
    r.backLineWhileMoving = true;
    r.nearBackBoard = false;
    r.freeGuardShots = 4;
    r.guards = GuardRule::OTHER_SIDES_GUARDS;
    r.countRadius = IN_HOUSE_R;
    return r;
}

ClassicIce::ClassicIce(IceKind kind, const IceRules& rules, std::shared_ptr<const MotionTables> tables)
    : Ice(kind, rules), tables_(std::move(tables)) {
    // The board, the fast and the exact simulation of this folder play
    // these rules and no others.
    const IceRules c = classicRules();
    KELVO_CHECK(rules.hog == c.hog && rules.backLineWhileMoving == c.backLineWhileMoving &&
                    rules.nearBackBoard == c.nearBackBoard && rules.guards == c.guards &&
                    rules.countRadius == c.countRadius,
                "classic rules");
}

bool ClassicIce::stoneOnBoard(float x, float y, Vec2& p) const {
    p = toBoardFrame(x, y);
    return isInPlayArea(p.x, p.y);
}

Vec2 ClassicIce::toProtocolPoint(Vec2 p) const { return Vec2{p.x + FX_TEE, FY_TEE - p.y}; }

const char* ClassicIce::protocolFrameName() const { return "server frame (tee at 2.375, 4.880)"; }

double ClassicIce::pictureNearEdge() const { return FY_TEE + PICTURE_MIN_FRONT; }

bool ClassicIce::pictureHogLine(double&) const { return false; }

double ClassicIce::maxLaunchSpeed() const { return V_MAX; }

double ClassicIce::deceleration(double) const { return DECEL; }

double ClassicIce::drawSpeed(double reach) const { return std::sqrt(2 * DECEL * reach); }

ShotChange ClassicIce::simulateShot(ThinkBoard& board, const fMoveXY<double>& shot) const {
    const double speed = std::min(std::hypot(shot.x, shot.y), V_MAX);
    const double heading = std::atan2(shot.x, shot.y);
    // On an empty sheet the stone slides to its table rest point; the
    // clear-path move does exactly that, with the speed clamped to the
    // table and no stone placed outside the play area.
    if (stonesOnSheet(board) == 0)
        return simulateClearPath(board, speed, heading, shot.spin);
    const double reach = tables().stopDistance(speed);
    if (board.frontY - STONE_R + TEE_TO_THROW > reach)
        return simulateClearPath(board, speed, heading, shot.spin);
    const StoneMotion launched = launchMotion(shot, speed, heading);
    if (stonesOnSheet(board) == 1)
        return simulateTwoStones(board, launched);
    return simulateGeneral(board, launched);
}

fMoveXY<double> ClassicIce::withExecutionNoise(const fMoveXY<double>& shot, const Fcv1PlayerNoise&,
                                               dsfmt_t& rng) const {
    double dx, dy;
    sampleNoise(rng, dx, dy);
    return fMoveXY<double>{shot.x + dx, shot.y + dy, shot.spin};
}

std::unique_ptr<ThrowNoise> ClassicIce::refereeNoise(uint64_t seed, const Fcv1PlayerNoise&) const {
    return std::make_unique<TargetErrorNoise>(seed);
}

fMoveXY<double> ClassicIce::drawTo(Vec2 target, int32_t spin) const {
    fMoveXY<double> c{0, 0, spin};
    Kelvo::drawTo(tables(), target, c);
    return c;
}

fMoveXY<double> ClassicIce::passThrough(Vec2 target, double extra, int32_t spin) const {
    fMoveXY<double> c{0, 0, spin};
    Kelvo::passThrough(tables(), target, extra, c);
    return c;
}

fMoveXY<double> ClassicIce::hitAt(Vec2 target, double speed, int32_t spin) const {
    fMoveXY<double> c{0, 0, spin};
    Kelvo::hitAt(tables(), target, speed, c);
    return c;
}

RefereedShot ClassicIce::playExact(const SheetStones& before, int32_t shot, int32_t, const fMoveXY<double>& thrown,
                                   double step) const {
    ThinkBoard board = boardOf(before, shot);
    const ExactShotTrace trace = traceShotExact(board, thrown, step, true);
    RefereedShot outcome;
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

bool ClassicIce::exactRest(const _GAMESTATE&, const ThinkBoard& board, const fMoveXY<double>& shot,
                           Vec2& rest) const {
    const ExactShotTrace trace = traceShotExact(board, shot);
    rest = toProtocolPoint(trace.rest[0]);
    return !trace.voided && trace.inPlay[0];
}

int32_t ClassicIce::countEnd(const SheetStones& stones) const { return boardOf(stones, 16).endScore; }

}  // namespace Kelvo
