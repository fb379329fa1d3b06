// The fast simulator, the one the search plays its shots with, and what it
// rests on; the rest of the system includes this header. One header per
// concern, each built on those before it:
//   tunables.h      the library's numbers, each with where it comes from
//   motiontables.h  the motion model of a sliding stone and the tables
//                   integrated from it once at start-up
//   simcontext.h    what a board's fast simulation reads besides the board:
//                   the tables and an optional meter of hand-overs
//   inversion.h     shot inversion: a target point to a launch velocity, by
//                   reading the tables backwards
//   fastboard.h     the fast board after a shot's first contact (awake and
//                   asleep stones and the check of their sets) and the
//                   sliding and collision rules
//   handover.h      the hand-over of a fast board to the exact simulation
//   fastshot.h      the fast shot simulation: clear path, two stones, and
//                   the general case with its event loop
//   shot.h          the dispatch of a thrown shot to the simulation that fits
#pragma once

#include "kelvosim/classic/tunables.h"
#include "kelvosim/classic/motiontables.h"
#include "kelvosim/board/simcontext.h"
#include "kelvosim/classic/inversion.h"
#include "kelvosim/classic/fastboard.h"
#include "kelvosim/classic/handover.h"
#include "kelvosim/classic/fastshot.h"
#include "kelvosim/board/shot.h"
