// The fidelity suite: a fixed set of shots on fixed boards, each simulated
// by the fast simulation (through the library's shot dispatch, as the search
// plays it) and by the exact whole-shot simulation, and the comparison of two
// simulations' outcomes. kelvo-fidelity prints its figures; the fidelity test
// holds the fast simulation to thresholds against the reference step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kelvosim/primitive.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo::Fidelity {

struct Shot {
    std::string category;
    ThinkBoard board;
    fMoveXY<double> move;
};

// The suite: 208 shots in six categories (draw, guard, takeout, crowd,
// raise, double), the same on every run.
std::vector<Shot> buildSuite();
// Every n-th shot of a suite from the first: a shorter run that still holds
// every category.
std::vector<Shot> everyNth(const std::vector<Shot>& suite, size_t n);

// One simulation of every shot of a suite: the boards after the shot and the
// mean time per shot.
struct Outcomes {
    std::vector<ThinkBoard> after;
    std::vector<double> seconds;
};
// The fast simulation; each shot is also run timingReps more times to time
// it (with none, its time is 0).
Outcomes runFast(const std::vector<Shot>& suite, int timingReps);
// The exact simulation at step dt.
Outcomes runExact(const std::vector<Shot>& suite, double dt);
// A hash of the bits of every stone an outcome leaves on the sheet.
uint64_t digest(const Outcomes& o);

// Outcome a against outcome b over a set of shots: the rest-position
// differences of the stones either simulation moved, the shots whose count
// of stones in play differs, and the time of each.
struct Tally {
    std::string name;
    std::vector<double> errors;
    int shots = 0;
    int mismatches = 0;
    double secondsA = 0;
    double secondsB = 0;
};
// One tally per category in the order they first appear, then "all".
std::vector<Tally> tally(const std::vector<Shot>& suite, const Outcomes& a, const Outcomes& b);
// The q-quantile (the median for 0.5, the largest for 1); 0 for no values.
double quantile(std::vector<double> v, double q);

}  // namespace Kelvo::Fidelity
