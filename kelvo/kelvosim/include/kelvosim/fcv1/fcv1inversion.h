// Shot inversion on the fcv1 tables: a target in the board frame (origin at
// the tee, +Y toward the back line) to the launch velocity of a lone stone
// from the hack. A lone stone's path is the tables' curve turned onto its
// launch heading, so the speed fixes where along the path a point lies and
// the heading only turns the path about the hack.
#pragma once

#include "kelvosim/fcv1/fcv1model.h"
#include "kelvosim/fcv1/fcv1tables.h"

namespace Kelvo {

// Where a lone stone from the hack comes to rest, or passes a point.
// Launch speeds are capped at FCV1_MAX_SPEED.

// The draw that comes to rest at (x, y).
Fcv1Move fcv1DrawTo(const Fcv1Tables& tables, double x, double y, bool ccw);
// The shot through (x, y) with the weight of a draw `extra` metres beyond
// it along the line from the hack.
Fcv1Move fcv1PassThrough(const Fcv1Tables& tables, double x, double y, double extra, bool ccw);
// The shot launched at `speed` whose path runs through (x, y); a speed too
// low to get there aims as a draw to the point.
Fcv1Move fcv1HitAt(const Fcv1Tables& tables, double x, double y, double speed, bool ccw);

// The launch speed of a lone stone that comes to rest `distance` metres
// from the hack in a straight line.
double fcv1DrawSpeed(const Fcv1Tables& tables, double distance);

}  // namespace Kelvo
