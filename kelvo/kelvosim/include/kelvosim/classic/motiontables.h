// The motion model of a sliding stone and the tables integrated from it once
// at start-up: how far a stone slides from a speed, the speed that slides a
// distance, and the path from every speed to rest. The tables are one object,
// built once and read-only afterwards; the fast simulation and the shot
// inversion read it through the board's simulation context (simcontext.h).
#pragma once

#include <cmath>
#include <memory>

#include "kelvosim/primitive.h"
#include "kelvosim/classic/tunables.h"

namespace Kelvo {

// The stone as the tables are built from, and the launch state of a shot.
struct MotionState {
    double x = 0, y = 0, vx = 0, vy = 0, spin = 0;
};

// Where a stone at one speed comes to rest, in the rest frame: the frame in
// which it stops at the origin, its last motion points along +y and it curls
// in the positive sense. No initialisers: the tables' 8 MB are written row by
// row by their builder and are not cleared first.
struct PathEntry {
    double dx, dy;  // from the stone to its rest point
    double dAngle;  // heading of its velocity in the rest frame, negated
    double time;    // time left until rest
};

struct Velocity {
    double vx, vy, spin;
};

Velocity frictionForward(double h, double vx, double vy, double w);
Velocity frictionBack(double h, double vx, double vy, double w);
void stepForward(MotionState& state, double dt);

// Row of pathBySpeed for a speed: truncated toward zero and clamped to the
// table, so a speed beyond it (a stone sent off by a collision) reads the
// last row instead of memory past it.
inline int speedIndex(double speed) {
    const double k = speed / W_STEP;
    if (!(k > 0))
        return 0;
    if (k >= PATH_TABLE_SIZE - 1)
        return PATH_TABLE_SIZE - 1;
    return static_cast<int>(k);
}

inline int clampRow(int k) { return k < 0 ? 0 : k > PATH_TABLE_SIZE - 1 ? PATH_TABLE_SIZE - 1 : k; }

// The three tables. pathBySpeed comes first, on a huge page. Reads are
// inline: the simulation makes them all the time.
struct alignas(HUGE_PAGE) MotionTables {
    PathEntry pathBySpeed[PATH_TABLE_SIZE];
    double distanceBySpeed[DISTANCE_TABLE_SIZE];
    double speedByDistance[DISTANCE_TABLE_SIZE];

    // distanceBySpeed, interpolated.
    double stopDistance(double speed) const { return interpolate(distanceBySpeed, speed, V_STEP); }
    // speedByDistance, interpolated.
    double speedForDistance(double distance) const { return interpolate(speedByDistance, distance, D_STEP); }

    // The pathBySpeed row, mirrored (dx and dAngle negated) for the negative
    // curl.
    PathEntry pathEntry(int k, bool mirrored) const {
        PathEntry e = pathBySpeed[clampRow(k)];
        if (mirrored) {
            e.dx = -e.dx;
            e.dAngle = -e.dAngle;
        }
        return e;
    }

    // Asks the cache for the pathBySpeed row a slide will read, while other
    // work goes on: the table is larger than the cache, and a row that misses
    // stalls the slide.
    void prefetchRow(int k) const { __builtin_prefetch(&pathBySpeed[clampRow(k)]); }
    // The same for the row of the speed at which a stone has distance left to
    // rest, before speedForDistance gives that speed exactly.
    void prefetchRowForDistance(double distance) const {
        prefetchRow(speedIndex(std::sqrt(2 * DECEL * distance) * CURL_SPEED_FACTOR));
    }

private:
    // Indices are truncated toward zero and clamped to the last entry.
    static double interpolate(const double* table, double value, double step) {
        if (!(value > 0))
            return table[0];
        const double q = value / step;
        if (q >= DISTANCE_TABLE_SIZE - 1)
            return table[DISTANCE_TABLE_SIZE - 1];
        const int i = static_cast<int>(q);
        const double f = (value - i * step) / step;
        return table[i] * (1 - f) + table[i + 1] * f;
    }
};

void buildDistanceBySpeed(MotionTables& tables);
// speedByDistance and pathBySpeed, from one integration.
void buildSpeedAndPath(MotionTables& tables);
// A new set of tables, built on two threads; returns once both are joined.
std::shared_ptr<const MotionTables> buildMotionTables();

// A rest-frame vector (dx, dy) turned onto the board: rho is the stone's
// heading (atan2(vx, vy), from +y toward +x) plus the row's dAngle. Every
// reader of a path row turns it with this one formula; the fast simulation's
// results depend on its exact operations.
inline Vec2 rotateToBoard(double rho, double dx, double dy) {
    const double s = std::sin(rho), c = std::cos(rho);
    return Vec2{s * dy + c * dx, c * dy - s * dx};
}

}  // namespace Kelvo
