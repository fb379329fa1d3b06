// Shots by launch speed and heading rather than by aim: grids that cover the
// sheet from guards to takeouts, and the neighbours of a shot.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "candidates.h"
#include "tunables.h"

namespace Kelvo {

// A shot launched at `speed` along `heading` (radians from the centre line).
Candidate shotAt(double speed, double heading, int32_t spin);
double speedOf(const Candidate& shot);
double headingOf(const Candidate& shot);

// The grid's launch speeds on the ice of `sim` (the classic one without):
// a spec's reaches count on the classic sheet, so on fcv1 they are moved by
// the difference of the distances from the throw point to the tee.
std::vector<double> gridSpeeds(const GridSpec& spec, const SimContext* sim = nullptr);
double headingStep(const GridSpec& spec);
// Every shot of the grid: both spins, every speed, every heading; on an ice
// whose thrower chooses the spin's magnitude, the draws also with the
// smallest (the others keep the ice's standard one).
std::vector<Candidate> gridShots(const GridSpec& spec, const SimContext* sim = nullptr);
// The grid the widened search adds at this turn: LAST_STONE_GRID before the
// last stone, where a visit is one simulation, COARSE_GRID otherwise.
const GridSpec& widenedGrid(int32_t turn);

// The widened search's grids, each built the first time a search asks for
// it and kept: their owner (the engine) holds them for every move.
class ShotGrids {
public:
    explicit ShotGrids(const SimContext* sim = nullptr) : sim_(sim) {}

    const std::vector<Candidate>& forTurn(int32_t turn) const;

private:
    const SimContext* sim_;
    mutable std::once_flag coarseOnce_, lastStoneOnce_;
    mutable std::vector<Candidate> coarse_, lastStone_;
};

}  // namespace Kelvo
