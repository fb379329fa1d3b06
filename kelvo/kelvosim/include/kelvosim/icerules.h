// The rules an ice is played by, as a value: which stones leave play and
// when, the free guard zone, the count of an end and the spin a thrower may
// choose. Every simulation of an ice reads them from here.
#pragma once

#include <cstdint>

namespace Kelvo {

// When a stone short of the far hog line leaves play.
enum class HogRule : int32_t {
    NONE,              // no hog line: anywhere on the play area is in play
    STONES_AT_REST,    // once the stones stop, every stone short of it
    UNTOUCHED_THROWN,  // once the stones stop, the thrown stone if it touched none
};

// Which stones the free guard zone protects during the shots it covers.
enum class GuardRule : int32_t {
    OTHER_SIDES_GUARDS,  // the thrower's opponent's stones in the zone
    NO_TICK,             // the same, and those on the centre line must stay on it
    EVERY_STONE,         // every stone in play before the shot must stay in play
};

// The rules an ice is played by: a value. Two ices on one motion differ in
// their rules only.
struct IceRules {
    // Which stones leave play, and when.
    HogRule hog = HogRule::NONE;
    bool backLineWhileMoving = true;  // false: the back line is checked once the stones stop
    bool nearBackBoard = false;       // a stone sliding back past the near back board leaves play
    // The free guard zone: it covers shots 0 .. freeGuardShots - 1 of an end,
    // and a shot that removes a stone it protects is void (the position as
    // before, the thrown stone out).
    int32_t freeGuardShots = 0;
    GuardRule guards = GuardRule::OTHER_SIDES_GUARDS;
    // The zone lies outside countRadius in front of the tee line: true when
    // a stone must be wholly in front of it, false when its centre is.
    bool guardWhollyInFront = true;
    // Scoring: a stone counts when its centre is nearer the tee than this,
    // for the side whose stone is nearest.
    double countRadius = 0;
    // An exact tie of the two sides' nearest stones scores for the stone
    // listed first (shot order) instead of nothing.
    bool tieScores = false;
    // The smallest spin magnitude a thrower may launch with, rad/s, up to the
    // ice's standard one; 0 where every stone gets the standard spin.
    double minSpinRate = 0;
};

}  // namespace Kelvo
