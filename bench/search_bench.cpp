// Search throughput: one full-budget search instance on three fixed
// positions; then what the search sees in a GO, the four instances run
// in-process as a GO runs them, on two of the positions; then the wall time
// of one GO of the real player. Run by hand; the last line sums it up. The
// player's search options change the searches.
//
// With --signature it runs instead the decision of a GO on a fixed set of
// positions with a fixed seed and playout limit and prints a hash of the
// answers and of every candidate's executions and mean: equal signatures
// show that a change left the search's play exactly as it was.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "decision.h"
#include "kelvosim/fastsimulator.h"
#include "options.h"
#include "search.h"
#include "support.h"

using namespace Kelvo;
using KelvoTest::fnv1a;
using KelvoTest::FNV_BASIS;

namespace {

struct Position {
    const char* name;
    int shot;
    // Server-frame stones; unused slots stay at (0, 0), off the sheet.
    float stones[16][2];
};

// Tee at (2.375, 4.88); larger server y is nearer the thrower.
const Position EMPTY{"empty", 0, {}};
const Position MID{"mid", 8,
                   {{2.30f, 4.70f}, {2.55f, 5.10f},   // in the house
                    {2.40f, 7.80f}, {1.90f, 4.20f},   // a centre guard; WHITE in the house
                    {3.40f, 5.60f}, {2.20f, 8.40f},   // BLACK in the house; WHITE guard
                    {2.70f, 3.60f}, {1.20f, 7.00f}}}; // BLACK behind the tee; WHITE corner guard
const Position CROWDED{"crowded", 13,
                       {{2.30f, 4.70f}, {2.55f, 5.10f}, {2.40f, 7.80f}, {1.90f, 4.20f},
                        {3.40f, 5.60f}, {2.20f, 8.40f}, {2.70f, 3.60f}, {1.20f, 7.00f},
                        {3.10f, 4.60f}, {1.70f, 5.30f}, {2.00f, 6.10f}, {2.80f, 6.60f}}};

_GAMESTATE stateOf(const Position& p) {
    _GAMESTATE s;
    s.shotNumber = p.shot;
    s.endNumber = 2;
    s.finalEnd = 8;
    s.endScores[0] = 1;
    s.endScores[1] = -1;
    for (int i = 0; i < 16; ++i) {
        s.stonePos[i][0] = p.stones[i][0];
        s.stonePos[i][1] = p.stones[i][1];
    }
    return s;
}

SearchSettings settings;

double searchOnce(const Position& p) {
    const _GAMESTATE state = stateOf(p);
    ThinkBoard board;
    Candidate out;
    SearchTally tally;
    const HandOverStats handedBefore = handOverStats();
    const auto start = std::chrono::steady_clock::now();
    const double value = runSearch(board, state, &out, p.shot % 2 == 1, settings, 0, &tally);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perSecond = tally.playouts / seconds;
    const HandOverStats handed = handOverStats();
    const uint64_t handOvers = handed.count - handedBefore.count;
    uint32_t least = tally.count > 0 ? tally.visits[0] : 0, most = 0;
    for (int i = 0; i < tally.count; ++i) {
        least = std::min(least, tally.visits[i]);
        most = std::max(most, tally.visits[i]);
    }
    std::printf("%-8s shot %2d: %d stones, %d candidates, %llu playouts in %.3f s = %.0f playouts/s\n", p.name,
                p.shot, stonesOnSheet(board), tally.count, (unsigned long long)tally.playouts, seconds, perSecond);
    std::printf("         visits %llu (%.2f per candidate), playouts per candidate %u..%u, best %d value %.3f\n",
                (unsigned long long)tally.visitsMade,
                tally.count > 0 ? double(tally.visitsMade) / tally.count : 0.0, least, most, tally.bestIndex, value);
    std::printf("         %llu hand-overs to the exact simulation = %.2f per 1000 playouts, %.2f %% of the time\n",
                (unsigned long long)handOvers, tally.playouts ? 1000.0 * double(handOvers) / double(tally.playouts) : 0.0,
                100 * (handed.seconds - handedBefore.seconds) / seconds);
    std::fflush(stdout);
    return perSecond;
}

// The instances of one GO on the position: the mean number of visits per
// candidate over the instances, and each instance's mean and smallest.
double goVisits(const Position& p) {
    const _GAMESTATE state = stateOf(p);
    const InstanceRun run = runInstances(ThinkBoard{}, state, settings);
    double sum = 0;
    std::printf("GO visits per candidate on %s:", p.name);
    for (const SearchTally& t : run.tallies) {
        uint32_t least = t.count > 0 ? t.executions[0] : 0;
        for (int i = 0; i < t.count; ++i)
            least = std::min(least, t.executions[i]);
        const double mean = t.count > 0 ? double(t.visitsMade) / t.count : 0.0;
        std::printf("  mean %.2f least %u", mean, least);
        sum += mean;
    }
    std::printf("\n");
    std::fflush(stdout);
    return sum / double(run.tallies.size());
}

// Seconds from writing GO to the complete answer of the real player.
double timeGo(const Position& p) {
    KelvoTest::Child child = KelvoTest::spawn(KELVO_BIN);
    KelvoTest::writeAll(child.in, "NEWGAME\nISREADY\n");
    KelvoTest::readFor(child.out, 20000, 7);  // the motion tables are built
    const _GAMESTATE s = stateOf(p);
    std::string setup = "POSITION";
    char number[32];
    for (int i = 0; i < 16; ++i)
        for (int axis = 0; axis < 2; ++axis) {
            std::snprintf(number, sizeof number, " %.4f", s.stonePos[i][axis]);
            setup += number;
        }
    std::snprintf(number, sizeof number, "\nSETSTATE %d %d %d 0\n", s.shotNumber, s.endNumber, s.finalEnd);
    setup += number;
    KelvoTest::writeAll(child.in, setup);
    const auto start = std::chrono::steady_clock::now();
    KelvoTest::writeAll(child.in, "GO\n");
    const std::string answer = KelvoTest::readFor(child.out, 20000, 1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("GO on %s: \"%s\" after %.3f s\n", p.name, answer.c_str(), seconds);
    KelvoTest::finish(child);
    return seconds;
}

// Playouts per second on work that is the same in every build and run:
// each candidate executed once with fixed noise, then PLAYOUTS_PER_VISIT
// playouts from it with fixed seeds; the fastest of three passes. The
// searches above explore other boards in every run, so their rates vary by
// some 15 % between runs; this one does not. The sum of the playouts' values
// is printed with it: equal sums on two builds show that they played the
// same playouts.
struct Replay {
    double perSecond = 0;
    double sum = 0;
};

Replay replay(const Position& p) {
    ThinkBoard root;
    buildFromGameState(root, stateOf(p));
    const bool side = p.shot % 2 == 1;
    const StrategyPair strategies = selectStrategies(root, side);
    Candidate candidates[MAX_CANDIDATES];
    const int32_t count = generateCandidates(root, candidates, strategies.own);
    const VisitCachePtr cache = makeVisitCache();
    Replay best;
    for (int pass = 0; pass < 3; ++pass) {
        PlayoutRandom random(12345, 678);
        dsfmt_t noise;
        dsfmt_init_gen_rand(&noise, 99);
        Replay r;
        const auto start = std::chrono::steady_clock::now();
        for (int32_t i = 0; i < count; ++i) {
            startVisit(*cache, executeCandidate(root, candidates[i], noise), side, strategies);
            for (int k = 0; k < PLAYOUTS_PER_VISIT; ++k)
                r.sum += playoutFromVisit(*cache, random);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.perSecond = double(count) * PLAYOUTS_PER_VISIT / seconds;
        if (r.perSecond > best.perSecond)
            best = r;
    }
    std::printf("%-8s replay: %d candidates x %d playouts, %.0f playouts/s, sum of values %.6f\n", p.name, count,
                PLAYOUTS_PER_VISIT, best.perSecond, best.sum);
    std::fflush(stdout);
    return best;
}

// ---------------------------------------------------------------------------
// The search signature

// A position of the signature: the shot, the lead of the side to throw
// (the kept first-end flag is 0, so it is the sum of the scores) and the
// stones in the server frame, stone i thrown at shot i, (0, 0) off the sheet.
struct SignaturePosition {
    int shot;
    int lead;
    std::vector<std::array<float, 2>> stones;
};

// Every strategy of the selection, at shots from the first to the last.
const std::array<float, 2> MID_END[] = {{2.30f, 4.70f}, {2.55f, 5.10f}, {2.40f, 7.80f}, {1.90f, 4.20f},
                                        {3.40f, 5.60f}, {2.20f, 8.40f}, {2.70f, 3.60f}, {1.20f, 7.00f},
                                        {3.10f, 4.60f}, {1.70f, 5.30f}, {2.00f, 6.10f}, {2.80f, 6.60f},
                                        {0.00f, 0.00f}, {2.05f, 5.00f}, {2.20f, 4.40f}};

std::vector<std::array<float, 2>> midEnd(int n) { return {MID_END, MID_END + n}; }

const SignaturePosition SIGNATURE_POSITIONS[] = {
    {0, 0, {}},                                                              // Force1 on an empty sheet
    {1, -3, {{2.45f, 8.10f}}},                                               // Score3 or more
    {4, -1, {{2.10f, 4.90f}, {2.60f, 5.20f}, {2.30f, 8.00f}, {0.00f, 0.00f}}},  // Steal
    {5, 4, {{2.30f, 4.60f}, {0.00f, 0.00f}, {1.80f, 7.60f}, {2.90f, 5.40f}, {0.00f, 0.00f}}},  // Prevent Steal
    {7, -4, {{2.30f, 4.60f}, {2.70f, 4.30f}, {1.80f, 7.60f}, {2.90f, 5.40f}, {2.40f, 8.30f}}},  // Score3 or more
    {8, 4, midEnd(8)},     // Prevent Multi
    {10, 2, midEnd(10)},   // Force1
    {11, 1, midEnd(11)},   // Score2
    {13, 5, midEnd(12)},   // Prevent Steal
    {14, -2, midEnd(14)},  // Steal
    {15, 0, midEnd(15)},   // Score2 with the last stone
};

_GAMESTATE signatureState(const SignaturePosition& p) {
    _GAMESTATE s;
    s.shotNumber = p.shot;
    s.endNumber = 3;
    s.finalEnd = 8;
    // Three ends before this one whose scores add up to the lead.
    s.endScores[0] = p.lead;
    s.endScores[1] = 1;
    s.endScores[2] = -1;
    for (size_t i = 0; i < p.stones.size(); ++i) {
        s.stonePos[i][0] = p.stones[i][0];
        s.stonePos[i][1] = p.stones[i][1];
    }
    return s;
}

// The decision of a GO on each position with the settings below; the hash
// takes every answer, every instance's value and every candidate's
// executions, playouts and mean, bit for bit.
uint64_t searchSignature() {
    SearchSettings fixed;
    fixed.budgetMs = 600000;  // never reached: the playout limit ends every search
    fixed.playoutsPerVisit = 25;
    fixed.playoutLimit = 2500;
    fixed.seed = 20261209;
    uint64_t hash = FNV_BASIS;
    for (const SignaturePosition& p : SIGNATURE_POSITIONS) {
        const _GAMESTATE state = signatureState(p);
        std::string why;
        if (!isPlayableState(state, &why)) {
            std::fprintf(stderr, "kelvo-bench-search: signature position at shot %d: %s\n", p.shot, why.c_str());
            std::exit(1);
        }
        const InstanceRun run = runInstances(ThinkBoard{}, state, fixed);
        const std::string answer = formatAnswer(run.proposals[run.chosen].shot);
        uint64_t position = fnv1a(FNV_BASIS, answer.data(), answer.size());
        for (size_t k = 0; k < run.tallies.size(); ++k) {
            const SearchTally& t = run.tallies[k];
            position = fnv1a(position, run.proposals[k].value);
            position = fnv1a(position, t.count);
            for (int i = 0; i < t.count; ++i) {
                position = fnv1a(position, t.executions[i]);
                position = fnv1a(position, t.visits[i]);
                position = fnv1a(position, t.mean[i]);
            }
        }
        ThinkBoard board;
        buildFromGameState(board, state);
        const StrategyPair strategies = selectStrategies(board, p.shot % 2 == 1);
        std::printf("shot %2d  %-15s %2d candidates  %s  %016llx\n", p.shot, STRATEGY_NAMES[strategies.own],
                    run.tallies[0].count, answer.c_str(), (unsigned long long)position);
        hash = fnv1a(hash, position);
    }
    return hash;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-bench-search");
    bool signatureOnly = false;
    app.add_flag("--signature", signatureOnly, "print the search signature and exit");
    addSearchOptions(app, settings);
    if (const int status = parseToolOptions(app, argc, argv); status >= 0)
        return status;
    buildMotionTables();
    if (signatureOnly) {
        std::printf("signature: %016llx\n", (unsigned long long)searchSignature());
        return 0;
    }
    const double empty = searchOnce(EMPTY);
    const double mid = searchOnce(MID);
    const double crowded = searchOnce(CROWDED);
    const double visitsMid = goVisits(MID);
    const double visitsCrowded = goVisits(CROWDED);
    const double go = timeGo(MID);
    const Replay replayMid = replay(MID);
    const Replay replayCrowded = replay(CROWDED);
    std::printf("search: playouts_per_s_empty=%.0f playouts_per_s_mid=%.0f playouts_per_s_crowded=%.0f go_wall_s=%.3f "
                "go_visits_mid=%.2f go_visits_crowded=%.2f replay_per_s_mid=%.0f replay_per_s_crowded=%.0f "
                "replay_sum_mid=%.6f replay_sum_crowded=%.6f\n",
                empty, mid, crowded, go, visitsMid, visitsCrowded, replayMid.perSecond, replayCrowded.perSecond,
                replayMid.sum, replayCrowded.sum);
    return 0;
}
