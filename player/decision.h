// The move decision: four search instances, their vote and the answer.
#pragma once

#include <cstddef>
#include <string>

#include "candidates.h"
#include "kelvosim/gamestate.h"

namespace Kelvo {

constexpr int SEARCH_INSTANCES = 4;
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

// The slot to answer with: the earliest slot with the most votes if it has
// any, otherwise the earliest with the strictly highest value above
// VALUE_FLOOR, otherwise slot 0.
int chooseProposal(const Proposal (&proposals)[SEARCH_INSTANCES]);

// "BESTSHOT %f %f %d" with x and y passed through single precision.
std::string formatAnswer(const Candidate& shot);

// Whether the record can form a board: shot 0..15, end 0..9 and no colour
// with more stones in play than it can have thrown. Otherwise why says what
// is wrong.
bool isPlayableState(const _GAMESTATE& state, std::string* why = nullptr);

// Updates the kept first-end flag, runs the instances with the given budget
// and returns the answer; an unplayable state gives an empty string and a
// line on standard error. decideMove runs it with the full budget and writes
// the answer.
std::string decide(const _GAMESTATE& state, int budgetMs);

}  // namespace Kelvo
