#include "timing.h"

#include <algorithm>

#include "messages.h"

namespace Kelvo::Dc3 {

namespace {

// A team throws every other shot: its k-th stone of the end (from 0) at shot 2k or 2k + 1.
int stoneOfShot(int shot) { return shot / 2; }

double stoneWeight(int stone, const TimePlan& plan) {
    if (stone == STONES_PER_TEAM - 1)
        return plan.lastStoneWeight;
    if (stone == STONES_PER_TEAM - 2)
        return plan.seventhStoneWeight;
    return 1.0;
}

}  // namespace

int stonesLeftOnClock(const ClockState& c) {
    const int thisEnd = STONES_PER_TEAM - stoneOfShot(std::clamp(c.shot, 0, SHOTS_PER_END - 1));
    const int laterEnds = c.end < c.maxEnd ? c.maxEnd - 1 - c.end : 0;
    return thisEnd + STONES_PER_TEAM * laterEnds;
}

double shotBudget(const ClockState& c, const TimePlan& plan) {
    const int stone = stoneOfShot(std::clamp(c.shot, 0, SHOTS_PER_END - 1));
    const int laterEnds = c.end < c.maxEnd ? c.maxEnd - 1 - c.end : 0;
    double endWeight = 0;
    for (int k = 0; k < STONES_PER_TEAM; ++k)
        endWeight += stoneWeight(k, plan);
    double weightLeft = laterEnds * endWeight;
    for (int k = stone; k < STONES_PER_TEAM; ++k)
        weightLeft += stoneWeight(k, plan);

    const double reserve = std::max(plan.minReserve, plan.reserveShare * c.clockStart);
    const double spare = c.remaining - reserve - plan.overheadPerShot * stonesLeftOnClock(c);
    if (!(spare > 0))
        return 0;
    return spare * stoneWeight(stone, plan) / weightLeft;
}

}  // namespace Kelvo::Dc3
