// The rules of the fcv1 ice: which stones leave play while they move and
// once they stop, the free guard zone (five-rock rule) and the score of an
// end. Single precision, as the framework decides them.
#pragma once

#include <array>
#include <cstdint>

#include "kelvosim/fcv1/fcv1model.h"
#include "kelvosim/icerules.h"

namespace Kelvo {

// The free guard zone covers shots 0..4 of an end.
constexpr int32_t FCV1_FREE_GUARD_SHOTS = 5;
// A stone is in the house when its centre is nearer the tee than this.
constexpr float FCV1_IN_HOUSE_R = FCV1_HOUSE_R + FCV1_STONE_R;

// Digital Curling 3's rules: the sides, the back line and the near back board
// while the stones move, the hog line once they stop, the free guard zone
// over shots 0 to 4.
IceRules dc3Rules();

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

// The same rules for any rule set an ice holds.

// Which stones come off while they move: the side lines always; the back
// line and the near back board as the rules say.
struct Fcv1MovingRemoval {
    bool backLine = true;
    bool nearBackBoard = true;
};
Fcv1MovingRemoval fcv1MovingRemoval(const IceRules& rules);
bool fcv1LeavesWhileMoving(float x, float y, const Fcv1MovingRemoval& removal);
// Once all stopped: whether a stone comes off (a side line, wholly past the
// back line, or short of the hog line as the rules say). `untouchedThrown`:
// the stone is the thrown one and touched no other.
bool fcv1OffAtRest(const IceRules& rules, float x, float y, bool untouchedThrown);
// Whether a stone before the shot lies in the rules' free guard zone.
bool fcv1InGuardZone(const IceRules& rules, float x, float y);
// Whether a stone the zone protects, at x before the shot, is still as the
// rules want it after: in play, and on the centre line if it was under no tick.
bool fcv1GuardKept(const IceRules& rules, float xBefore, bool presentAfter, float xAfter);

}  // namespace Kelvo
