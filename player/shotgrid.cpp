#include "shotgrid.h"

#include <cmath>

#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/board/simcontext.h"

namespace Kelvo {

Candidate shotAt(double speed, double heading, int32_t spin) {
    return Candidate{speed * std::sin(heading), speed * std::cos(heading), spin};
}

double speedOf(const Candidate& shot) { return std::hypot(shot.x, shot.y); }

double headingOf(const Candidate& shot) { return std::atan2(shot.x, shot.y); }

std::vector<double> gridSpeeds(const GridSpec& spec, const SimContext* sim) {
    const Ice& ice = sim != nullptr ? *sim->ice : sheetOf(DEFAULT_ICE);
    std::vector<double> speeds;
    for (double reach = spec.reachLow; reach <= spec.reachHigh + 1e-9; reach += spec.reachStep)
        speeds.push_back(ice.drawSpeed(reach));
    const double low = speeds.back(), high = ice.maxLaunchSpeed();
    for (int i = 1; i <= spec.hitSpeeds; ++i)
        speeds.push_back(low + (high - low) * i / spec.hitSpeeds);
    return speeds;
}

double headingStep(const GridSpec& spec) { return 2 * spec.headingMax / (spec.headings - 1); }

std::vector<Candidate> gridShots(const GridSpec& spec, const SimContext* sim) {
    const std::vector<double> speeds = gridSpeeds(spec, sim);
    std::vector<Candidate> shots;
    for (int32_t spin = 0; spin <= 1; ++spin)
        for (double speed : speeds)
            for (int h = 0; h < spec.headings; ++h)
                shots.push_back(shotAt(speed, -spec.headingMax + h * headingStep(spec), spin));
    // Where the thrower chooses the spin, the draws again with the smallest:
    // it runs out before the stone stops, which curls a draw less. A hit
    // keeps its spin past the house whichever it starts with.
    const float least = sim != nullptr ? float(sim->ice->rules().minSpinRate) : 0.0f;
    if (least > 0) {
        const size_t draws = speeds.size() - size_t(spec.hitSpeeds);
        for (int32_t spin = 0; spin <= 1; ++spin)
            for (size_t k = 0; k < draws; ++k)
                for (int h = 0; h < spec.headings; ++h) {
                    Candidate shot = shotAt(speeds[k], -spec.headingMax + h * headingStep(spec), spin);
                    shot.spinRate = least;
                    shots.push_back(shot);
                }
    }
    return shots;
}

const GridSpec& widenedGrid(int32_t turn) { return turn == 1 ? LAST_STONE_GRID : COARSE_GRID; }

const std::vector<Candidate>& ShotGrids::forTurn(int32_t turn) const {
    if (turn == 1) {
        std::call_once(lastStoneOnce_, [this] { lastStone_ = gridShots(LAST_STONE_GRID, sim_); });
        return lastStone_;
    }
    std::call_once(coarseOnce_, [this] { coarse_ = gridShots(COARSE_GRID, sim_); });
    return coarse_;
}

}  // namespace Kelvo
