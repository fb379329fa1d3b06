// The sweep: each search instance visits the candidates in turn, executes
// each with noise, plays the end out from the result and keeps the candidate
// with the best mean; the instances of a move then vote.
#pragma once

#include <cstdint>
#include <vector>

#include "search.h"

namespace Kelvo {

// Per-candidate statistics of one instance.
struct SweepTally {
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
void foldVisit(SweepTally& tally, int32_t i, double sum, uint32_t n);

// Sweeps over count candidates from the root position until the settings'
// budget or playout limit is spent; writes the best candidate with y negated
// (the server's orientation) and returns its value. With no candidate it
// writes a zero shot and returns NO_VALUE.
double searchCandidates(const ThinkBoard& root, const Candidate* candidates, int32_t count, Colour mover,
                        const StrategyPair& strategies, SearchRandom& random, Candidate* out,
                        const SearchSettings& settings = {}, SweepTally* tally = nullptr);

// Search instance number `instance` of a move: its own generators, then the
// sweep over the root's candidates.
double runSearch(const SearchRoot& root, Candidate* out, const SearchSettings& settings, int instance,
                 SweepTally* tally);

// What one instance proposed. A failed instance (ok false) neither gains nor
// gives votes.
struct Proposal {
    Candidate shot;
    double value = FAILED_VALUE;
    bool ok = false;
};

// The votes of each slot: slot i gains one for every later slot j that
// agrees with it.
std::vector<int> countVotes(const std::vector<Proposal>& proposals);

// The slot to answer with: the earliest slot with the most votes if it has
// any, otherwise the earliest with the strictly highest value above
// VALUE_FLOOR, otherwise slot 0.
int chooseProposal(const std::vector<Proposal>& proposals);

// One instance's proposal and tally.
struct SweepInstance {
    Proposal proposal;
    SweepTally tally;
};

// The settings' instances on the root, all but the last as tasks, the last
// on the calling thread, then the vote.
SearchResult sweep(const SearchRoot& root, const SearchSettings& settings);

}  // namespace Kelvo
