#include "decision.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <future>

#include "protocol.h"
#include "search.h"

namespace Kelvo {

namespace {

// Kept from one move request to the next; only its first-end flag reaches
// the search, which rebuilds everything else from the game state.
ThinkBoard templateBoard;
SearchSettings settingsOfGo;

bool agree(const Proposal& a, const Proposal& b) {
    return a.ok && b.ok && std::fabs(a.shot.x - b.shot.x) < VOTE_TOLERANCE &&
           std::fabs(a.shot.y - b.shot.y) < VOTE_TOLERANCE && a.shot.spin == b.shot.spin;
}

// Runs one instance; an exception leaves the proposal failed.
Proposal runInstance(ThinkBoard board, const _GAMESTATE& state, bool side, const SearchSettings& settings,
                     int instance, SearchTally* tally) {
    Proposal p;
    try {
        p.value = runSearch(board, state, &p.shot, side, settings, instance, tally);
        p.ok = true;
    } catch (...) {
        p = Proposal{};
    }
    return p;
}

}  // namespace

std::vector<int> countVotes(const std::vector<Proposal>& proposals) {
    const size_t n = proposals.size();
    std::vector<int> votes(n, 0);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (agree(proposals[i], proposals[j]))
                ++votes[i];
    return votes;
}

int chooseProposal(const std::vector<Proposal>& proposals) {
    const std::vector<int> votes = countVotes(proposals);
    const int n = int(proposals.size());
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (votes[i] > votes[best])
            best = i;
    if (n > 0 && votes[best] > 0)
        return best;
    int chosen = 0;
    double top = VALUE_FLOOR;
    for (int i = 0; i < n; ++i)
        if (proposals[i].value > top) {
            top = proposals[i].value;
            chosen = i;
        }
    return chosen;
}

std::string formatAnswer(const Candidate& shot) {
    char text[1024];
    std::snprintf(text, sizeof text, "BESTSHOT %f %f %d", double(float(shot.x)), double(float(shot.y)),
                  int(shot.spin));
    return text;
}

bool isPlayableState(const _GAMESTATE& state, std::string* why) {
    char text[160];
    auto fail = [&](const char* message) {
        if (why)
            *why = message;
        return false;
    };
    if (state.shotNumber < 0 || state.shotNumber > 15)
        return fail("shot number outside 0..15");
    // Any end from 0 up: extra ends past index 9 are played while tied, and
    // their scores, which the record has no room for, do not matter then.
    if (state.endNumber < 0)
        return fail("negative end number");
    // The stones the board would take, counted as it counts them.
    int inPlay[2] = {};
    for (int i = 0; i < 16; ++i) {
        const Vec2 p = toBoardFrame(state.stonePos[i][0], state.stonePos[i][1]);
        if (isInPlayArea(p.x, p.y))
            ++inPlay[i % 2];
    }
    for (int colour = BLACK; colour <= WHITE; ++colour) {
        const int thrown = stonesThrown(colour, state.shotNumber);
        if (inPlay[colour] > thrown) {
            std::snprintf(text, sizeof text, "%d %s stones in play after %d thrown", inPlay[colour],
                          colourName(colour), thrown);
            return fail(text);
        }
    }
    return true;
}

bool firstEndHammerAfterGo(bool kept, const _GAMESTATE& state) {
    if (state.endNumber != 0)
        return kept;
    if (state.shotNumber == 0)
        return false;
    if (state.shotNumber == 1)
        return true;
    return kept;
}

namespace {

// The candidates' share of a pooled search in the form of one instance's tally.
SearchTally candidateTally(const PoolSearch& pool, int32_t count) {
    SearchTally t;
    t.count = count;
    t.bestIndex = pool.best >= 0 ? pool.shots[pool.best].candidate : -1;
    t.bestValue = pool.bestValue;
    t.playouts = pool.playouts;
    t.elapsedMs = pool.elapsedMs;
    for (const PoolShot& s : pool.shots) {
        t.visitsMade += s.executions;
        if (s.candidate < 0)
            continue;
        t.visits[s.candidate] = uint32_t(s.playouts);
        t.executions[s.candidate] = s.executions;
        t.mean[s.candidate] = s.mean;
    }
    return t;
}

// All instances on one pool of shots: one proposal, no vote.
InstanceRun runPooled(const ThinkBoard& kept, const _GAMESTATE& state, const SearchSettings& settings) {
    InstanceRun run;
    run.proposals.resize(1);
    run.tallies.resize(1);
    try {
        const bool side = state.shotNumber % 2 == 1;
        ThinkBoard board = kept;
        StrategyPair strategies;
        Candidate candidates[MAX_CANDIDATES] = {};
        const int32_t count = prepareRoot(board, state, side, strategies, candidates);
        run.pool = searchPool(board, candidates, count, side, strategies, settings, state);
        run.tallies[0] = candidateTally(run.pool, count);
        if (run.pool.best >= 0) {
            const Candidate& best = run.pool.shots[run.pool.best].shot;
            run.proposals[0] = Proposal{Candidate{best.x, -best.y, best.spin}, run.pool.bestValue, true};
        }
    } catch (...) {
        run.proposals[0] = Proposal{};
    }
    return run;
}

}  // namespace

InstanceRun runInstances(const ThinkBoard& kept, const _GAMESTATE& state, const SearchSettings& settings) {
    if (settings.allocation == Allocation::HALVING)
        return runPooled(kept, state, settings);
    const bool side = state.shotNumber % 2 == 1;
    const int instances = std::max(settings.instances, 1);
    InstanceRun run;
    run.proposals.resize(instances);
    run.tallies.resize(instances);
    std::vector<std::future<Proposal>> tasks(instances - 1);
    for (int i = 0; i < instances - 1; ++i) {
        try {
            tasks[i] = std::async(std::launch::async, runInstance, kept, state, side, std::cref(settings), i,
                                  &run.tallies[i]);
        } catch (...) {
            // No thread for this instance: its slot stays failed.
        }
    }
    const int last = instances - 1;
    run.proposals[last] = runInstance(kept, state, side, settings, last, &run.tallies[last]);
    for (int i = 0; i < instances - 1; ++i) {
        if (!tasks[i].valid())
            continue;
        try {
            run.proposals[i] = tasks[i].get();
        } catch (...) {
            run.proposals[i] = Proposal{};
        }
    }
    run.chosen = chooseProposal(run.proposals);
    return run;
}

std::string decide(const _GAMESTATE& state, const SearchSettings& settings) {
    std::string why;
    if (!isPlayableState(state, &why)) {
        std::fprintf(stderr, "kelvo: GO ignored: %s\n", why.c_str());
        std::fflush(stderr);
        return std::string();
    }
    templateBoard.firstEndHammer = firstEndHammerAfterGo(templateBoard.firstEndHammer, state);
    const InstanceRun run = runInstances(templateBoard, state, settings);
    return formatAnswer(run.proposals[run.chosen].shot);
}

void setPlayerSettings(const SearchSettings& settings) { settingsOfGo = settings; }

const SearchSettings& playerSettings() { return settingsOfGo; }

void decideMove() {
    const std::string answer = decide(gameState, settingsOfGo);
    if (!answer.empty())
        writeOut(answer.c_str());
}

}  // namespace Kelvo
