// Search throughput: one full-budget search instance on three fixed
// positions; then what the search sees in a GO, the four instances run
// in-process as a GO runs them, on two of the positions; then the wall time
// of one GO of the real player. Run by hand; the last line sums it up. The
// player's search options change the searches.
//
// With --ice fcv1 it runs the three positions' searches on both ices and
// prints their playouts per second side by side.
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

#include "engine.h"
#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/ice.h"
#include "options.h"
#include "support.h"
#include "sweep.h"

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

// The same stones on another ice, in its protocol frame.
Position onIce(const Position& p, const Ice& ice) {
    Position q = p;
    for (auto& stone : q.stones)
        if (stone[0] != 0 || stone[1] != 0) {
            const Vec2 at = ice.toProtocolPoint(toBoardFrame(stone[0], stone[1]));
            stone[0] = float(at.x);
            stone[1] = float(at.y);
        }
    return q;
}

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

// What the benchmarks share: the search options of the command line and the
// motion tables, with a meter of the hand-overs to the exact simulation.
struct Bench {
    SearchSettings settings;
    SimContext sim;
    HandOverMeter handOvers;

    SearchRoot root(const _GAMESTATE& state) const {
        ThinkBoard kept;
        kept.sim = &sim;
        return prepareRoot(state, kept);
    }
};

