// The hand-over from the fast simulation to the exact one: a fast board whose
// event loop runs too long is turned into a physics world, run to rest at the
// exact simulation's step and written back.
#pragma once

#include "kelvosim/classic/fastboard.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo {

// Runs the fast board to rest in the exact simulator at step dt, awake stones
// keeping their protection, and writes the outcome into out. CHANGE_NONE when
// a protected stone left the play area (the shot is void: out holds the
// stones where the run stopped, without that one), otherwise CHANGE_REBUILT.
ShotChange simulateExact(const FSBoard& fs, ThinkBoard& out, double dt);

// The exact simulator finishes the shot of a fast board at EXACT_DT; the
// board changes only when the shot stands. Counts itself on the meter of the
// board's simulation context, if it has one.
ShotChange handOver(ThinkBoard& board, const FSBoard& fs);

}  // namespace Kelvo
