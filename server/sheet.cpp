#include "sheet.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kelvosim/fastsimulator.h"
#include "kelvosim/gamestate.h"
#include "kelvosim/simulator.h"

namespace Kelvo::Server {

namespace {

Vec2 boardPoint(const Position& position, int stone) {
    return toBoardFrame(position.xy[stone][0], position.xy[stone][1]);
}

// The same shot run again on the simulator's building blocks, keeping track
// of which body is which numbered stone. The bodies go into the world in the
// order the whole-shot simulation uses (the thrown stone, then the board's
// stones colour by colour, nearest the tee first), so the run is the same.
struct Trace {
    bool stoppedEarly = false;  // a protected stone left play: the shot is void
    bool rests[STONES] = {};
    Vec2 rest[STONES] = {};
};

Trace traceShot(const Position& before, const ThinkBoard& start, int shot, const fMoveXY<double>& thrown) {
    Trace trace;
    B2Board world;
    FSStone stone;
    stone.motion.x = 0;
    stone.motion.y = -TEE_TO_THROW;
    stone.motion.angle = std::atan2(thrown.x, thrown.y);
    stone.motion.speed = std::hypot(thrown.x, thrown.y);
    stone.motion.spin = thrown.spin == 1 ? -CURL_RATIO : CURL_RATIO;
    addMovingStone(world, stone, start.turn % 2);
    const b2Body* bodies[STONES + 1] = {world.body[0]};
    int slots[STONES + 1] = {shot};
    int n = 1;
    for (int c = 0; c < 2; ++c)
        for (int j = 0; j < start.count[c]; ++j) {
            const fStonePos& s = start.stones[c][j];
            addRestingStone(world, Vec2{s.x, s.y}, start.state[c][j]);
            int slot = -1;
            for (int i = c; i < STONES && slot < 0; i += 2) {
                const Vec2 p = boardPoint(before, i);
                if (i != shot && p.x == s.x && p.y == s.y)
                    slot = i;
            }
            bodies[n] = world.body[world.numMoving + world.numResting - 1];
            slots[n++] = slot;
        }
    simulateB2(&world, EXACT_DT);
    trace.stoppedEarly = world.numMoving > 0;
    for (int i = 0; i < world.numMoving + world.numResting; ++i)
        for (int k = 0; k < n; ++k)
            if (bodies[k] == world.body[i] && slots[k] >= 0) {
                const b2Vec2 p = world.body[i]->GetPosition();
                trace.rests[slots[k]] = true;
                trace.rest[slots[k]] = Vec2{double(p.x), double(p.y)};
            }
    return trace;
}

// Gives every stone on the board its number: for each colour the candidates
// are the numbers of that colour in play before the shot and the thrown
// stone's, each placed where the traced run left it (or, failing that, where
// it was before, the thrown stone at the throw point); pairs are taken
// closest first.
Position assignSlots(const Position& before, const ThinkBoard& board, int shot, const Trace& trace) {
    Position after;
    for (int colour = 0; colour < 2; ++colour) {
        struct Candidate {
            int slot;
            Vec2 from;
        };
        std::vector<Candidate> candidates;
        for (int i = colour; i < STONES; i += 2) {
            if (trace.rests[i])
                candidates.push_back({i, trace.rest[i]});
            else if (i == shot)
                candidates.push_back({i, Vec2{0, -TEE_TO_THROW}});
            else if (inPlay(before, i))
                candidates.push_back({i, boardPoint(before, i)});
        }
        struct Pair {
            double distance;
            int candidate;
            int stone;
        };
        std::vector<Pair> pairs;
        for (int k = 0; k < int(candidates.size()); ++k)
            for (int j = 0; j < board.count[colour]; ++j) {
                const fStonePos& s = board.stones[colour][j];
                pairs.push_back({std::hypot(s.x - candidates[k].from.x, s.y - candidates[k].from.y), k, j});
            }
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const Pair& a, const Pair& b) { return a.distance < b.distance; });
        std::vector<bool> slotTaken(candidates.size(), false), stoneTaken(size_t(board.count[colour]), false);
        for (const Pair& p : pairs) {
            if (slotTaken[size_t(p.candidate)] || stoneTaken[size_t(p.stone)])
                continue;
            slotTaken[size_t(p.candidate)] = stoneTaken[size_t(p.stone)] = true;
            const fStonePos& s = board.stones[colour][p.stone];
            const int slot = candidates[size_t(p.candidate)].slot;
            after.xy[slot][0] = float(s.x + FX_TEE);
            after.xy[slot][1] = float(FY_TEE - s.y);
        }
    }
    return after;
}

}  // namespace

bool inPlay(const Position& position, int stone) {
    const Vec2 p = boardPoint(position, stone);
    return isInPlayArea(p.x, p.y);
}

int stonesInPlay(const Position& position) {
    int n = 0;
    for (int i = 0; i < STONES; ++i)
        n += inPlay(position, i) ? 1 : 0;
    return n;
}

ThinkBoard boardFor(const Position& position, int shot) {
    _GAMESTATE state;
    state.shotNumber = shot;
    for (int i = 0; i < STONES; ++i) {
        state.stonePos[i][0] = position.xy[i][0];
        state.stonePos[i][1] = position.xy[i][1];
    }
    ThinkBoard board;
    buildFromGameState(board, state);
    return board;
}

int countEnd(const Position& position) { return boardFor(position, STONES).endScore; }

ShotOutcome playShot(const Position& before, int shot, const fMoveXY<double>& thrown) {
    const ThinkBoard start = boardFor(before, shot);
    ThinkBoard board = start;
    ShotOutcome outcome;
    outcome.change = simulateShotExact(board, thrown);
    const Trace trace = traceShot(before, start, shot, thrown);
    if (outcome.change == 0) {
        // Nothing on the sheet changed, either because the stone left play
        // alone or because the shot was void; both leave the board as it was.
        board = start;
        outcome.voided = trace.stoppedEarly;
    }
    applyShot(board, outcome.change);
    outcome.after = assignSlots(before, board, shot, trace);
    return outcome;
}

}  // namespace Kelvo::Server