// One sweep instance with the options' budget and playouts, whatever their
// allocation: the same work in every build.
double searchOnce(const Bench& bench, const Position& p) {
    SearchSettings one = bench.settings;
    one.allocation = Allocation::SWEEP;
    one.widen = one.commonNoise = false;
    const HandOverStats handedBefore = bench.handOvers.read();
    const auto start = std::chrono::steady_clock::now();
    const SearchRoot root = bench.root(stateOf(p));
    Candidate out;
    SweepTally tally;
    const double value = runSearch(root, &out, one, 0, &tally);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perSecond = tally.playouts / seconds;
    const HandOverStats handed = bench.handOvers.read();
    const uint64_t handOvers = handed.count - handedBefore.count;
    uint32_t least = tally.count > 0 ? tally.visits[0] : 0, most = 0;
    for (int i = 0; i < tally.count; ++i) {
        least = std::min(least, tally.visits[i]);
        most = std::max(most, tally.visits[i]);
    }
    std::printf("%-8s shot %2d: %d stones, %d candidates, %llu playouts in %.3f s = %.0f playouts/s\n", p.name,
                p.shot, stonesOnSheet(root.board), tally.count, (unsigned long long)tally.playouts, seconds, perSecond);
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
// candidate over the instances (all of a pooled search's visits, per
// candidate), and each instance's mean and smallest; and when the first
// visit began.
double goVisits(const Bench& bench, const Position& p) {
    Engine engine(bench.settings, bench.sim.ice);
    const SearchResult run = engine.decide(stateOf(p)).search;
    double sum = 0;
    std::printf("GO visits per candidate on %s:", p.name);
    for (const InstanceLine& line : run.instances) {
        uint32_t least = run.candidates > 0 ? line.shots[0].executions : 0;
        for (int i = 0; i < run.candidates; ++i)
            least = std::min(least, line.shots[i].executions);
        const double mean = run.candidates > 0 ? double(line.visits) / run.candidates : 0.0;
        std::printf("  mean %.2f least %u", mean, least);
        sum += mean;
    }
    std::printf("; first visit after %.1f ms\n", run.setupMs);
    std::fflush(stdout);
    return sum / double(run.instances.size());
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

Replay replay(const Bench& bench, const Position& p) {
    const SearchRoot root = bench.root(stateOf(p));
    const int32_t count = root.count;
    const VisitCachePtr cache = makeVisitCache();
    Replay best;
    for (int pass = 0; pass < 3; ++pass) {
        PlayoutRandom random(12345, 678);
        dsfmt_t noise;
        dsfmt_init_gen_rand(&noise, 99);
        Replay r;
        const auto start = std::chrono::steady_clock::now();
        for (int32_t i = 0; i < count; ++i) {
            startVisit(*cache, executeCandidate(root.board, root.candidates[i], noise), root.mover, root.strategies);
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
uint64_t searchSignature(const Bench& bench) {
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
        Engine engine(fixed, bench.sim.ice);
        const Decision decision = engine.decide(state);
        const SearchResult& run = decision.search;
        uint64_t position = fnv1a(FNV_BASIS, decision.answer.data(), decision.answer.size());
        for (const InstanceLine& line : run.instances) {
            position = fnv1a(position, line.value);
            position = fnv1a(position, run.candidates);
            for (int i = 0; i < run.candidates; ++i) {
                position = fnv1a(position, line.shots[i].executions);
                position = fnv1a(position, uint32_t(line.shots[i].playouts));
                position = fnv1a(position, line.shots[i].mean);
            }
        }
        std::printf("shot %2d  %-15s %2d candidates  %s  %016llx\n", p.shot, STRATEGY_NAMES[run.strategies.own],
                    run.candidates, decision.answer.c_str(), (unsigned long long)position);
        hash = fnv1a(hash, position);
    }
    return hash;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-bench-search");
    bool signatureOnly = false;
    Bench bench;
    app.add_flag("--signature", signatureOnly, "print the search signature and exit");
    addSearchOptions(app, bench.settings);
    if (const int status = parseToolOptions(app, argc, argv); status >= 0)
        return status;
    const IceKind asked = bench.settings.ice;
    bench.settings.ice = DEFAULT_ICE;
    bench.sim.ice = makeIce(DEFAULT_ICE);
    bench.sim.handOvers = &bench.handOvers;
    if (asked != DEFAULT_ICE && !signatureOnly) {
        // The same three positions on both ices, one sweep instance each.
        Bench other;
        other.settings = bench.settings;
        other.settings.ice = asked;
        other.sim.ice = makeIce(asked);
        other.sim.noise = bench.settings.fcv1Noise;
        double rate[2][3];
        const Position* positions[3] = {&EMPTY, &MID, &CROWDED};
        for (int k = 0; k < 3; ++k) {
            rate[0][k] = searchOnce(bench, *positions[k]);
            rate[1][k] = searchOnce(other, onIce(*positions[k], *other.sim.ice));
        }
        std::printf("search-ice: classic_per_s_empty=%.0f classic_per_s_mid=%.0f classic_per_s_crowded=%.0f "
                    "fcv1_per_s_empty=%.0f fcv1_per_s_mid=%.0f fcv1_per_s_crowded=%.0f\n",
                    rate[0][0], rate[0][1], rate[0][2], rate[1][0], rate[1][1], rate[1][2]);
        return 0;
    }
    if (signatureOnly) {
        std::printf("signature: %016llx\n", (unsigned long long)searchSignature(bench));
        return 0;
    }
    const double empty = searchOnce(bench, EMPTY);
    const double mid = searchOnce(bench, MID);
    const double crowded = searchOnce(bench, CROWDED);
    const double visitsMid = goVisits(bench, MID);
    const double visitsCrowded = goVisits(bench, CROWDED);
    const double go = timeGo(MID);
    const Replay replayMid = replay(bench, MID);
    const Replay replayCrowded = replay(bench, CROWDED);
    std::printf("search: playouts_per_s_empty=%.0f playouts_per_s_mid=%.0f playouts_per_s_crowded=%.0f go_wall_s=%.3f "
                "go_visits_mid=%.2f go_visits_crowded=%.2f replay_per_s_mid=%.0f replay_per_s_crowded=%.0f "
                "replay_sum_mid=%.6f replay_sum_crowded=%.6f\n",
                empty, mid, crowded, go, visitsMid, visitsCrowded, replayMid.perSecond, replayCrowded.perSecond,
                replayMid.sum, replayCrowded.sum);
    return 0;
}
