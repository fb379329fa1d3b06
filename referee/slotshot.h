// A shot as the framework stand-ins play it on exact fcv1: the stones by
// team and slot (team 0's slots 0..7, then team 1's), the thrower's stone
// going into slot shot / 2. Each stand-in plays by its own rule set and
// keeps its own world; both go through this one interface, so the rule set
// or the simulation behind a stand-in changes in one place.
#pragma once

#include <cstdint>

#include "kelvosim/fcv1/fcv1exact.h"

namespace Kelvo::Referee {

struct SlotShot {
    Fcv1Stones before;     // the slot of the stone being thrown is empty
    int32_t shot = 0;      // 0..15 within the end
    int32_t end = 0;
    int32_t thrower = 0;   // team 0 or 1
    int32_t hammer = 1;    // team with the last stone of the end
    Fcv1Move move;         // as executed: the thrower's noise included
};

// The exact simulation a stand-in referees with: the stones after the shot
// by its rules, and the trace of the moving stones when asked for.
class SlotJudge {
public:
    virtual ~SlotJudge() = default;
    virtual Fcv1ShotResult play(const SlotShot& shot, Fcv1Trace* trace) = 0;
};

}  // namespace Kelvo::Referee
