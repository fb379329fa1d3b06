// The fast simulation against the reference, the exact simulation at its
// converged step, on every second shot of the fidelity suite: the search's
// view of a shot must not drift from the one that judges the game.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fidelity_suite.h"
#include "kelvosim/classic/fastsimulator.h"
#include "support.h"

using namespace Kelvo;
using namespace Kelvo::Fidelity;

namespace {

const Tally& named(const std::vector<Tally>& tallies, const std::string& name) {
    const auto at = std::find_if(tallies.begin(), tallies.end(), [&](const Tally& t) { return t.name == name; });
    EXPECT_NE(at, tallies.end()) << name;
    return at == tallies.end() ? tallies.back() : *at;
}

}  // namespace

TEST(Fidelity, FastSimulationFollowsTheReference) {
    const std::vector<Shot> suite = everyNth(buildSuite(), 2);
    const std::vector<Tally> tallies = tally(suite, runFast(suite, 0), runExact(suite, REFERENCE_DT));
    for (const Tally& t : tallies)
        std::printf("%-8s shots %3d  median %.4f m  p95 %.4f m  mismatch %.3f\n", t.name.c_str(), t.shots,
                    quantile(t.errors, 0.5), quantile(t.errors, 0.95), double(t.mismatches) / t.shots);

    // Draws on an empty sheet follow the same tables: a millimetre at most.
    EXPECT_LT(quantile(named(tallies, "draw").errors, 0.5), 0.001);
    const Tally& all = named(tallies, "all");
    EXPECT_LT(quantile(all.errors, 0.95), 0.15);
    EXPECT_LT(double(all.mismatches) / all.shots, 0.03);
}
