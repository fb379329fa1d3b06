#include "kelvosim/fcv1/fcv1ice.h"

#include <cstring>

#include "kelvosim/fcv1/fcv1dc4.h"
#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1fast.h"
#include "kelvosim/fcv1/fcv1inversion.h"
#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/fcv1/fcv1rules.h"
#include "kelvosim/fcv1/fcv1shot.h"
#include "kelvosim/gamestate.h"

namespace Kelvo {

namespace {

// Chosen: the takeout on this ice, in m/s: the middle of the framework's own
// reference takeouts (2.6 to 3.6 m/s), well under its players' 4.0 m/s cap,
// so the noise does not clip it.
constexpr double TAKEOUT_SPEED = 3.1;

// The side throwing shot 0 plays as team 0, so team 1 holds the hammer.
constexpr int32_t HAMMER = 1;
// Trace steps between path points: 10 ms, 4 cm at the fastest launch.
constexpr int32_t PATH_EVERY = 10;

// The model's layout of the stones: stone i takes slot i / 2 of team i mod 2.
Fcv1Stones modelStones(const Ice& ice, const SheetStones& sheet) {
    Fcv1Stones stones;
    for (int i = 0; i < 16; ++i) {
        Vec2 p;
        if (!ice.stoneOnBoard(sheet.xy[i][0], sheet.xy[i][1], p))
            continue;
        const int k = fcv1ThrownIndex(i, HAMMER);
        stones.present[k] = true;
        stones.x[k] = sheet.xy[i][0];
        stones.y[k] = sheet.xy[i][1];
    }
    return stones;
}

// The latest shots the inversions gave, by their exact inputs (bit for bit:
// -0 and 0 aim differently), one table per thread. The search asks the same
// ones over and over: draws to fixed points, hits on stones that stay put
// through many playouts; each answer costs a few dozen table searches.
class InversionMemo {
public:
    enum Kind : uint32_t { DRAW, PASS_THROUGH, HIT };

    // The answer for these inputs, from the table or from `solve`.
    template <typename Solve>
    fMoveXY<double> find(Kind kind, const Fcv1Tables& tables, Vec2 target, double param, bool ccw, Solve solve) {
        const Key key{&tables, bits(target.x), bits(target.y), bits(param), uint32_t(kind) << 1 | uint32_t(ccw)};
        Entry& e = entries_[slotOf(key)];
        if (!(e.key == key)) {
            e.key = key;
            e.shot = solve();
        }
        return e.shot;
    }

private:
    struct Key {
        const Fcv1Tables* tables = nullptr;
        uint64_t x = 0, y = 0, param = 0;
        uint32_t kindAndSpin = 0;
        bool operator==(const Key& o) const {
            return tables == o.tables && x == o.x && y == o.y && param == o.param && kindAndSpin == o.kindAndSpin;
        }
    };
    struct Entry {
        Key key;
        fMoveXY<double> shot;
    };
    static constexpr int SLOT_BITS = 8;

    static uint64_t bits(double v) {
        uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    }
    static uint32_t slotOf(const Key& k) {
        const uint64_t h = (k.x * 0x9E3779B97F4A7C15ull) ^ (k.y * 0xC2B2AE3D27D4EB4Full) ^
                           (k.param * 0x165667B19E3779F9ull) ^ k.kindAndSpin;
        return uint32_t((h ^ h >> 29) * 0xBF58476D1CE4E5B9ull >> (64 - SLOT_BITS));
    }

