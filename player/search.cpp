#include "search.h"

#include <algorithm>
#include <chrono>

#include "protocol.h"

namespace Kelvo {

void foldVisit(SearchTally& tally, int32_t i, double sum, uint32_t n) {
    const double visits = tally.visits[i];
    tally.mean[i] = (visits * tally.mean[i] + sum) / (visits + n);
    tally.visits[i] += n;
    ++tally.executions[i];
    tally.playouts += n;
    ++tally.visitsMade;
    // The best is the visited candidate with the highest mean as it stands
    // now, so a candidate whose early visits were lucky loses the lead once
    // its mean falls below another's.
    int32_t best = -1;
    for (int32_t j = 0; j < MAX_CANDIDATES; ++j)
        if (tally.visits[j] > 0 && (best < 0 || tally.mean[j] > tally.mean[best]))
            best = j;
    tally.bestIndex = best;
    tally.bestValue = tally.mean[best];
}

double searchCandidates(const ThinkBoard& root, const Candidate* candidates, int32_t count, bool side,
                        const StrategyPair& strategies, SearchRandom& random, Candidate* out,
                        const SearchSettings& settings, SearchTally* tallyOut) {
    SearchTally local;
    SearchTally& tally = tallyOut ? *tallyOut : local;
    tally = SearchTally{};
    *out = Candidate{};
    if (count <= 0)
        return NO_VALUE;
    count = std::min(count, MAX_CANDIDATES);
    tally.count = count;

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    const uint64_t limit = settings.playoutLimit.value_or(UINT64_MAX);
    const uint32_t perVisit = uint32_t(settings.playoutsPerVisit);
    const VisitCachePtr cache = makeVisitCache();
    for (int32_t i = 0;; i = (i + 1) % count) {
        startVisit(*cache, executeCandidate(root, candidates[i], random.root), side, strategies);

        double sum = 0;
        uint32_t n = 0;
        int64_t elapsed = 0;
        do {
            sum += playoutFromVisit(*cache, *random.playouts);
            ++n;
            elapsed = elapsedMs();
        } while (elapsed <= settings.budgetMs && n < perVisit && tally.playouts + n < limit);
        foldVisit(tally, i, sum, n);
        tally.elapsedMs = elapsed;
        if (elapsed > settings.budgetMs || tally.playouts >= limit)
            break;
    }
    const Candidate& best = candidates[tally.bestIndex];
    *out = Candidate{best.x, -best.y, best.spin};
    return tally.bestValue;
}

int32_t prepareRoot(ThinkBoard& board, const _GAMESTATE& state, bool side, StrategyPair& strategies,
                    Candidate* candidates) {
    buildFromGameState(board, state);
    // Every instance of a move request derives the same pair from the same
    // position; the process-wide copies are atomics, and the search itself
    // reads only its own pair.
    strategies = selectStrategies(board, side);
    ownStrategy.store(strategies.own);
    oppStrategy.store(strategies.opp);
    return generateCandidates(board, candidates, strategies.own);
}

double runSearch(ThinkBoard& board, const _GAMESTATE& state, Candidate* out, bool side,
                 const SearchSettings& settings, int instance, SearchTally* tally) {
    SearchRandom random = makeSearchRandom(settings.seed, instance, state);
    StrategyPair strategies;
    Candidate candidates[MAX_CANDIDATES] = {};
    const int32_t count = prepareRoot(board, state, side, strategies, candidates);
    return searchCandidates(board, candidates, count, side, strategies, random, out, settings, tally);
}

}  // namespace Kelvo
