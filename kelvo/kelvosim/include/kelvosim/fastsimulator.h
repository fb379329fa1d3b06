// The fast simulator: motion tables built once at start-up, the inversion
// from a target point to a launch velocity, the fast board with its awake and
// asleep stone sets, the sliding and collision rules, the event loop and the
// three shot entry points.
#pragma once

#include <cmath>
#include <cstdint>

#include "kelvosim/bitSet.h"
#include "kelvosim/primitive.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

// ---------------------------------------------------------------------------
// Motion model and tables

constexpr double DECEL = 12.00921630859375;
constexpr double CURL_RATIO = double(0.066696f);  // 0.06669600307941437
extern const double V_MAX;                         // hypot(3.1, 33.6)
extern const double V_STEP;                        // V_MAX / 2^14, step of distanceBySpeed
extern const double W_STEP;                        // (V_MAX + 2) / 2^18, step of pathBySpeed
constexpr double D_STEP = 49.0 / 16384.0;          // step of speedByDistance
constexpr double TABLE_DT = 1.0 / 700000.0;        // time step of the fine builders

constexpr int DISTANCE_TABLE_SIZE = 16388;
constexpr int PATH_TABLE_SIZE = 262148;

// The stone as the tables are built from, and the launch state of a shot.
struct MotionState {
    double x = 0, y = 0, vx = 0, vy = 0, spin = 0;
};

// Where a stone at one speed comes to rest, in the rest frame: the frame in
// which it stops at the origin, its last motion points along +y and it curls
// in the positive sense.
struct PathEntry {
    double dx = 0, dy = 0;  // from the stone to its rest point
    double dAngle = 0;      // heading of its velocity in the rest frame, negated
    double time = 0;        // time left until rest
};

extern double distanceBySpeed[DISTANCE_TABLE_SIZE];
extern double speedByDistance[DISTANCE_TABLE_SIZE];
extern PathEntry pathBySpeed[PATH_TABLE_SIZE];

struct Velocity {
    double vx, vy, spin;
};

Velocity frictionForward(double h, double vx, double vy, double w);
Velocity frictionBack(double h, double vx, double vy, double w);
void stepForward(MotionState& state, double dt);

void buildDistanceBySpeed();
// speedByDistance and pathBySpeed, from one integration.
void buildSpeedAndPath();
// Builds the tables on two threads and joins them.
void buildMotionTables();

// Table reads, inline: the simulation makes them all the time. Indices are
// truncated toward zero and clamped to the last entry, so a speed beyond a
// table (a stone sent off by a collision) reads its last entry instead of
// memory past it.

// Row of pathBySpeed.
inline int speedIndex(double speed) {
    const double k = speed / W_STEP;
    if (!(k > 0))
        return 0;
    if (k >= PATH_TABLE_SIZE - 1)
        return PATH_TABLE_SIZE - 1;
    return static_cast<int>(k);
}

inline double interpolateTable(const double* table, double value, double step) {
    if (!(value > 0))
        return table[0];
    const double q = value / step;
    if (q >= DISTANCE_TABLE_SIZE - 1)
        return table[DISTANCE_TABLE_SIZE - 1];
    const int i = static_cast<int>(q);
    const double f = (value - i * step) / step;
    return table[i] * (1 - f) + table[i + 1] * f;
}

// distanceBySpeed, interpolated.
inline double stopDistance(double speed) { return interpolateTable(distanceBySpeed, speed, V_STEP); }
// speedByDistance, interpolated.
inline double speedForDistance(double distance) { return interpolateTable(speedByDistance, distance, D_STEP); }

inline int clampRow(int k) { return k < 0 ? 0 : k > PATH_TABLE_SIZE - 1 ? PATH_TABLE_SIZE - 1 : k; }

// Asks the cache for the pathBySpeed row a slide will read, while other work
// goes on: the table is larger than the cache, and a row that misses stalls
// the slide.
inline void prefetchRow(int k) { __builtin_prefetch(&pathBySpeed[clampRow(k)]); }

// The same for the row of the speed at which a stone has distance left to
// rest, before speedForDistance gives that speed exactly: along the curled
// path the speed is sqrt(2 DECEL distance) times a constant 1.000278 (to a
// fraction of a row), so the row is fetched while the table is read.
inline void prefetchRowForDistance(double distance) {
    prefetchRow(speedIndex(std::sqrt(2 * DECEL * distance) * 1.000278));
}

// The pathBySpeed row, mirrored (dx and dAngle negated) for the negative curl.
inline PathEntry pathEntry(int k, bool mirrored) {
    PathEntry e = pathBySpeed[clampRow(k)];
    if (mirrored) {
        e.dx = -e.dx;
        e.dAngle = -e.dAngle;
    }
    return e;
}

// ---------------------------------------------------------------------------
// Shot inversion: a target point in the board frame to a launch velocity.
// Each reads rec.spin (already set) and writes rec.x and rec.y.

