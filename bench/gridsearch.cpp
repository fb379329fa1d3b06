#include "gridsearch.h"

#include <algorithm>

#include "kelvosim/classic/fastsimulator.h"

namespace KelvoBench {

using Kelvo::Candidate;

namespace {

// A shot of the grid or near it, by its launch.
struct Launch {
    double speed, heading;
    int32_t spin;
    double speedStep;  // the spacing in speed to refine it with
};

std::vector<Candidate> shotsOf(const std::vector<Launch>& launches) {
    std::vector<Candidate> shots;
    for (const Launch& l : launches)
        shots.push_back(Kelvo::shotAt(l.speed, l.heading, l.spin));
    return shots;
}

// The k launches with the highest values, best first.
std::vector<Launch> best(const std::vector<Launch>& launches, const std::vector<double>& values, size_t k) {
    std::vector<size_t> order(launches.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    k = std::min(k, order.size());
    std::partial_sort(order.begin(), order.begin() + long(k), order.end(),
                      [&](size_t a, size_t b) { return values[a] > values[b]; });
    std::vector<Launch> top;
    for (size_t i = 0; i < k; ++i)
        top.push_back(launches[order[i]]);
    return top;
}

}  // namespace

Candidate bestGridShot(const GridRefinement& spec, const ShotValues& values) {
    const std::vector<double> speeds = Kelvo::gridSpeeds(spec.grid);
    const double headingStep = Kelvo::headingStep(spec.grid);
    std::vector<Launch> coarse;
    for (int32_t spin = 0; spin <= 1; ++spin)
        for (size_t v = 0; v < speeds.size(); ++v) {
            const double local = (speeds[std::min(v + 1, speeds.size() - 1)] - speeds[v > 0 ? v - 1 : 0]) / 2;
            for (int h = 0; h < spec.grid.headings; ++h)
                coarse.push_back(Launch{speeds[v], -spec.grid.headingMax + h * headingStep, spin,
                                        spec.speedStep > 0 ? spec.speedStep : local});
        }
    const std::vector<Launch> cells = best(coarse, values(shotsOf(coarse), spec.coarseDraws), size_t(spec.refinedCells));

    std::vector<Launch> refined;
    for (const Launch& cell : cells)
        for (int i = -spec.refineHalf; i <= spec.refineHalf; ++i)
            for (int j = -spec.refineHalf; j <= spec.refineHalf; ++j)
                refined.push_back(Launch{std::min(cell.speed + i * cell.speedStep / 3, Kelvo::V_MAX),
                                         cell.heading + j * headingStep / 3, cell.spin, cell.speedStep});
    const std::vector<Launch> finalists =
        best(refined, values(shotsOf(refined), spec.refineDraws), size_t(spec.finalists));
    const std::vector<Candidate> shots = shotsOf(finalists);
    const std::vector<double> finalValues = values(shots, spec.finalDraws);
    return shots[size_t(std::max_element(finalValues.begin(), finalValues.end()) - finalValues.begin())];
}

}  // namespace KelvoBench
