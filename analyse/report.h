// A search analysis: the search instances of one GO run on a position, with
// every candidate's aim, statistics and unperturbed rest point, printed as
// a table, as JSON or drawn on the house.
#pragma once

#include <string>
#include <vector>

#include "candidates.h"
#include "decision.h"
#include "position.h"

namespace Kelvo::Analyse {

struct CandidateRow {
    int index = 0;
    Aim aim;
    Candidate shot;       // board frame, forward positive
    uint64_t visits = 0;  // executions, each followed by its playouts, over the instances
    uint64_t playouts = 0;
    double mean = 0;      // over every playout of the instances
    bool rests = false;   // the thrown stone rests in play without noise
    double restX = 0, restY = 0;  // server frame
};

struct Analysis {
    AnalysedPosition position;
    SearchSettings settings;
    StrategyPair strategies;
    std::vector<CandidateRow> rows;
    InstanceRun run;
    std::vector<int> votes;  // one per instance
    std::string answer;
};

// The shot kind of an aim: where and how the candidate set aimed it.
const char* kindName(const Aim& aim);

// Runs the instances on a playable position and gathers the rows.
Analysis analyse(const AnalysedPosition& position, const SearchSettings& settings);

std::string table(const Analysis& analysis);
std::string json(const Analysis& analysis);
std::string houseSvg(const Analysis& analysis);

}  // namespace Kelvo::Analyse
