// Shot inversion on the fcv1 tables.
#include "kelvosim/fcv1/fcv1inversion.h"

#include <algorithm>
#include <cmath>

#include "kelvosim/fcv1/fcv1fast.h"

namespace Kelvo {

namespace {

constexpr double HALF_PI = M_PI / 2;

// A lone stone launched along +y from the origin (the hack).
Fcv1Glide launched(const Fcv1Tables& t, double speed, bool ccw) {
    return t.glide(0, 0, 0, speed, fcv1LaunchSpin(ccw));
}

double chord(const Fcv1Glide& g) { return std::hypot(g.x, g.y); }

// The target seen from the hack: its distance and its direction (math angle).
struct Sight {
    double distance, angle;
};
Sight sightOf(double x, double y) {
    const double dy = fcv1ShotY(y);
    return Sight{std::hypot(x, dy), std::atan2(dy, x)};
}

// The launch at `speed` that turns the path point `p` (reached from a launch
// along +y) onto the sight line.
Fcv1Move aim(const Sight& sight, const Fcv1Glide& p, double speed, bool ccw) {
    const double heading = HALF_PI + sight.angle - std::atan2(p.y, p.x);
    return Fcv1Move{float(speed * std::cos(heading)), float(speed * std::sin(heading)), ccw};
}

// The point of the path at straight-line distance `distance` from the hack,
// or the rest point when the stone stops short of it.
Fcv1Glide pointAt(const Fcv1Tables& t, double speed, bool ccw, double distance) {
    const Fcv1Glide start = launched(t, speed, ccw);
    Fcv1Glide rest = start;
    t.toRest(rest);
    if (chord(rest) <= distance)
        return rest;
    // The chord grows along the path, never faster than the path length:
    // going on by what the chord still lacks approaches the point from
    // before it, and the path curls so little that a few rounds reach it.
    Fcv1Glide p = start;
    for (int i = 0; i < 30; ++i) {
        const double lack = distance - chord(p);
        if (lack < 1e-7)
            break;
        const double row = t.rowOfLength(p.length + lack);
        p = start;
        t.advance(p, row - start.row);
    }
    return p;
}

}  // namespace

namespace {

// The draw speed to a distance and where a counter-clockwise launch at it
// rests, as the last round of the search leaves them (the speed before the
// launch limit).
struct Draw {
    double speed = 0;
    Fcv1Glide rest;
};

Draw drawOf(const Fcv1Tables& t, double distance) {
    // Path length to rest from speed v is the table's length left at v;
    // the chord is a little shorter. Correct the length by the chord's shortfall.
    const double total = t.at(t.lastRow()).length;
    double length = distance;
    Draw d;
    for (int i = 0; i < 8; ++i) {
        d.speed = t.at(t.rowOfLength(total - length)).speed;
        d.rest = launched(t, d.speed, true);
        t.toRest(d.rest);
        const double miss = distance - chord(d.rest);
        if (std::fabs(miss) < 1e-7)
            break;
        length += miss;
    }
    return d;
}

}  // namespace

double fcv1DrawSpeed(const Fcv1Tables& t, double distance) {
    return std::min(drawOf(t, distance).speed, double(FCV1_MAX_SPEED));
}

Fcv1Move fcv1DrawTo(const Fcv1Tables& t, double x, double y, bool ccw) {
    const Sight sight = sightOf(x, y);
    const Draw draw = drawOf(t, sight.distance);
    const double speed = std::min(draw.speed, double(FCV1_MAX_SPEED));
    Fcv1Glide rest = draw.rest;
    if (speed != draw.speed) {
        rest = launched(t, speed, ccw);
        t.toRest(rest);
    } else if (!ccw) {
        // Launched along +y, the clockwise path is the mirror image of the
        // counter-clockwise one: the same numbers with x's sign changed.
        rest.x = -rest.x;
    }
    return aim(sight, rest, speed, ccw);
}

Fcv1Move fcv1PassThrough(const Fcv1Tables& t, double x, double y, double extra, bool ccw) {
    const Sight sight = sightOf(x, y);
    const double speed = fcv1DrawSpeed(t, sight.distance + extra);
    return aim(sight, pointAt(t, speed, ccw, sight.distance), speed, ccw);
}

Fcv1Move fcv1HitAt(const Fcv1Tables& t, double x, double y, double speed, bool ccw) {
    const Sight sight = sightOf(x, y);
    const double v = std::clamp(speed, 0.0, double(FCV1_MAX_SPEED));
    return aim(sight, pointAt(t, v, ccw, sight.distance), v, ccw);
}

}  // namespace Kelvo
