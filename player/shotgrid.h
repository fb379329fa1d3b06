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

std::vector<double> gridSpeeds(const GridSpec& spec);
double headingStep(const GridSpec& spec);
// Every shot of the grid: both spins, every speed, every heading.
std::vector<Candidate> gridShots(const GridSpec& spec);
// The grid the widened search adds at this turn: LAST_STONE_GRID before the
// last stone, where a visit is one simulation, COARSE_GRID otherwise.
const GridSpec& widenedGrid(int32_t turn);

// The widened search's grids, each built the first time a search asks for
// it and kept: their owner (the engine) holds them for every move.
class ShotGrids {
public:
    const std::vector<Candidate>& forTurn(int32_t turn) const;

private:
    mutable std::once_flag coarseOnce_, lastStoneOnce_;
    mutable std::vector<Candidate> coarse_, lastStone_;
};

}  // namespace Kelvo
