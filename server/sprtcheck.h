// The sequential test's error rates, measured on synthetic tournaments:
// pairs drawn from known distributions of pair outcomes are fed to the test
// one by one, as a tournament feeds it, until it decides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "summary.h"

namespace Kelvo::Server {

// One outcome of a pair (A's points over both matches and their ends) and
// its probability weight.
struct PairAtom {
    int diff = 0;
    int ends = 0;
    double weight = 0;
};
using PairDistribution = std::vector<PairAtom>;

// Pairs of one-end matches of the player against itself at 200 ms per
// shot: the spread of real pairs between equal players.
PairDistribution realPairSpread();
// Each pair with ends of a summary, with weight 1.
PairDistribution distributionOf(const std::vector<PairOutcome>& pairs);
// Expected points per end: expected points over expected ends.
double meanPerEnd(const PairDistribution& d);
// `d` with its weights tilted by exp(theta * points per end of the atom) so
// that its mean per end is `mean`: the same outcomes, made likelier or less
// likely smoothly. False when no tilt reaches `mean` (it lies outside the
// atoms' points per end).
bool tiltTo(const PairDistribution& d, double mean, PairDistribution& tilted);

struct SprtCheckSettings {
    SprtSettings test;
    int trials = 2000;      // of each kind
    int maxPairs = 100000;  // a trial undecided after this many pairs ends undecided
    uint64_t seed = 1;
};

struct SprtCheck {
    double falseH1UnderH0 = 0;  // share of trials at mean h0 that accepted H1
    double falseH0UnderH1 = 0;  // share of trials at mean h1 that accepted H0
    double meanPairsH0 = 0, meanPairsH1 = 0;
    // Trials of the degenerate streams (nearly all pairs 0 with a few +-1;
    // every pair +8 per end) that decided before the minimum of pairs.
    int degenerateDecidedBeforeMin = 0;
};

// Runs the trials: `spread` tilted to mean h0 and to mean h1, and the two
// degenerate streams. False, with the cause in `why`, when the spread
// cannot be tilted to a hypothesis.
bool checkSequentialTest(const SprtCheckSettings& settings, const PairDistribution& spread, SprtCheck& check,
                         std::string& why);

// "sprt-check: false_h1_under_h0=... false_h0_under_h1=... mean_pairs_h0=...
// mean_pairs_h1=... degenerate_decided_before_min=..."
std::string sprtCheckLine(const SprtCheck& check);

}  // namespace Kelvo::Server
