// The search's settings: how long and how widely one GO searches, and where
// its random numbers come from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Kelvo {

constexpr int SEARCH_TIME_MS = 5000;
constexpr int SEARCH_INSTANCES = 4;
constexpr int PLAYOUTS_PER_VISIT = 1000;
// Playouts per noisy execution of the strong preset; see the README for how
// it was measured.
constexpr int STRONG_PLAYOUTS_PER_VISIT = 8;

// How an instance spends its budget. SWEEP: each instance visits its
// candidates in turn and the instances vote. HALVING: all instances work on
// one pool of shots by sequential halving: each round spends an equal share
// of the remaining time evenly over the surviving shots and keeps the better
// half by mean; one answer, no vote.
enum class Allocation { SWEEP, HALVING };

// The defaults are the player's own fixed values: a default record searches
// exactly as the player without options does.
struct SearchSettings {
    int budgetMs = SEARCH_TIME_MS;  // wall time of each instance
    int instances = SEARCH_INSTANCES;  // instances of one GO, voting on the answer
    int playoutsPerVisit = PLAYOUTS_PER_VISIT;  // playouts after each noisy execution
    // Playouts of one instance; the search ends at the limit or the budget,
    // whichever comes first. None: the budget alone ends it.
    std::optional<uint64_t> playoutLimit;
    // None: generators seeded from the clock and the random device. With a
    // seed, every generator of a GO derives from it, the instance and the
    // position's end and shot, so a search that ends at its playout limit
    // answers the same every time.
    std::optional<uint64_t> seed;
    Allocation allocation = Allocation::SWEEP;
    // HALVING only: within a round, the k-th visit of every shot is executed
    // with the same noise draw and its playouts use the same streams, so
    // close shots are compared on the same luck.
    bool commonNoise = false;
    // HALVING only: besides the candidates, a coarse grid of launch speeds,
    // headings and both spins, and after the first rounds shots near the
    // leaders.
    bool widen = false;
};

// The named combinations of settings. "strong" is the best combination
// measured on the search benchmarks; its figures are in the README.
// Returns false for an unknown name. Only the fields a preset sets change.
bool applyPreset(const std::string& name, SearchSettings& settings);

}  // namespace Kelvo
