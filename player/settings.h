// The search's settings: how long and how widely one GO searches, and where
// its random numbers come from.
#pragma once

#include <cstdint>
#include <optional>

namespace Kelvo {

constexpr int SEARCH_TIME_MS = 5000;
constexpr int SEARCH_INSTANCES = 4;
constexpr int PLAYOUTS_PER_VISIT = 1000;

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
};

}  // namespace Kelvo
