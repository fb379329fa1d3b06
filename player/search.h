// The search of a move: what it starts from (the root, prepared in one
// place), its one entry, which runs the allocation the settings choose, and
// the one shape of its result, which both allocations fill.
//   sweep.h    each instance visits the candidates in turn; the instances vote
//   halving.h  all instances work on one pool of shots by sequential halving
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "candidates.h"
#include "kelvosim/gamestate.h"
#include "kelvosim/board/thinkboard.h"
#include "playout.h"
#include "settings.h"
#include "shotgrid.h"
#include "strategy.h"

namespace Kelvo {

using SearchClock = std::chrono::steady_clock;

// What a move's search starts from.
struct SearchRoot {
    ThinkBoard board;          // the position, with the kept first-end flag and the simulation context
    Colour mover = BLACK;      // the colour the searching side throws
    StrategyPair strategies;
    PositionKey key;           // end and shot, from which seeded generators derive
    int32_t count = 0;         // the candidate list: aims and their launch velocities
    Aim aims[MAX_CANDIDATES];
    Candidate candidates[MAX_CANDIDATES];
    // The widened search's grids, built once by their owner; without them the
    // search builds the grid it needs.
    const ShotGrids* grids = nullptr;
    // When the move request began: the pooled search's budget counts from here.
    SearchClock::time_point started = SearchClock::now();
};

// The root of a move request on this game state: the board rebuilt from the
// state, keeping `kept`'s first-end flag and simulation context; the side
// from the shot number; both sides' strategies, published to `publish`; the
// candidates of the searching side's strategy.
SearchRoot prepareRoot(const _GAMESTATE& state, const ThinkBoard& kept, const StrategyOutlet& publish = {});

// How a shot came into the search: from the candidate list, the widened
// search's grid, or a refinement near the leaders.
enum class ShotKind : int32_t { CANDIDATE, GRID, REFINED };
const char* shotKindName(ShotKind kind);

// The running tally of one shot's visits.
struct ShotStats {
    uint32_t executions = 0;  // visits: noisy executions, each followed by its playouts
    uint64_t playouts = 0;
    double mean = 0;

    // Folds one visit of n playouts with value sum.
    void fold(double sum, uint32_t n) {
        const double before = double(playouts);
        mean = (before * mean + sum) / (before + n);
        playouts += n;
        ++executions;
    }
};

// One shot the search looked at.
struct SearchedShot {
    ShotKind kind = ShotKind::CANDIDATE;
    int32_t candidate = -1;    // CANDIDATE: its index in the candidate list
    Aim aim;                   // CANDIDATE: how its set aimed it
    Candidate launch;          // board frame, forward positive
    ShotStats stats;           // over every instance
    int32_t droppedIn = -1;    // halving: the round after which it was dropped; -1 while it survived
};

// One search instance as it ended: the sweep runs the settings' instances and
// they vote; the pooled search is one instance over the pool.
struct InstanceLine {
    bool ok = false;           // false: the instance failed; nothing else holds
    int32_t best = -1;         // its pick, an index into SearchResult::shots; -1: nothing visited
    double value = NO_VALUE;   // the value it reported for its pick
    Candidate proposal;        // its pick in the server's orientation (y negated)
    uint64_t playouts = 0;
    uint64_t visits = 0;
    int64_t elapsedMs = 0;
    int votes = 0;
    std::vector<ShotStats> shots;  // its own figures, one per SearchResult::shots entry
};

struct SearchResult {
    Allocation allocation = Allocation::SWEEP;
    StrategyPair strategies;
    int32_t candidates = 0;    // shots[0 .. candidates) are the candidate list, in order
    std::vector<SearchedShot> shots;
    std::vector<InstanceLine> instances;
    int32_t chosen = 0;        // the instance whose pick is the answer
    int32_t answerShot = -1;   // the answer's index into shots; -1: the default below
    Candidate answer;          // server orientation, as BESTSHOT writes it
    int32_t rounds = 0;        // halving: rounds played
    double setupMs = 0;        // from the move request's start to the first visit
    std::string note;          // when the answer is the default: why
};

// Searches the root with the allocation, budget and instances of the settings.
SearchResult search(const SearchRoot& root, const SearchSettings& settings);

// The answer of a search that visited nothing: a draw to the tee, the shot a
// candidate set falls back on, in the server's orientation.
Candidate defaultAnswer(const SearchRoot& root);

}  // namespace Kelvo
