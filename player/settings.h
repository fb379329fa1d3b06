// The search's settings: how long and how widely one move searches, and where
// its random numbers come from; and the named presets of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/icekind.h"
#include "tunables.h"

namespace Kelvo {

// How an instance spends its budget. SWEEP: each instance visits its
// candidates in turn and the instances vote. HALVING: all instances work on
// one pool of shots by sequential halving: each round spends an equal share
// of the remaining time evenly over the surviving shots and keeps the better
// half by mean; one answer, no vote.
enum class Allocation { SWEEP, HALVING };

// What a finished end is worth to the search. END_TABLE: the end strategies'
// table of the end's score, the strategies chosen by lead and hammer.
// WIN: the chance of winning the game after the end's score, from the table
// of the player's own end scores (winprob.h), and the strategies that table
// prefers.
enum class Objective { END_TABLE, WIN };

// The defaults are the player's own fixed values: a default record searches
// exactly as the player without options does.
struct SearchSettings {
    int budgetMs = SEARCH_TIME_MS;  // wall time of each instance
    int instances = SEARCH_INSTANCES;  // instances of one move, voting on the answer
    int playoutsPerVisit = PLAYOUTS_PER_VISIT;  // playouts after each noisy execution
    // Playouts of one instance; the search ends at the limit or the budget,
    // whichever comes first. None: the budget alone ends it.
    std::optional<uint64_t> playoutLimit;
    // None: generators seeded from the clock and the random device. With a
    // seed, every generator of a move derives from it, the instance and the
    // position's end and shot, so a search that ends at its playout limit
    // answers the same every time.
    std::optional<uint64_t> seed;
    Allocation allocation = Allocation::SWEEP;
    // HALVING only: within a round, the k-th visit of every shot is executed
    // with the same noise draw and its playouts use the same streams, so
    // close shots are compared on the same luck.
    bool commonNoise = false;
    // HALVING only: besides the candidates, a coarse grid of launch speeds,
    // headings and both spins, and after the first rounds shots near the
    // leaders.
    bool widen = false;
    // The ice the game is played on. On fcv1, positions and answers are in
    // its shot frame and the search assumes fcv1Noise for its own shots.
    IceKind ice = DEFAULT_ICE;
    Fcv1PlayerNoise fcv1Noise;
    Objective objective = Objective::END_TABLE;
    // In playouts, the chance that the opponent, when the searching side
    // holds the stone nearest the tee in the house, takes that stone out
    // instead of throwing a random candidate. 0: every stone a random
    // candidate.
    double playoutTakeout = 0;
    // Every candidate takeout offered at this many weights around the ice's
    // takeout (TAKEOUT_WEIGHT_LOW to _HIGH of it), in the playouts too.
    int takeoutWeights = 1;
};

// A named combination of settings, written as the search options that set
// it: the option parser applies them as if given, except where the command
// line gives an option itself. Arrays of characters, so that the table is
// plain read-only data.
struct Preset {
    char name[16];
    char options[96];
};

// The presets. "strong" is the best combination measured on the search
// benchmarks (their figures are in the README); its 8 playouts per visit
// were measured with kelvo-bench-midend --variance. "game" is the strong
// search playing for the game with three weights of every takeout, the best
// measured in ten-end games on the framework's clocks. "kelvo" is the line
// protocol player's own search, for a tool whose default is another.
constexpr Preset PRESETS[] = {
    {"strong", "--allocation halving --widen --playouts-per-visit 8"},
    {"game", "--allocation halving --widen --playouts-per-visit 8 --objective win --takeout-weights 3"},
    {"kelvo", "--allocation sweep --playouts-per-visit 1000"},
};

// The preset of that name, or null.
const Preset* findPreset(const std::string& name);

// The option of a setting that has no effect with the chosen allocation
// (--widen or --common-noise without halving); empty when every setting
// counts.
std::string ineffectiveSetting(const SearchSettings& settings);

}  // namespace Kelvo
