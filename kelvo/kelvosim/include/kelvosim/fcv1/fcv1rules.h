// The rules of the fcv1 ice: which stones leave play while they move and
// once they stop, the free guard zone (five-rock rule) and the score of an
// end. Single precision, as the framework decides them.
#pragma once

#include <array>
#include <cstdint>

#include "kelvosim/fcv1/fcv1model.h"

namespace Kelvo {

// The free guard zone covers shots 0..4 of an end.
constexpr int32_t FCV1_FREE_GUARD_SHOTS = 5;
// A stone is in the house when its centre is nearer the tee than this.
constexpr float FCV1_IN_HOUSE_R = FCV1_HOUSE_R + FCV1_STONE_R;

// While stones move: a stone whose edge touches a side line, whose rear edge
// passed the back line, or which went back behind the near back board.
bool fcv1LeavesSheet(float x, float y);
// Once all stopped: a stone not wholly past the far hog line.
bool fcv1ShortOfHog(float y);
float fcv1DistanceToTee(float x, float y);
// Outside the house and wholly in front of the tee line.
bool fcv1InFreeGuardZone(float x, float y);
bool fcv1FreeGuardShot(int32_t shot, bool fiveRockRule);
// Stones of the other team than `thrower` that the free guard zone protects
// during this shot, as a mask over the sixteen-stone layout.
uint32_t fcv1ProtectedStones(const Fcv1Stones& before, int32_t shot, int32_t thrower, bool fiveRockRule);
// Points of a finished end, [team 0, team 1]; at most one side non-zero.
std::array<int32_t, 2> scoreFcv1End(const Fcv1Stones& stones);

}  // namespace Kelvo
