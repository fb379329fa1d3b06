// The motion model of a sliding stone and the three tables integrated from
// it once at start-up, backwards in time from rest.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <thread>
#include <utility>

#include <sys/mman.h>

#include "kelvosim/classic/motiontables.h"

namespace Kelvo {

namespace {

// std::hypot's value, inline. The builders take millions of dependent
// steps, each waiting on two of these, and the library call is the longest
// link of that chain. This is the C library's own algorithm for the common
// range (a square root, then a correction of its rounding), with the
// correction's division by 2h replaced by a product with 0.5/h; the tests
// hash the tables to check that the result is still the library's on every
// state the builders visit. Anything outside the common range goes to the
// library.
inline double modelHypot(double x, double y) {
    double ax = std::fabs(x), ay = std::fabs(y);
    if (ax < ay)
        std::swap(ax, ay);
    if (!(ax <= 0x1p511 && ay >= 0x1p-459 && ay > ax * 0x1p-54))
        return std::hypot(x, y);
    const double h = std::sqrt(ax * ax + ay * ay);
    double t1, t2;
    if (h <= 2.0 * ay) {
        const double d = h - ay;
        t1 = ax * (2.0 * d - ax);
        t2 = (d - 2.0 * (ax - ay)) * d;
    } else {
        const double d = h - ax;
        t1 = 2.0 * d * (ax - 2.0 * ay);
        t2 = (4.0 * d - ay) * ay + d * d;
    }
    return h - (t1 + t2) * (0.5 / h);
}

}  // namespace

// The bodies of the step functions below, inline in the builders' loops.
namespace {

inline Velocity forwardFriction(double h, double vx, double vy, double w) {
    const double s = modelHypot(vx, vy);
    if (!(s > h))
        return Velocity{0.0, 0.0, 0.0};
    const double ux = vx / s, uy = vy / s;
    Velocity out{vx - h * ux, vy - h * uy, w};
    if (w != 0) {
        const double c = h * CURL_RATIO;
        if (w > 0) {
            out.vx += c * uy;
            out.vy -= c * ux;
        } else {
            out.vx -= c * uy;
            out.vy += c * ux;
        }
    }
    return out;
}

inline Velocity backFriction(double h, double vx, double vy, double w, double s) {
    if (vx == 0 && vy == 0)
        return Velocity{0.0, h / 20000.0, CURL_RATIO};
    const double ux = vx / s, uy = vy / s;
    Velocity out{vx + h * ux, vy + h * uy, w};
    if (w != 0) {
        const double c = h * CURL_RATIO;
        if (w > 0) {
            out.vx -= c * uy;
            out.vy += c * ux;
        } else {
            out.vx += c * uy;
            out.vy -= c * ux;
        }
    }
    return out;
}

inline void forwardStep(MotionState& st, double dt) {
    const double h = dt * DECEL * 0.5;
    const Velocity half = forwardFriction(h, st.vx, st.vy, st.spin);
    st.x += half.vx * dt;
    st.y += half.vy * dt;
    const Velocity end = forwardFriction(h, half.vx, half.vy, half.spin);
    st.vx = end.vx;
    st.vy = end.vy;
    st.spin = end.spin;
}

inline void backStep(MotionState& st, double dt, double speed) {
    const double h = dt * DECEL * 0.5;
    const Velocity half = backFriction(h, st.vx, st.vy, st.spin, speed);
    st.x -= half.vx * dt;
    st.y -= half.vy * dt;
    const Velocity end = backFriction(h, half.vx, half.vy, half.spin, modelHypot(half.vx, half.vy));
    st.vx = end.vx;
    st.vy = end.vy;
    st.spin = end.spin;
}

}  // namespace

Velocity frictionForward(double h, double vx, double vy, double w) { return forwardFriction(h, vx, vy, w); }

Velocity frictionBack(double h, double vx, double vy, double w) {
    return backFriction(h, vx, vy, w, modelHypot(vx, vy));
}

void stepForward(MotionState& st, double dt) { forwardStep(st, dt); }

namespace {

// The interpolation fraction between a state past the target and the state
// one forward step later; outside [0, 1] the model is broken.
double cellFraction(double target, double g, double h) {
    if (g == h)
        return 0.5;
    const double f = (target - h) / (g - h);
    if (!(0.0 <= f && f <= 1.0)) {
        std::fprintf(stderr, "%g->%g(%g)\n", h, g, target);
        std::fflush(stderr);
        KELVO_CHECK(false, "0");
    }
    return f;
}

double speedOf(const MotionState& st) { return modelHypot(st.vx, st.vy); }
double distanceOf(const MotionState& st) { return modelHypot(st.x, st.y); }

}  // namespace

void buildDistanceBySpeed(MotionTables& tables) {
    MotionState st;
    const double dt = V_STEP / DECEL * 0.00390625;
    for (int k = 0; k < DISTANCE_TABLE_SIZE; ++k) {
        tables.distanceBySpeed[k] = distanceOf(st);
        for (int i = 0; i < 256; ++i)
            backStep(st, dt, modelHypot(st.vx, st.vy));
    }
}

namespace {

// The state one forward step after st, and where between the two a measure
// of the state (its distance or its speed) crosses the target.
struct Crossing {
    MotionState next;
    double fraction;
};

template <class Measure>
Crossing crossing(const MotionState& st, double target, Measure measure) {
    MotionState next = st;
    forwardStep(next, TABLE_DT);
    return Crossing{next, cellFraction(target, measure(st), measure(next))};
}

// Row k of speedByDistance from the first state at or past its distance.
void fillSpeedRow(double* speedByDistance, int k, const MotionState& st) {
    const Crossing c = crossing(st, k * D_STEP, distanceOf);
    speedByDistance[k] = c.fraction * speedOf(st) + (1 - c.fraction) * speedOf(c.next);
}

// Row k of pathBySpeed from the first state at or past its speed, t after rest.
void fillPathRow(PathEntry* pathBySpeed, int k, const MotionState& st, double t) {
    const Crossing c = crossing(st, k * W_STEP, speedOf);
    const MotionState& next = c.next;
    const double m = c.fraction;
    PathEntry& e = pathBySpeed[k];
    e.dx = -((1 - m) * next.x + m * st.x);
    e.dy = -((1 - m) * next.y + m * st.y);
    e.dAngle = -((1 - m) * std::atan2(next.vx, next.vy) + m * std::atan2(st.vx, st.vy));
    e.time = (1 - m) * (t - TABLE_DT) + m * t;
}

}  // namespace

void buildSpeedAndPath(MotionTables& tables) {
    // Both tables read one backward integration at TABLE_DT, one at marks of
    // distance and one at marks of speed; each row comes from the first
    // state that reaches its mark. One pass serves both, and the speed it
    // computes for the marks is the one the step needs.
    MotionState st;
    double t = 0;
    tables.pathBySpeed[0] = PathEntry{};
    int kd = 0, kp = 1;
    for (;;) {
        if (kd < DISTANCE_TABLE_SIZE) {
            const double distance = distanceOf(st);
            for (; kd < DISTANCE_TABLE_SIZE && !(distance < kd * D_STEP); ++kd)
                fillSpeedRow(tables.speedByDistance, kd, st);
        }
        const double speed = speedOf(st);
        for (; kp < PATH_TABLE_SIZE && !(speed < kp * W_STEP); ++kp)
            fillPathRow(tables.pathBySpeed, kp, st, t);
        if (kd == DISTANCE_TABLE_SIZE && kp == PATH_TABLE_SIZE)
            return;
        backStep(st, TABLE_DT, speed);
        t += TABLE_DT;
    }
}

std::shared_ptr<const MotionTables> buildMotionTables() {
    // Not cleared: the builders write every row once. Huge pages are asked
    // for before the first write places the table in memory.
    std::unique_ptr<MotionTables> tables(new MotionTables);
    madvise(tables->pathBySpeed, sizeof tables->pathBySpeed, MADV_HUGEPAGE);
    std::thread distance(buildDistanceBySpeed, std::ref(*tables));
    buildSpeedAndPath(*tables);
    distance.join();
    return std::shared_ptr<const MotionTables>(std::move(tables));
}

}  // namespace Kelvo
