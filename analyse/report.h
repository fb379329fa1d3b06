// A search analysis: the engine's decision on a position, with the search
// behind it: every candidate's aim, statistics and unperturbed rest point,
// and the widened shots that reached the last rounds, printed as a table, as
// JSON or drawn on the house.
#pragma once

#include <string>
#include <vector>

#include "engine.h"
#include "position.h"

namespace Kelvo::Analyse {

// The widened shots shown are those still in the pool this many rounds
// before the end (and the answer): the search's finalists.
constexpr int SHOWN_ROUNDS = 3;

struct ShotRow {
    int index = 0;        // into the search's shots; a candidate's is its index in the list
    ShotKind kind = ShotKind::CANDIDATE;
    Aim aim;              // CANDIDATE only
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
    Decision decision;
    std::vector<ShotRow> rows;  // the candidates, then the widened shots shown
    int grid = 0, refined = 0;  // widened shots of each kind in the pool
    IceKind ice = DEFAULT_ICE;  // the engine's: points are in its protocol frame
};

// The name of a row's kind: for a candidate how its set aimed it ("draw" to
// a point in or near the house, "guard" in front of it, "tap", "hit"), for a
// widened shot where it came from ("grid", "refined").
const char* kindName(const ShotRow& row);

// The engine's decision on a playable position, its first-end flag set from
// the position, and the rows of the search behind it.
Analysis analyse(const AnalysedPosition& position, Engine& engine);

std::string table(const Analysis& analysis);
std::string json(const Analysis& analysis);
std::string houseSvg(const Analysis& analysis);

}  // namespace Kelvo::Analyse
