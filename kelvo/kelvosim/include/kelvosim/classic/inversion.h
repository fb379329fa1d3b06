// Shot inversion: a target point in the board frame to the launch velocity of
// a shot from the throw point, by reading the motion tables backwards. Each
// function reads rec.spin (already set) and writes rec.x and rec.y.
#pragma once

#include "kelvosim/classic/motiontables.h"
#include "kelvosim/primitive.h"

namespace Kelvo {

// The draw that comes to rest at the target.
void drawTo(const MotionTables& tables, Vec2 target, fMoveXY<double>& rec);
// The shot through the target with the weight of a draw `extra` metres past it.
void passThrough(const MotionTables& tables, Vec2 target, double extra, fMoveXY<double>& rec);
// The shot launched at `speed`, aimed so that its path runs through the target.
void hitAt(const MotionTables& tables, Vec2 target, double speed, fMoveXY<double>& rec);
// The rest-frame vector from the launch position to the point of the path of
// speed s whose straight-line distance from the launch is b.
Vec2 chordPoint(const MotionTables& tables, double s, double b, int flag);

}  // namespace Kelvo
