// How closely the fast simulation follows the exact one, and what it saves.
//
// A fixed suite of shots, each simulated from the same board by the fast
// simulation (the way the search does it) and by the exact whole-shot
// simulation, at the player's own step EXACT_DT and at the converged step
// REFERENCE_DT that judges the game. Per category it prints the
// rest-position differences of the stones that moved in either simulation,
// the share of shots whose set of stones in play differs, and the mean time
// per shot of each simulator; the last line sums up fast against the
// reference. With --halving [N] it prints instead, for N halvings of the
// step from EXACT_DT, the exact simulation against itself at half the step:
// how REFERENCE_DT was chosen. With -v, every shot and both outcomes. With
// --fast-digest only the fast simulation runs, and it prints a hash of the
// bits of every stone it leaves on the sheet: equal hashes show that a
// change to the fast simulation left its results exactly as they were.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "kelvosim/fastsimulator.h"
#include "kelvosim/shot.h"
#include "kelvosim/simulator.h"
#include "kelvosim/thinkboard.h"

using namespace Kelvo;

namespace {

// Low enough that twelve stones on the sheet are a legal position and the
// free guard zone rule plays no part.
constexpr int TURN = 4;

struct Shot {
    std::string category;
    ThinkBoard board;
    fMoveXY<double> move;
};

ThinkBoard boardWith(const std::vector<std::pair<int, Vec2>>& stones) {
    ThinkBoard board;
    resetBoard(board);
    board.turn = TURN;
    for (const auto& [colour, at] : stones)
        addStone(board, colour, at.x, at.y);
    recomputeStates(board);
    return board;
}

fMoveXY<double> draw(Vec2 target, int spin) {
    fMoveXY<double> m;
    m.spin = spin;
    drawTo(target, m);
    return m;
}

fMoveXY<double> hit(Vec2 target, double speed, int spin) {
    fMoveXY<double> m;
    m.spin = spin;
    hitAt(target, speed, m);
    return m;
}

// Random stones that do not overlap each other, in the house and in front of it.
std::vector<std::pair<int, Vec2>> scatter(std::mt19937& rng, int n) {
    std::uniform_real_distribution<double> house(-1.6, 1.6), guardY(-6.0, -2.0), guardX(-1.2, 1.2);
    std::vector<std::pair<int, Vec2>> stones;
    while (int(stones.size()) < n) {
        const bool inHouse = rng() % 3 != 0;
        const Vec2 p = inHouse ? Vec2{house(rng), house(rng)} : Vec2{guardX(rng), guardY(rng)};
        if (inHouse && std::hypot(p.x, p.y) > 1.8)
            continue;
        bool clear = true;
        for (const auto& s : stones)
            clear = clear && std::hypot(s.second.x - p.x, s.second.y - p.y) > 0.31;
        if (clear)
            stones.push_back({int(stones.size() % 2), p});
    }
    return stones;
}

std::vector<Shot> buildSuite() {
    std::vector<Shot> suite;
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto between = [&](double a, double b) { return a + (b - a) * unit(rng); };

    // Draws over the sheet on an empty board.
    for (double y : {-1.5, -0.75, 0.0, 0.75, 1.5})
        for (double x : {-1.5, -0.5, 0.5, 1.5})
            for (int spin = 0; spin < 2; ++spin)
                suite.push_back({"draw", boardWith({}), draw(Vec2{x, y}, spin)});
    for (double y : {-8.0, -4.0})
        for (int spin = 0; spin < 2; ++spin)
            suite.push_back({"draw", boardWith({}), draw(Vec2{0.3, y}, spin)});

    // Guards in front of a house with stones in it: nothing is reached.
    for (int i = 0; i < 24; ++i) {
        const ThinkBoard board = boardWith({{0, {between(-1, 1), between(-0.5, 1.2)}},
                                            {1, {between(-1, 1), between(1.3, 1.7)}}});
        suite.push_back({"guard", board, draw(Vec2{between(-1.2, 1.2), between(-6.5, -2.5)}, i % 2)});
    }

    // Takeouts of a single stone, full and glancing.
    for (int i = 0; i < 32; ++i) {
        const Vec2 at{between(-1.3, 1.3), between(-1.3, 1.3)};
        const double offset = i % 4 < 2 ? 0.0 : between(-0.15, 0.15);
        suite.push_back({"takeout", boardWith({{0, at}}),
                         hit(Vec2{at.x + offset, at.y}, between(31.5, 33.5), i % 2)});
    }

    // Hits into positions of 4 to 12 stones.
    for (int i = 0; i < 60; ++i) {
        const auto stones = scatter(rng, 4 + i % 9);
        const Vec2 target = stones[rng() % stones.size()].second;
        suite.push_back({"crowd", boardWith(stones),
                         hit(Vec2{target.x + between(-0.1, 0.1), target.y}, between(30.0, 33.5), i % 2)});
    }

    // Raises: a guard pushed into the house.
    for (int i = 0; i < 24; ++i) {
        const Vec2 guard{between(-0.8, 0.8), between(-4.0, -2.5)};
        std::vector<std::pair<int, Vec2>> stones{{0, guard}};
        if (i % 2)
            stones.push_back({1, {between(-1.0, 1.0), between(0.8, 1.5)}});
        suite.push_back({"raise", boardWith(stones), hit(guard, between(29.4, 30.3), (i / 2) % 2)});
    }

    // Double takeouts: a glancing hit sends the first stone into the second.
    for (int i = 0; i < 24; ++i) {
        const double side = i % 2 ? 1.0 : -1.0;
        const Vec2 first{between(-0.8, 0.8), between(-1.0, 0.3)};
        const Vec2 second{first.x + side * between(0.35, 0.6), first.y + between(0.3, 0.8)};
        const Vec2 aim{first.x - side * between(0.08, 0.14), first.y};
        suite.push_back({"double", boardWith({{0, first}, {0, second}}), hit(aim, between(32.5, 33.6), (i / 2) % 2)});
    }
    return suite;
}

// Rest-position differences between two outcomes, stone by stone: stones
// are paired within a colour, closest pair first. Pairs in which neither
// stone moved from where it stood before the shot are left out, so the
// figures describe the stones the shot set in motion.
void compare(const ThinkBoard& before, const ThinkBoard& a, const ThinkBoard& b, std::vector<double>& errors) {
    for (int c = 0; c < 2; ++c) {
        std::vector<bool> usedA(a.count[c]), usedB(b.count[c]);
        for (int n = std::min(a.count[c], b.count[c]); n > 0; --n) {
            double best = 1e300;
            int bi = -1, bj = -1;
            for (int i = 0; i < a.count[c]; ++i)
                for (int j = 0; j < b.count[c]; ++j) {
                    if (usedA[i] || usedB[j])
                        continue;
                    const double d = std::hypot(a.stones[c][i].x - b.stones[c][j].x, a.stones[c][i].y - b.stones[c][j].y);
                    if (d < best) {
                        best = d;
                        bi = i;
                        bj = j;
                    }
                }
            usedA[bi] = usedB[bj] = true;
            bool still = false;
            for (int k = 0; k < before.count[c]; ++k) {
                const fStonePos& o = before.stones[c][k];
                still = still || (std::hypot(a.stones[c][bi].x - o.x, a.stones[c][bi].y - o.y) < 1e-6 &&
                                  std::hypot(b.stones[c][bj].x - o.x, b.stones[c][bj].y - o.y) < 1e-6);
            }
            if (!still)
                errors.push_back(best);
        }
    }
}

double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    if (q == 0.5)
        return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
    const size_t k = size_t(std::ceil(q * double(v.size())));
    return v[std::min(v.size() - 1, k == 0 ? 0 : k - 1)];
}