    Entry entries_[1 << SLOT_BITS];
};

InversionMemo& inversionMemo() {
    thread_local InversionMemo memo;
    return memo;
}

SheetStones sheetStones(const Fcv1Stones& stones) {
    SheetStones sheet;
    for (int i = 0; i < 16; ++i) {
        const int k = fcv1ThrownIndex(i, HAMMER);
        if (stones.present[k]) {
            sheet.xy[i][0] = stones.x[k];
            sheet.xy[i][1] = stones.y[k];
        }
    }
    return sheet;
}

}  // namespace

Fcv1Ice::Fcv1Ice(IceKind kind, const IceRules& rules, std::shared_ptr<const Fcv1Tables> tables)
    : Ice(kind, rules), tables_(std::move(tables)) {
    // The simulations of this folder read every rule from the value, but
    // count within the house and launch spins up to the model's own.
    KELVO_CHECK(float(rules.countRadius) == FCV1_IN_HOUSE_R, "count radius");
    KELVO_CHECK(0 <= rules.minSpinRate && rules.minSpinRate <= double(FCV1_LAUNCH_SPIN), "spin range");
}

bool Fcv1Ice::stoneOnBoard(float x, float y, Vec2& p) const {
    p = Vec2{double(x), double(y) - double(FCV1_TEE_Y)};
    // Referees park stones out of play at the hack (the origin): a stone in
    // play lies wholly past it, where the rules keep a stone that stopped
    // there and touched another.
    return y > FCV1_STONE_R && !fcv1LeavesWhileMoving(x, y, fcv1MovingRemoval(rules())) &&
           !fcv1OffAtRest(rules(), x, y, false);
}

Vec2 Fcv1Ice::toPicture(double x, double y) const { return Vec2{x + FX_TEE, FY_TEE - (y - double(FCV1_TEE_Y))}; }

Vec2 Fcv1Ice::toProtocolPoint(Vec2 p) const { return Vec2{p.x, p.y + double(FCV1_TEE_Y)}; }

const char* Fcv1Ice::protocolFrameName() const { return "fcv1 shot frame (tee at 0, 38.405)"; }

bool Fcv1Ice::pictureHogLine(double& y) const {
    y = FY_TEE + (double(FCV1_TEE_Y) - double(FCV1_HOG_Y));
    return true;
}

double Fcv1Ice::pictureNearEdge() const {
    double hog = 0;
    pictureHogLine(hog);
    return hog + 2 * STONE_R;
}

double Fcv1Ice::maxLaunchSpeed() const { return double(FCV1_MAX_SPEED); }

double Fcv1Ice::deceleration(double speed) const { return -double(fcv1Acceleration(float(speed))); }

double Fcv1Ice::drawSpeed(double reach) const {
    // A reach from the classic throw point, from the hack here.
    const double shift = double(FCV1_TEE_Y) - TEE_TO_THROW;
    return fcv1DrawSpeed(tables(), reach + shift);
}

ShotChange Fcv1Ice::simulateShot(ThinkBoard& board, const fMoveXY<double>& shot) const {
    // One workspace per thread: the fast simulation's exact bursts reuse its
    // world instead of building one for each shot.
    thread_local Fcv1FastWorkspace workspace;
    return simulateShotFcv1(board, shot, tables(), rules(), &workspace);
}

fMoveXY<double> Fcv1Ice::withExecutionNoise(const fMoveXY<double>& shot, const Fcv1PlayerNoise& spread,
                                            dsfmt_t& rng) const {
    return shotOfFcv1Move(applyFcv1Noise(fcv1MoveOf(shot), spread, rng));
}

std::unique_ptr<ThrowNoise> Fcv1Ice::refereeNoise(uint64_t seed, const Fcv1PlayerNoise& spread) const {
    return std::make_unique<Fcv1ThrowNoise>(seed, spread);
}

fMoveXY<double> Fcv1Ice::drawTo(Vec2 target, int32_t spin) const {
    const bool ccw = spin == 1;
    return inversionMemo().find(InversionMemo::DRAW, tables(), target, 0.0, ccw, [&] {
        return shotOfFcv1Move(fcv1DrawTo(tables(), target.x, target.y, ccw));
    });
}

fMoveXY<double> Fcv1Ice::passThrough(Vec2 target, double extra, int32_t spin) const {
    const bool ccw = spin == 1;
    return inversionMemo().find(InversionMemo::PASS_THROUGH, tables(), target, extra, ccw, [&] {
        return shotOfFcv1Move(fcv1PassThrough(tables(), target.x, target.y, extra, ccw));
    });
}

fMoveXY<double> Fcv1Ice::hitAt(Vec2 target, double speed, int32_t spin) const {
    const bool ccw = spin == 1;
    return inversionMemo().find(InversionMemo::HIT, tables(), target, speed, ccw, [&] {
        return shotOfFcv1Move(fcv1HitAt(tables(), target.x, target.y, TAKEOUT_SPEED * speed / TAKEOUT_SCALE, ccw));
    });
}

RefereedShot Fcv1Ice::playExact(const SheetStones& before, int32_t shot, int32_t end, const fMoveXY<double>& thrown,
                                double) const {
    // The same shot as Digital Curling 4's stand-in referee plays it, by
    // the rules this ice holds, in a fresh world turned round with the end
    // as Digital Curling 3's frame is (bit for bit its referee's shot).
    Dc4ShotInput input;
    input.stones = modelStones(*this, before);
    input.shot = shot;
    input.thrower = fcv1ThrowingTeam(shot, HAMMER);
    const Fcv1Move move = fcv1MoveOf(thrown);
    input.vx = move.vx;
    input.vy = move.vy;
    input.spin = fcv1LaunchSpin(move);
    Fcv1Trace trace;
    trace.every = PATH_EVERY;
    Fcv1Simulator simulator;
    const Fcv1ShotResult result = playDc4Shot(simulator, input, rules(), &trace, end);

    RefereedShot outcome;
    outcome.voided = result.foul;
    outcome.after = result.foul ? before : sheetStones(result.stones);
    if (result.foul)
        outcome.after.xy[shot][0] = outcome.after.xy[shot][1] = 0.0f;
    // Every stone that moved, the thrown one first: from where it started
    // through the traced frames, ending where it rested or was last seen.
    for (int n = 0; n < 16; ++n) {
        const int i = n == 0 ? shot : n <= shot ? n - 1 : n;
        const int k = fcv1ThrownIndex(i, HAMMER);
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

bool Fcv1Ice::exactRest(const _GAMESTATE& state, const ThinkBoard&, const fMoveXY<double>& shot, Vec2& rest) const {
    SheetStones before;
    for (int i = 0; i < 16; ++i) {
        before.xy[i][0] = state.stonePos[i][0];
        before.xy[i][1] = state.stonePos[i][1];
    }
    const int32_t thrown = state.shotNumber;
    const RefereedShot played = playExact(before, thrown, state.endNumber, shot, 0);
    rest = Vec2{played.after.xy[thrown][0], played.after.xy[thrown][1]};
    Vec2 p;
    return !played.voided && stoneOnBoard(played.after.xy[thrown][0], played.after.xy[thrown][1], p);
}

int32_t Fcv1Ice::countEnd(const SheetStones& stones) const {
    const Fcv1Stones model = modelStones(*this, stones);
    const std::array<int32_t, 2> points = rules().tieScores ? scoreDc4End(model) : scoreFcv1End(model);
    return points[0] - points[1];
}

}  // namespace Kelvo
