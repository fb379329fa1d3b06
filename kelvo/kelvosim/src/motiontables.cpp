// The motion model of a sliding stone and the three tables integrated from
// it once at start-up, backwards in time from rest.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "kelvosim/fastsimulator.h"

namespace Kelvo {

const double V_MAX = std::hypot(3.1, 33.6);
const double V_STEP = V_MAX * (1.0 / 16384.0);
const double W_STEP = (V_MAX + 2.0) * (1.0 / 262144.0);

double distanceBySpeed[DISTANCE_TABLE_SIZE];
double speedByDistance[DISTANCE_TABLE_SIZE];
PathEntry pathBySpeed[PATH_TABLE_SIZE];

Velocity frictionForward(double h, double vx, double vy, double w) {
    const double s = std::hypot(vx, vy);
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

Velocity frictionBack(double h, double vx, double vy, double w) {
    if (vx == 0 && vy == 0)
        return Velocity{0.0, h / 20000.0, CURL_RATIO};
    const double s = std::hypot(vx, vy);
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

void stepForward(MotionState& st, double dt) {
    const double h = dt * DECEL * 0.5;
    const Velocity half = frictionForward(h, st.vx, st.vy, st.spin);
    st.x += half.vx * dt;
    st.y += half.vy * dt;
    const Velocity end = frictionForward(h, half.vx, half.vy, half.spin);
    st.vx = end.vx;
    st.vy = end.vy;
    st.spin = end.spin;
}

void stepBack(MotionState& st, double dt) {
    const double h = dt * DECEL * 0.5;
    const Velocity half = frictionBack(h, st.vx, st.vy, st.spin);
    st.x -= half.vx * dt;
    st.y -= half.vy * dt;
    const Velocity end = frictionBack(h, half.vx, half.vy, half.spin);
    st.vx = end.vx;
    st.vy = end.vy;
    st.spin = end.spin;
}

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

double speedOf(const MotionState& st) { return std::hypot(st.vx, st.vy); }
double distanceOf(const MotionState& st) { return std::hypot(st.x, st.y); }

}  // namespace

void buildDistanceBySpeed() {
    MotionState st;
    const double dt = V_STEP / DECEL * 0.00390625;
    for (int k = 0; k < DISTANCE_TABLE_SIZE; ++k) {
        distanceBySpeed[k] = distanceOf(st);
        for (int i = 0; i < 256; ++i)
            stepBack(st, dt);
    }
}

void buildSpeedByDistance() {
    MotionState st;
    for (int k = 0; k < DISTANCE_TABLE_SIZE; ++k) {
        const double target = k * D_STEP;
        while (distanceOf(st) < target)
            stepBack(st, TABLE_DT);
        const double g = distanceOf(st);
        MotionState next = st;
        stepForward(next, TABLE_DT);
        const double h = distanceOf(next);
        const double f = cellFraction(target, g, h);
        speedByDistance[k] = f * speedOf(st) + (1 - f) * speedOf(next);
    }
}

void buildPathBySpeed() {
    MotionState st;
    double t = 0;
    pathBySpeed[0] = PathEntry{};
    for (int k = 1; k < PATH_TABLE_SIZE; ++k) {
        const double target = k * W_STEP;
        while (speedOf(st) < target) {
            stepBack(st, TABLE_DT);
            t += TABLE_DT;
        }
        const double g = speedOf(st);
        MotionState next = st;
        stepForward(next, TABLE_DT);
        const double h = speedOf(next);
        const double m = cellFraction(target, g, h);
        PathEntry& e = pathBySpeed[k];
        e.dx = -((1 - m) * next.x + m * st.x);
        e.dy = -((1 - m) * next.y + m * st.y);
        e.dAngle = -((1 - m) * std::atan2(next.vx, next.vy) + m * std::atan2(st.vx, st.vy));
        e.time = (1 - m) * (t - TABLE_DT) + m * t;
    }
}

void buildMotionTables() {
    std::thread distance(buildDistanceBySpeed);
    std::thread speed(buildSpeedByDistance);
    std::thread path(buildPathBySpeed);
    distance.join();
    speed.join();
    path.join();
}

int speedIndex(double speed) {
    const double k = speed / W_STEP;
    if (!(k > 0))
        return 0;
    if (k >= PATH_TABLE_SIZE - 1)
        return PATH_TABLE_SIZE - 1;
    return static_cast<int>(k);
}

namespace {

double interpolate(const double* table, double value, double step) {
    if (!(value > 0))
        return table[0];
    if (value / step >= DISTANCE_TABLE_SIZE - 1)
        return table[DISTANCE_TABLE_SIZE - 1];
    const int i = static_cast<int>(value / step);
    const double f = (value - i * step) / step;
    return table[i] * (1 - f) + table[i + 1] * f;
}

}  // namespace

double stopDistance(double speed) { return interpolate(distanceBySpeed, speed, V_STEP); }

double speedForDistance(double distance) { return interpolate(speedByDistance, distance, D_STEP); }

PathEntry pathEntry(int k, bool mirrored) {
    PathEntry e = pathBySpeed[std::clamp(k, 0, PATH_TABLE_SIZE - 1)];
    if (mirrored) {
        e.dx = -e.dx;
        e.dAngle = -e.dAngle;
    }
    return e;
}

}  // namespace Kelvo
