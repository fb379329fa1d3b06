// The motion model of a sliding stone and the tables integrated from it once
// at start-up: how far a stone slides from a speed, the speed that slides a
// distance, and the path from every speed to rest. The fast simulation and
// the shot inversion only ever read these tables.
#pragma once

#include <cmath>

#include "kelvosim/primitive.h"

namespace Kelvo {

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

// A rest-frame vector (dx, dy) turned onto the board: rho is the stone's
// heading (atan2(vx, vy), from +y toward +x) plus the row's dAngle. Every
// reader of a path row turns it with this one formula; the fast simulation's
// results depend on its exact operations.
inline Vec2 rotateToBoard(double rho, double dx, double dy) {
    const double s = std::sin(rho), c = std::cos(rho);
    return Vec2{s * dy + c * dx, c * dy - s * dx};
}

}  // namespace Kelvo
