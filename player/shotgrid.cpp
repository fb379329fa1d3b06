#include "shotgrid.h"

#include <cmath>

#include "kelvosim/fastsimulator.h"

namespace Kelvo {

Candidate shotAt(double speed, double heading, int32_t spin) {
    return Candidate{speed * std::sin(heading), speed * std::cos(heading), spin};
}

double speedOf(const Candidate& shot) { return std::hypot(shot.x, shot.y); }

double headingOf(const Candidate& shot) { return std::atan2(shot.x, shot.y); }

const GridSpec& coarseGrid() {
    // From guards 6 m short of the tee to the back of the house every 0.5 m,
    // then taps and takeouts; 0.012 rad is 0.44 m across at the tee.
    static const GridSpec spec{TEE_TO_THROW - 6.0, TEE_TO_THROW + 2.0, 0.5, 6, 0.096, 17};
    return spec;
}

const GridSpec& lastStoneGrid() {
    static const GridSpec spec{TEE_TO_THROW - 4.0, TEE_TO_THROW + 2.5, 0.1, 25, 0.1, 101};
    return spec;
}

std::vector<double> gridSpeeds(const GridSpec& spec) {
    std::vector<double> speeds;
    for (double reach = spec.reachLow; reach <= spec.reachHigh + 1e-9; reach += spec.reachStep)
        speeds.push_back(std::sqrt(2 * DECEL * reach));
    const double low = speeds.back();
    for (int i = 1; i <= spec.hitSpeeds; ++i)
        speeds.push_back(low + (V_MAX - low) * i / spec.hitSpeeds);
    return speeds;
}

double headingStep(const GridSpec& spec) { return 2 * spec.headingMax / (spec.headings - 1); }

std::vector<Candidate> gridShots(const GridSpec& spec) {
    const std::vector<double> speeds = gridSpeeds(spec);
    std::vector<Candidate> shots;
    for (int32_t spin = 0; spin <= 1; ++spin)
        for (double speed : speeds)
            for (int h = 0; h < spec.headings; ++h)
                shots.push_back(shotAt(speed, -spec.headingMax + h * headingStep(spec), spin));
    return shots;
}

}  // namespace Kelvo
