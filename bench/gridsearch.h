// The best shot of a grid over launch speed, heading and spin, as the
// search-quality benchmarks find it: every grid shot valued on a few draws,
// a finer local grid around the best cells valued on more, then the best
// finalists on many.
#pragma once

#include <functional>
#include <vector>

#include "shotgrid.h"

namespace KelvoBench {

struct GridRefinement {
    Kelvo::GridSpec grid;
    int coarseDraws = 0;   // draws valuing each grid shot
    int refinedCells = 0;  // the best grid shots refined
    int refineHalf = 0;    // a local grid of (2 refineHalf + 1)^2 shots at a third of the spacing
    double speedStep = 0;  // the spacing in speed around a cell; 0: the grid's own at the cell
    int refineDraws = 0;   // draws valuing each refined shot
    int finalists = 0;     // the best refined shots valued again
    int finalDraws = 0;
};

// Each shot's value on the first `draws` draws of the caller's selection set.
using ShotValues = std::function<std::vector<double>(const std::vector<Kelvo::Candidate>& shots, int draws)>;

Kelvo::Candidate bestGridShot(const GridRefinement& spec, const ShotValues& values);

}  // namespace KelvoBench
