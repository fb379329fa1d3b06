#include "sprtcheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace Kelvo::Server {

namespace {

// A uniform number in [0, 1) from 53 bits, the same on every library.
double uniform(std::mt19937_64& random) { return double(random() >> 11) * 0x1.0p-53; }

double perEnd(const PairAtom& a) { return double(a.diff) / a.ends; }

// The tilted weights' mean per end; the exponent is taken from the largest
// so nothing overflows.
double tiltedMean(const PairDistribution& d, double theta, double largest, PairDistribution* out) {
    double points = 0, ends = 0;
    for (const PairAtom& a : d) {
        const double w = a.weight * std::exp(theta * (perEnd(a) - largest));
        points += w * a.diff;
        ends += w * a.ends;
        if (out)
            out->push_back({a.diff, a.ends, w});
    }
    return points / ends;
}

// One synthetic tournament: pairs drawn from `d` until the test decides.
SprtResult trial(const PairDistribution& d, const std::vector<double>& cumulative, const SprtCheckSettings& s,
                 std::mt19937_64& random) {
    PairSums sums;
    SprtResult r = startTest(s.test);
    for (int k = 1; k <= s.maxPairs && r.result == "none"; ++k) {
        const double u = uniform(random) * cumulative.back();
        const size_t at = size_t(std::upper_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin());
        const PairAtom& a = d[std::min(at, d.size() - 1)];
        takePair(sums, r, s.test, k, a.diff, a.ends);
    }
    return r;
}

struct Trials {
    int h0 = 0, h1 = 0;  // accepted
    int beforeMin = 0;   // decided before the minimum of pairs
    double pairs = 0;    // summed over the trials
};

Trials runTrials(const PairDistribution& d, const SprtCheckSettings& s, std::mt19937_64& random) {
    std::vector<double> cumulative;
    double total = 0;
    for (const PairAtom& a : d)
        cumulative.push_back(total += a.weight);
    Trials t;
    for (int i = 0; i < s.trials; ++i) {
        const SprtResult r = trial(d, cumulative, s, random);
        t.h0 += r.result == "H0";
        t.h1 += r.result == "H1";
        t.beforeMin += r.result != "none" && r.atPair < s.test.minPairs;
        t.pairs += r.atPair;
    }
    return t;
}

}  // namespace

PairDistribution realPairSpread() {
    // A's points over a pair of one-end matches (the pair's two ends) and
    // how many of the 40 pairs of scripts/tournament --pairs 40 --ends 1
    // --seed 1 --time-limit 3, both players "kelvo --budget-ms 200", had
    // them: a variance of 4.7 points^2 per pair.
    return {{-5, 2, 2}, {-4, 2, 1}, {-3, 2, 1}, {-2, 2, 4}, {-1, 2, 5},
            {0, 2, 14}, {1, 2, 2},  {2, 2, 4},  {3, 2, 6},  {4, 2, 1}};
}

PairDistribution distributionOf(const std::vector<PairOutcome>& pairs) {
    PairDistribution d;
    for (const PairOutcome& p : pairs)
        if (p.ends > 0)
            d.push_back({p.diff, p.ends, 1});
    return d;
}

double meanPerEnd(const PairDistribution& d) { return tiltedMean(d, 0, 0, nullptr); }

bool tiltTo(const PairDistribution& d, double mean, PairDistribution& tilted) {
    if (d.empty())
        return false;
    double smallest = perEnd(d[0]), largest = smallest;
    for (const PairAtom& a : d) {
        smallest = std::min(smallest, perEnd(a));
        largest = std::max(largest, perEnd(a));
    }
    if (!(mean > smallest && mean < largest))
        return false;
    // With equal ends in every pair the mean grows with theta; bisect.
    double low = -1, high = 1;
    for (int i = 0; i < 60 && tiltedMean(d, low, largest, nullptr) > mean; ++i)
        low *= 2;
    for (int i = 0; i < 60 && tiltedMean(d, high, largest, nullptr) < mean; ++i)
        high *= 2;
    for (int i = 0; i < 200; ++i) {
        const double theta = (low + high) / 2;
        (tiltedMean(d, theta, largest, nullptr) < mean ? low : high) = theta;
    }
    tilted.clear();
    return std::abs(tiltedMean(d, (low + high) / 2, largest, &tilted) - mean) < 1e-9;
}

bool checkSequentialTest(const SprtCheckSettings& s, const PairDistribution& spread, SprtCheck& check,
                         std::string& why) {
    PairDistribution underH0, underH1;
    for (const auto& [mean, tilted] : {std::make_pair(s.test.h0, &underH0), std::make_pair(s.test.h1, &underH1)})
        if (!tiltTo(spread, mean, *tilted)) {
            char text[120];
            std::snprintf(text, sizeof text, "the spread's pairs cannot be given a mean of %g points per end", mean);
            why = text;
            return false;
        }
    std::mt19937_64 random(s.seed);
    const Trials h0 = runTrials(underH0, s, random);
    const Trials h1 = runTrials(underH1, s, random);
    // Pairs that nearly all cancel, and players so far apart that every
    // pair is the same: the variance of the pairs is (almost) zero.
    const Trials ties = runTrials({{-1, 2, 1}, {0, 2, 18}, {1, 2, 1}}, s, random);
    const Trials apart = runTrials({{16, 2, 1}}, s, random);
    check.falseH1UnderH0 = double(h0.h1) / s.trials;
    check.falseH0UnderH1 = double(h1.h0) / s.trials;
    check.meanPairsH0 = h0.pairs / s.trials;
    check.meanPairsH1 = h1.pairs / s.trials;
    check.degenerateDecidedBeforeMin = ties.beforeMin + apart.beforeMin;
    return true;
}

std::string sprtCheckLine(const SprtCheck& c) {
    char line[240];
    std::snprintf(line, sizeof line,
                  "sprt-check: false_h1_under_h0=%.4f false_h0_under_h1=%.4f mean_pairs_h0=%.1f mean_pairs_h1=%.1f "
                  "degenerate_decided_before_min=%d",
                  c.falseH1UnderH0, c.falseH0UnderH1, c.meanPairsH0, c.meanPairsH1, c.degenerateDecidedBeforeMin);
    return line;
}

}  // namespace Kelvo::Server
