// The sampling search: one instance sweeps over its candidates, executes
// each with noise, plays the end out from the result and keeps the
// candidate with the best mean.
#pragma once

#include <cstdint>

#include "candidates.h"
#include "kelvosim/gamestate.h"
#include "kelvosim/noise.h"
#include "kelvosim/shot.h"
#include "kelvosim/thinkboard.h"
#include "playout.h"
#include "settings.h"
#include "strategy.h"

namespace Kelvo {

// The value a search reports before any candidate was visited.
constexpr double NO_VALUE = -999.0;

// Per-candidate statistics of one search.
struct SearchTally {
    uint32_t visits[MAX_CANDIDATES] = {};      // playouts folded into each candidate
    uint32_t executions[MAX_CANDIDATES] = {};  // visits of each candidate: noisy executions
    double mean[MAX_CANDIDATES] = {};
    double bestValue = NO_VALUE;
    int32_t bestIndex = 0;
    uint64_t playouts = 0;
    uint64_t visitsMade = 0;  // executions of a candidate, each followed by its playouts
    int32_t count = 0;        // candidates searched
    int64_t elapsedMs = 0;
};

// Folds n playouts with value sum into candidate i. The best is then the
// visited candidate with the highest mean (the earliest index on a tie).
void foldVisit(SearchTally& tally, int32_t i, double sum, uint32_t n);

// Sweeps over count candidates from the root position until the settings'
// budget or playout limit is spent; writes the best candidate with y negated
// (the server's orientation) and returns its value. With no candidate it
// writes a zero shot and returns NO_VALUE.
double searchCandidates(const ThinkBoard& root, const Candidate* candidates, int32_t count, bool side,
                        const StrategyPair& strategies, SearchRandom& random, Candidate* out,
                        const SearchSettings& settings = {}, SearchTally* tally = nullptr);

// What every search of a GO starts from: the board rebuilt from the game
// state (keeping its firstEndHammer flag), the strategies of both sides
// (also stored process-wide) and the candidates; returns their count.
int32_t prepareRoot(ThinkBoard& board, const _GAMESTATE& state, bool side, StrategyPair& strategies,
                    Candidate* candidates);

// Search instance number `instance` of a GO: rebuilds the board from the
// game state (keeping its firstEndHammer flag), fixes the strategies,
// generates the candidates and searches them.
double runSearch(ThinkBoard& board, const _GAMESTATE& state, Candidate* out, bool side,
                 const SearchSettings& settings = {}, int instance = 0, SearchTally* tally = nullptr);

}  // namespace Kelvo
