// Shot inversion: from a target point in the board frame to the launch
// velocity of a shot from the throw point, by reading the motion tables
// backwards. The aim comes from where the curling path of the launch speed
// leads in the rest frame, mirrored for the negative curl exactly as the fast
// simulation mirrors it, so both agree up to the tables' resolution.
#include "kelvosim/classic/inversion.h"

#include <algorithm>
#include <cmath>

#include "kelvosim/classic/motiontables.h"

namespace Kelvo {

namespace {

// The target as seen from the throw point.
struct Sight {
    double dist;     // straight-line distance
    double heading;  // from +y toward +x
};

Sight sightOf(Vec2 target) {
    const double dx = target.x;
    const double dy = target.y + TEE_TO_THROW;
    return Sight{std::hypot(dx, dy), std::atan2(dx, dy)};
}

// A launch at speed s whose path, in the rest frame, runs from the launch
// position along `chord` to the wanted point: turn the chord onto the sight
// line and undo the heading the path still has at launch.
void aim(const Sight& sight, Vec2 chord, const PathEntry& launchRow, double s, fMoveXY<double>& rec) {
    const double h = sight.heading - std::atan2(chord.x, chord.y) - launchRow.dAngle;
    rec.x = s * std::sin(h);
    rec.y = s * std::cos(h);
}

bool mirroredFor(int flag) { return flag != 0; }

}  // namespace

void drawTo(const MotionTables& tables, Vec2 target, fMoveXY<double>& rec) {
    const Sight sight = sightOf(target);
    const double s = tables.speedForDistance(sight.dist);
    const PathEntry launchRow = tables.pathEntry(speedIndex(s), mirroredFor(rec.spin));
    aim(sight, Vec2{launchRow.dx, launchRow.dy}, launchRow, s, rec);
}

Vec2 chordPoint(const MotionTables& tables, double s, double b, int flag) {
    const bool mirrored = mirroredFor(flag);
    const double launchSpeed = std::min(s, V_MAX);
    const int k0 = speedIndex(launchSpeed);
    const PathEntry e0 = tables.pathEntry(k0, mirrored);
    const double stop = tables.stopDistance(launchSpeed);

    double t = stop - b;
    // The stone stops short of distance b: no chord exists, so aim as a draw
    // to the point (the whole path to rest).
    if (t <= NO_CHORD_DISTANCE)
        return Vec2{e0.dx, e0.dy};

    const double tol2 = (b + CHORD_TOLERANCE) * b;
    // Rows at or above the launch row describe no motion from the launch
    // position; capping there makes the walk end on (0, 0) at the latest
    // instead of running past the launch.
    auto rowFor = [&](double distanceToRest) {
        return std::min(speedIndex(tables.speedForDistance(distanceToRest)), k0);
    };

    int k = rowFor(t);
    for (;;) {
        const PathEntry e = tables.pathEntry(k, mirrored);
        const double u = e0.dx - e.dx;
        const double v = e0.dy - e.dy;
        const double chord2 = u * u + v * v;
        if (chord2 < tol2 || k >= k0)
            return Vec2{u, v};
        // The point lies too far from the launch position: move it back
        // along the path by the excess until the row changes. (The excess
        // is about 0.0006 for any real target; the floor only keeps a target
        // at the throw point itself from stalling.)
        const double excess = std::max(std::sqrt(chord2) - b, CHORD_MIN_STEP);
        int next = k;
        while (next == k) {
            t += excess;
            next = rowFor(t);
        }
        k = next;
    }
}

void passThrough(const MotionTables& tables, Vec2 target, double extra, fMoveXY<double>& rec) {
    const Sight sight = sightOf(target);
    const double s = tables.speedForDistance(sight.dist + extra);
    const Vec2 chord = chordPoint(tables, s, sight.dist, rec.spin);
    const PathEntry launchRow = tables.pathEntry(speedIndex(std::min(s, V_MAX)), mirroredFor(rec.spin));
    aim(sight, chord, launchRow, s, rec);
}

void hitAt(const MotionTables& tables, Vec2 target, double speed, fMoveXY<double>& rec) {
    const Sight sight = sightOf(target);
    const Vec2 chord = chordPoint(tables, speed, sight.dist, rec.spin);
    // The aim is that of the clamped speed; the written speed is the given one.
    const PathEntry launchRow = tables.pathEntry(speedIndex(std::min(speed, V_MAX)), mirroredFor(rec.spin));
    aim(sight, chord, launchRow, speed, rec);
}

}  // namespace Kelvo
