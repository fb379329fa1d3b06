// The move decision: the search instances of a GO, their vote and the answer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "candidates.h"
#include "kelvosim/gamestate.h"
#include "sampler.h"
#include "search.h"
#include "settings.h"

namespace Kelvo {

// Two proposals agree when both components differ by less than this.
constexpr double VOTE_TOLERANCE = double(0.05f);
// A value at or below this never wins the choice by value.
constexpr double VALUE_FLOOR = -99.0;
// The value of an instance that failed.
constexpr double FAILED_VALUE = -999.0;

// What one search instance proposed. A failed instance (ok false) neither
// gains nor gives votes.
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

// "BESTSHOT %f %f %d" with x and y passed through single precision.
std::string formatAnswer(const Candidate& shot);

// Whether the record can form a board: shot 0..15, end 0 or later and no colour
// with more stones in play than it can have thrown. Otherwise why says what
// is wrong.
bool isPlayableState(const _GAMESTATE& state, std::string* why = nullptr);

// The first-end flag kept across move requests after a GO on this state: a
// GO of end 0 sets it for shot 0 (cleared) and shot 1 (set), others keep it.
bool firstEndHammerAfterGo(bool kept, const _GAMESTATE& state);

// What the instances of one GO proposed and how each searched, and the
// slot the vote chose. A pooled search (halving) makes one proposal; its
// tally holds the candidates' figures (bestIndex -1 when the answer is a
// shot of the widened search) and `pool` every shot's.
struct InstanceRun {
    std::vector<Proposal> proposals;
    std::vector<SearchTally> tallies;
    int chosen = 0;
    PoolSearch pool;
};

// Runs the settings' instances on a playable state as a GO does: all but the
// last as tasks, the last on the calling thread, each on a copy of `kept`
// (whose first-end flag reaches the search), then the vote.
InstanceRun runInstances(const ThinkBoard& kept, const _GAMESTATE& state, const SearchSettings& settings);

// Updates the kept first-end flag, runs the instances with the settings and
// returns the answer; an unplayable state gives an empty string and a line
// on standard error.
std::string decide(const _GAMESTATE& state, const SearchSettings& settings);

// The settings every GO of this process searches with: the player's own
// unless its command line changed them before the command loop started.
void setPlayerSettings(const SearchSettings& settings);
const SearchSettings& playerSettings();

}  // namespace Kelvo