template <typename F>
double timed(F&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename F>
double secondsPerShot(int reps, F&& run) {
    return timed([&] {
               for (int r = 0; r < reps; ++r)
                   run();
           }) /
           reps;
}

// One simulation of every shot of the suite: the boards after the shot and
// the mean time per shot.
struct Outcomes {
    std::vector<ThinkBoard> after;
    std::vector<double> seconds;
};

Outcomes runFast(const std::vector<Shot>& suite) {
    constexpr int FAST_REPS = 200;
    Outcomes o;
    for (const Shot& shot : suite) {
        ThinkBoard b = shot.board;
        applyShot(b, simulateShot(b, shot.move));
        o.after.push_back(b);
        o.seconds.push_back(secondsPerShot(FAST_REPS, [&] {
            ThinkBoard r = shot.board;
            applyShot(r, simulateShot(r, shot.move));
        }));
    }
    return o;
}

Outcomes runExact(const std::vector<Shot>& suite, double dt) {
    Outcomes o;
    for (const Shot& shot : suite) {
        ThinkBoard b = shot.board;
        o.seconds.push_back(timed([&] { applyShot(b, simulateShotExact(b, shot.move, dt)); }));
        o.after.push_back(b);
    }
    return o;
}

uint64_t digest(const Outcomes& o) {
    uint64_t h = 1469598103934665603ULL;
    auto mix = [&](const void* data, size_t n) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ULL;
    };
    for (const ThinkBoard& b : o.after)
        for (int c = 0; c < 2; ++c) {
            mix(&b.count[c], sizeof b.count[c]);
            for (int j = 0; j < b.count[c]; ++j) {
                mix(&b.stones[c][j].x, sizeof(double));
                mix(&b.stones[c][j].y, sizeof(double));
            }
        }
    return h;
}

struct Tally {
    std::string name;
    std::vector<double> errors;
    int shots = 0;
    int mismatches = 0;
    double secondsA = 0;
    double secondsB = 0;
};

