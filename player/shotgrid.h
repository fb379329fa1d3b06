// Shots by launch speed and heading rather than by aim: grids that cover the
// sheet from guards to takeouts, and the neighbours of a shot.
#pragma once

#include <vector>

#include "candidates.h"

namespace Kelvo {

// A shot launched at `speed` along `heading` (radians from the centre line).
Candidate shotAt(double speed, double heading, int32_t spin);
double speedOf(const Candidate& shot);
double headingOf(const Candidate& shot);

// How fine a grid is. Draw weights are spaced evenly in reach (where a few
// centimetres matter), takeout weights evenly in speed.
struct GridSpec {
    double reachLow = 0;     // reach of the slowest draw, metres from the throw point
    double reachHigh = 0;    // reach of the heaviest draw
    double reachStep = 0;
    int hitSpeeds = 0;       // speeds from the heaviest draw up to V_MAX
    double headingMax = 0;   // radians either side of the centre line
    int headings = 0;
};

// Guards, draws, taps and hits that end in or near the house, coarse enough
// to search in a GO.
const GridSpec& coarseGrid();
// Finer, for the last stone, where a visit is one simulation.
const GridSpec& lastStoneGrid();

std::vector<double> gridSpeeds(const GridSpec& spec);
double headingStep(const GridSpec& spec);
// Every shot of the grid: both spins, every speed, every heading.
std::vector<Candidate> gridShots(const GridSpec& spec);

}  // namespace Kelvo
