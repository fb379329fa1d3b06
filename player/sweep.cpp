#include "sweep.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

namespace Kelvo {

void foldVisit(SweepTally& tally, int32_t i, double sum, uint32_t n) {
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

double searchCandidates(const ThinkBoard& root, const Candidate* candidates, int32_t count, Colour mover,
                        const StrategyPair& strategies, SearchRandom& random, Candidate* out,
                        const SearchSettings& settings, SweepTally* tallyOut) {
    SweepTally local;
    SweepTally& tally = tallyOut ? *tallyOut : local;
    tally = SweepTally{};
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
        startVisit(*cache, executeCandidate(root, candidates[i], random.root), mover, strategies);

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
    *out = toProtocolShot(simOf(root), best);
    return tally.bestValue;
}

double runSearch(const SearchRoot& root, Candidate* out, const SearchSettings& settings, int instance,
                 SweepTally* tally) {
    SearchRandom random = makeSearchRandom(settings.seed, instance, root.key);
    return searchCandidates(root.board, root.candidates, root.count, root.mover, root.strategies, random, out,
                            settings, tally);
}

namespace {

bool agree(const Proposal& a, const Proposal& b) {
    return a.ok && b.ok && std::fabs(a.shot.x - b.shot.x) < VOTE_TOLERANCE &&
           std::fabs(a.shot.y - b.shot.y) < VOTE_TOLERANCE && a.shot.spin == b.shot.spin;
}

// One instance; an exception leaves it failed.
SweepInstance runInstance(const SearchRoot* root, const SearchSettings* settings, int instance) {
    SweepInstance run;
    try {
        run.proposal.value = runSearch(*root, &run.proposal.shot, *settings, instance, &run.tally);
        run.proposal.ok = true;
    } catch (...) {
        run = SweepInstance{};
    }
    return run;
}

// The instances' figures in the result's shape: the candidates as its shots,
// each instance's tally as its line; the vote picks the answer.
SearchResult resultOf(const SearchRoot& root, const std::vector<SweepInstance>& runs) {
    std::vector<Proposal> proposals;
    for (const SweepInstance& run : runs)
        proposals.push_back(run.proposal);
    SearchResult result;
    result.allocation = Allocation::SWEEP;
    result.strategies = root.strategies;
    result.candidates = root.count;
    result.chosen = chooseProposal(proposals);
    for (int32_t i = 0; i < root.count; ++i) {
        SearchedShot shot;
        shot.candidate = i;
        shot.aim = root.aims[i];
        shot.launch = root.candidates[i];
        result.shots.push_back(shot);
    }
    const std::vector<int> votes = countVotes(proposals);
    std::vector<double> sums(root.count, 0.0);
    for (size_t k = 0; k < runs.size(); ++k) {
        const SweepInstance& run = runs[k];
        InstanceLine line;
        line.ok = run.proposal.ok;
        line.value = run.proposal.value;
        line.votes = votes[k];
        if (line.ok && run.tally.count > 0) {
            line.best = run.tally.bestIndex;
            line.proposal = run.proposal.shot;
            line.playouts = run.tally.playouts;
            line.visits = run.tally.visitsMade;
            line.elapsedMs = run.tally.elapsedMs;
        }
        line.shots.resize(root.count);
        for (int32_t i = 0; i < run.tally.count && i < root.count; ++i) {
            ShotStats& s = line.shots[i];
            s.executions = run.tally.executions[i];
            s.playouts = run.tally.visits[i];
            s.mean = run.tally.mean[i];
            ShotStats& total = result.shots[i].stats;
            total.executions += s.executions;
            total.playouts += s.playouts;
            sums[i] += s.mean * double(s.playouts);
        }
        result.instances.push_back(std::move(line));
    }
    for (int32_t i = 0; i < root.count; ++i) {
        ShotStats& total = result.shots[i].stats;
        total.mean = total.playouts > 0 ? sums[i] / double(total.playouts) : 0.0;
    }
    const InstanceLine& pick = result.instances[result.chosen];
    if (pick.ok && pick.best >= 0) {
        result.answerShot = pick.best;
        result.answer = pick.proposal;
    } else {
        result.answer = defaultAnswer(root);
        result.note = "every instance failed: the answer is a draw to the tee";
    }
    return result;
}

}  // namespace

std::vector<int> countVotes(const std::vector<Proposal>& proposals) {
    const size_t n = proposals.size();
    std::vector<int> votes(n, 0);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (agree(proposals[i], proposals[j]))
                ++votes[i];
    return votes;
}

int chooseProposal(const std::vector<Proposal>& proposals) {
    const std::vector<int> votes = countVotes(proposals);
    const int n = int(proposals.size());
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (votes[i] > votes[best])
            best = i;
    if (n > 0 && votes[best] > 0)
        return best;
    int chosen = 0;
    double top = VALUE_FLOOR;
    for (int i = 0; i < n; ++i)
        if (proposals[i].value > top) {
            top = proposals[i].value;
            chosen = i;
        }
    return chosen;
}

SearchResult sweep(const SearchRoot& root, const SearchSettings& settings) {
    const double setupMs =
        std::chrono::duration<double, std::milli>(SearchClock::now() - root.started).count();
    const int instances = std::max(settings.instances, 1);
    std::vector<SweepInstance> runs(instances);
    std::vector<std::future<SweepInstance>> tasks(instances - 1);
    for (int i = 0; i < instances - 1; ++i) {
        try {
            tasks[i] = std::async(std::launch::async, runInstance, &root, &settings, i);
        } catch (...) {
            // No thread for this instance: it stays failed.
        }
    }
    const int last = instances - 1;
    runs[last] = runInstance(&root, &settings, last);
    for (int i = 0; i < instances - 1; ++i) {
        if (!tasks[i].valid())
            continue;
        try {
            runs[i] = tasks[i].get();
        } catch (...) {
            runs[i] = SweepInstance{};
        }
    }
    SearchResult result = resultOf(root, runs);
    result.setupMs = setupMs;
    return result;
}

}  // namespace Kelvo