// Per category and over all shots: outcome a against outcome b.
std::vector<Tally> tally(const std::vector<Shot>& suite, const Outcomes& a, const Outcomes& b) {
    std::vector<Tally> tallies;
    Tally all;
    all.name = "all";
    for (size_t s = 0; s < suite.size(); ++s) {
        const Shot& shot = suite[s];
        auto at = std::find_if(tallies.begin(), tallies.end(), [&](const Tally& t) { return t.name == shot.category; });
        if (at == tallies.end()) {
            tallies.push_back(Tally{shot.category});
            at = tallies.end() - 1;
        }
        const ThinkBoard& x = a.after[s];
        const ThinkBoard& y = b.after[s];
        for (Tally* t : {&*at, &all}) {
            compare(shot.board, x, y, t->errors);
            t->shots += 1;
            t->mismatches += x.count[0] != y.count[0] || x.count[1] != y.count[1];
            t->secondsA += a.seconds[s];
            t->secondsB += b.seconds[s];
        }
    }
    tallies.push_back(all);
    return tallies;
}

void printTable(const std::vector<Tally>& tallies, const char* nameA, const char* nameB) {
    std::printf("%-8s %6s %7s %10s %10s %10s %9s %11s %12s\n", "category", "shots", "stones", "median_m", "p95_m",
                "max_m", "mismatch", (std::string(nameA) + "_us").c_str(), (std::string(nameB) + "_us").c_str());
    for (const Tally& t : tallies)
        std::printf("%-8s %6d %7zu %10.4f %10.4f %10.4f %9.3f %11.2f %12.1f\n", t.name.c_str(), t.shots,
                    t.errors.size(), quantile(t.errors, 0.5), quantile(t.errors, 0.95), quantile(t.errors, 1.0),
                    double(t.mismatches) / t.shots, 1e6 * t.secondsA / t.shots, 1e6 * t.secondsB / t.shots);
}

// The exact simulation against itself at half the step, step after step:
// where rest positions stop moving, the step has converged.
void printHalving(const std::vector<Shot>& suite, int halvings) {
    double dt = EXACT_DT;
    Outcomes coarse = runExact(suite, dt);
    for (int h = 0; h < halvings; ++h) {
        const Outcomes fine = runExact(suite, dt / 2);
        std::printf("step %.8f against %.8f\n", dt, dt / 2);
        printTable(tally(suite, coarse, fine), "coarse", "fine");
        coarse = fine;
        dt /= 2;
    }
}

}  // namespace

// With -v, one line per shot and its outcomes.
void printShot(size_t index, const Shot& shot, const ThinkBoard& fast, const ThinkBoard& reference) {
    std::printf("#%zu %s shot (%.4f, %.4f, %d)\n", index, shot.category.c_str(), shot.move.x, shot.move.y,
                shot.move.spin);
    for (const auto& [name, board] : {std::pair{"before", &shot.board}, std::pair{"fast", &fast},
                                      std::pair{"ref", &reference}}) {
        std::printf("   %-6s", name);
        for (int c = 0; c < 2; ++c)
            for (int j = 0; j < board->count[c]; ++j)
                std::printf(" %c(%.3f, %.3f)", c ? 'W' : 'B', board->stones[c][j].x, board->stones[c][j].y);
        std::printf("\n");
    }
}

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    buildMotionTables();
    const std::vector<Shot> suite = buildSuite();
    if (mode == "--halving") {
        printHalving(suite, argc > 2 ? std::atoi(argv[2]) : 6);
        return 0;
    }

    const Outcomes fast = runFast(suite);
    if (mode == "--fast-digest") {
        std::printf("fast-digest: shots=%zu hash=%016llx\n", suite.size(), (unsigned long long)digest(fast));
        return 0;
    }
    const Outcomes coarse = runExact(suite, EXACT_DT);
    const Outcomes reference = runExact(suite, REFERENCE_DT);
    if (mode == "-v")
        for (size_t s = 0; s < suite.size(); ++s)
            printShot(s, suite[s], fast.after[s], reference.after[s]);

    std::printf("fast against the exact simulation at the player's step %g\n", EXACT_DT);
    printTable(tally(suite, fast, coarse), "fast", "exact");
    std::printf("fast against the reference: the exact simulation at step %g\n", REFERENCE_DT);
    const std::vector<Tally> primary = tally(suite, fast, reference);
    printTable(primary, "fast", "ref");
    const Tally& all = primary.back();
    std::printf("fidelity: median_err=%.4f p95_err=%.4f outcome_mismatch=%.3f speedup=%.1f ref_step=%g\n",
                quantile(all.errors, 0.5), quantile(all.errors, 0.95), double(all.mismatches) / all.shots,
                all.secondsB / all.secondsA, REFERENCE_DT);
    return 0;
}