void drawTo(Vec2 target, fMoveXY<double>& rec);
void passThrough(Vec2 target, double extra, fMoveXY<double>& rec);
void hitAt(Vec2 target, double speed, fMoveXY<double>& rec);
// The rest-frame vector from the launch position to the point of the path of
// speed s whose straight-line distance from the launch is b.
Vec2 chordPoint(double s, double b, int flag);

// ---------------------------------------------------------------------------
// Fast board

struct StoneMotion {
    double x = 0, y = 0;
    double angle = 0;  // heading of the velocity, atan2(vx, vy)
    double time = 0;   // sliding time since the shot started
    double speed = 0;
    double spin = 0;   // only its sign selects the curl
};

struct FSStone {
    StoneMotion motion;
    bitSet asleeps;        // asleep stones it may still reach
    bitSet awakes;         // awake stones it may still meet
    double stopDist = 0;
    double stopTime = 0;
    int32_t state = 0;
    bool still = false;    // has rested where the board had it since the shot began
    fStonePos origin;      // that place, with its polar form, while still
};

struct FSBoard {
    FSStone stones[16];    // 0 the thrown stone, 1 the first stone struck, then the rest
    bitSet awakes;
    int32_t nAwake = 0;
    bitSet asleeps;
    int32_t nAsleep = 0;
    int32_t turnColour = 0;

    void setupAfterFirstHit(const ThinkBoard& board, int32_t struckIndex, const StoneMotion& thrown,
                            const StoneMotion& struck);
    bool exam() const;
    // Hands the board to the exact simulator, awake stones keeping their
    // protection, and writes the outcome into out. Returns 0 when a protected
    // stone left the play area (the shot is void: out holds the stones where
    // the run stopped, without that one), otherwise 2.
    int simulateExact(ThinkBoard& out, double dt) const;
};

// ---------------------------------------------------------------------------
// Sliding and collision rules

constexpr double TWO_STONE_R = double(0.29f);          // 0.28999999165534973
constexpr double CONTACT_GAP = 0.0006;
constexpr double CONTACT_D = 0.2905999916553497;       // TWO_STONE_R + CONTACT_GAP
constexpr double CHORD_ANGLE = 0.03333565;
constexpr double RECEDE_EPS = 1e-5;
constexpr double COLLIDE_FRICTION = 0.159;

constexpr int MAX_EVENTS = 100;
// The step of the exact simulation when the fast event loop hands over to it.
constexpr double EXACT_DT = double(0.01f);             // 0.009999999776482582
// The step at which the exact simulation has converged, for judging shots.
// At EXACT_DT a hit moves a stone 0.1 to 0.17 m per step and contacts are
// found only once the discs overlap. Halving the step over the fidelity
// suite of bench/fidelity.cpp (kelvo-fidelity --halving) first moves rest
// positions by a p95 under 0.03 m, with no outcome changed on draws, guards,
// takeouts and raises, from EXACT_DT / 64 to EXACT_DT / 128 (p95 0.021 m;
// from EXACT_DT / 32 it is still 0.046 m). Much finer steps gain nothing:
// the single-precision positions of the physics world start to drift draws
// by millimetres.
constexpr double REFERENCE_DT = EXACT_DT / 64;         // 0.00015624999650754035

inline bool isInPlay(const StoneMotion& s) { return isInPlayArea(s.x, s.y); }

void slideToRest(int k, StoneMotion& stone);
void slideBetween(int k1, int k2, StoneMotion& stone);
void collideResting(StoneMotion& mover, StoneMotion& resting);
void collideMoving(StoneMotion& a, StoneMotion& b);

// ---------------------------------------------------------------------------
// Shot simulation. Each returns the change code applyShot consumes.

// The launch of a shot from the throw point: spin +CURL_RATIO for flag 0,
// -CURL_RATIO for flag 1.
MotionState launchState(const fMoveXY<double>& shot);

int simulateFSBoard(ThinkBoard& board, FSBoard& fs);

// How often the event loop handed a shot over to the exact simulation and
// the wall time spent there, summed over all threads since the start; read
// by the benchmarks. Kept only on the hand-over itself, never per event.
struct HandOverStats {
    uint64_t count = 0;
    double seconds = 0;
};
HandOverStats handOverStats();
int simulateClearPath(ThinkBoard& board, double speed, double heading, int spinFlag);
int simulateTwoStones(ThinkBoard& board, const MotionState& launch);
int simulateGeneral(ThinkBoard& board, const MotionState& launch);
// The same from the thrown stone's motion, for a caller that already has its
// speed (clamped to V_MAX) and heading.
StoneMotion launchMotion(const fMoveXY<double>& shot, double speed, double heading);
int simulateTwoStones(ThinkBoard& board, const StoneMotion& launched);
int simulateGeneral(ThinkBoard& board, const StoneMotion& launched);

}  // namespace Kelvo
