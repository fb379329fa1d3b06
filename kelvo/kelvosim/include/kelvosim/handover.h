// The hand-over from the fast simulation to the exact one: the exact
// simulation's steps, and the hand-over of a fast board whose event loop runs
// too long (FSBoard::simulateExact and handOver, in handover.cpp) with its
// running count.
#pragma once

#include <cstdint>

#include "kelvosim/fastboard.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

// The step of the exact simulation when the fast event loop hands over to it.
constexpr double EXACT_DT = double(0.01f);             // 0.009999999776482582
// The step at which the exact simulation has converged, for judging shots.
// At EXACT_DT a hit moves a stone 0.1 to 0.17 m per step and contacts are
// found only once the discs overlap. Halving the step over the fidelity
// suite (tests/fidelity_suite.cpp, kelvo-fidelity --halving) first moves rest
// positions by a p95 under 0.03 m, with no outcome changed on draws, guards,
// takeouts and raises, from EXACT_DT / 64 to EXACT_DT / 128 (p95 0.021 m;
// from EXACT_DT / 32 it is still 0.046 m). Much finer steps gain nothing:
// the single-precision positions of the physics world start to drift draws
// by millimetres.
constexpr double REFERENCE_DT = EXACT_DT / 64;         // 0.00015624999650754035

// The exact simulator finishes the shot of a fast board at EXACT_DT; the
// board changes only when the shot stands. Returns the change code (0 for a
// void shot, otherwise 2).
int handOver(ThinkBoard& board, const FSBoard& fs);

// How often the event loop handed a shot over to the exact simulation and
// the wall time spent there, summed over all threads since the start; read
// by the benchmarks. Kept only on the hand-over itself, never per event.
struct HandOverStats {
    uint64_t count = 0;
    double seconds = 0;
};
HandOverStats handOverStats();

}  // namespace Kelvo
