// Digital Curling 4's rules on the fcv1 motion: a rule set (an IceRules
// value) and the exact shot a referee plays by it. Unlike Digital Curling 3,
// the back line is checked once the stones stop, there is no near back
// board, the hog line takes off only a thrown stone that touched nothing,
// the spin's magnitude is the thrower's, and an exact tie at the tee scores.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/ice.h"

namespace Kelvo {

// The spin a thrower may choose, in magnitude, rad/s.
constexpr float DC4_MIN_SPIN = FCV1_PI / 6;
constexpr float DC4_MAX_SPIN = FCV1_PI / 2;
// A stone counts for the score when its centre is within this of the tee.
constexpr float DC4_COUNT_R = FCV1_HOUSE_R + FCV1_STONE_R;
// Once the stones stop, a stone whose centre is past this is wholly past the back line.
constexpr float DC4_PAST_BACK_Y = FCV1_BACK_LINE_Y + FCV1_STONE_R;

// The free-guard-zone variants of the standard game; mixed doubles has the third.
enum class Dc4Guard : int32_t { FGZ, NO_TICK, MODIFIED_FGZ };
// "fgz_rule", "no_tick_rule", "modified_fgz_rule"; false for anything else.
bool parseDc4Guard(const std::string& name, Dc4Guard& guard);
const char* dc4GuardName(Dc4Guard guard);

// The rule set as a value, in the shape every ice's rules take.
IceRules dc4Rules(Dc4Guard guard);

// A shot as the referee plays it: the stones by team and slot (team 0's
// slots 0..7, then team 1's), the thrower's stone going into its slot
// shot / 2, launched from the hack with the velocity and the spin as
// executed (+ counter-clockwise, |spin| from DC4_MIN_SPIN to DC4_MAX_SPIN).
struct Dc4ShotInput {
    Fcv1Stones stones;
    int32_t shot = 0;     // 0..15 within the end
    int32_t thrower = 0;  // team 0 or 1
    float vx = 0, vy = 0;
    float spin = DC4_MAX_SPIN;
};

// The spin the referee launches with for the thrower's requested one: the
// magnitude clamped to the allowed range, 0 taken as the smallest, and the
// sign flipped (a positive request curls toward +x).
float dc4ExecutedSpin(double requested);

// Stones the free guard zone protects during this shot, as a mask over the
// sixteen-stone layout; 0 after the zone's shots.
uint32_t dc4ProtectedStones(const Fcv1Stones& before, int32_t shot, int32_t thrower, const IceRules& rules);

// Plays the shot in the simulator's world with the rules applied (any rule
// set: the fcv1 ice plays its own by this too). The world is the simulation
// frame of end `frameEnd`: the stand-in referee keeps end 0's for every
// shot, Digital Curling 3 turns it round on odd ends.
Fcv1ShotResult playDc4Shot(Fcv1Simulator& simulator, const Dc4ShotInput& input, const IceRules& rules,
                           Fcv1Trace* trace = nullptr, int32_t frameEnd = 0);

// Points of a finished end, [team 0, team 1]: the stones listed team 0
// slot 0, team 1 slot 0, team 0 slot 1, ... and sorted by distance keeping
// that order on ties; the nearest scores if within DC4_COUNT_R, with every
// next one of its team up to the other team's first.
std::array<int32_t, 2> scoreDc4End(const Fcv1Stones& stones);

}  // namespace Kelvo
