// The pooled search: every instance of a GO works on one pool of shots (the
// candidates and, widened, a grid and shots near the leaders) by sequential
// halving, and the pool's best mean is the answer.
#pragma once

#include <cstdint>
#include <vector>

#include "search.h"

namespace Kelvo {

struct PoolShot {
    Candidate shot;          // board frame, forward positive
    int32_t candidate = -1;  // its index in the candidate list; -1: a shot of the widened search
    uint64_t playouts = 0;
    uint32_t executions = 0;
    double mean = 0;
    int32_t droppedIn = -1;  // the round after which it was dropped; -1 while it survives
};

struct PoolSearch {
    std::vector<PoolShot> shots;
    int32_t best = -1;  // index into shots; -1 without any shot
    double bestValue = NO_VALUE;
    int32_t rounds = 0;
    uint64_t playouts = 0;
    int64_t elapsedMs = 0;
};

// Searches the candidates (and, with settings.widen, the widened shots)
// from the root position with all settings.instances threads: rounds of
// equal shares of what is left of the budget (or of instances x the playout
// limit), each spread evenly over the survivors, the better half kept.
PoolSearch searchPool(const ThinkBoard& root, const Candidate* candidates, int32_t count, bool side,
                      const StrategyPair& strategies, const SearchSettings& settings, const _GAMESTATE& state);

}  // namespace Kelvo
