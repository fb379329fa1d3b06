#include "fidelity_suite.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <utility>

#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/classic/simulator.h"
#include "support.h"

namespace Kelvo::Fidelity {

namespace {

// Low enough that twelve stones on the sheet are a legal position and the
// free guard zone rule plays no part.
constexpr int TURN = 4;

ThinkBoard boardWith(const std::vector<std::pair<int, Vec2>>& stones) {
    ThinkBoard board;
    board.sim = &KelvoTest::simulation();
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
    drawTo(KelvoTest::tables(), target, m);
    return m;
}

fMoveXY<double> hit(Vec2 target, double speed, int spin) {
    fMoveXY<double> m;
    m.spin = spin;
    hitAt(KelvoTest::tables(), target, speed, m);
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

}  // namespace

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

std::vector<Shot> everyNth(const std::vector<Shot>& suite, size_t n) {
    std::vector<Shot> kept;
    for (size_t i = 0; i < suite.size(); i += n)
        kept.push_back(suite[i]);
    return kept;
}

namespace {

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

}  // namespace

double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    if (q == 0.5)
        return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
    const size_t k = size_t(std::ceil(q * double(v.size())));
    return v[std::min(v.size() - 1, k == 0 ? 0 : k - 1)];
}

namespace {

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

}  // namespace

Outcomes runFast(const std::vector<Shot>& suite, int timingReps) {
    Outcomes o;
    for (const Shot& shot : suite) {
        ThinkBoard b = shot.board;
        applyShot(b, simulateShot(b, shot.move));
        o.after.push_back(b);
        o.seconds.push_back(timingReps > 0 ? secondsPerShot(timingReps, [&] {
            ThinkBoard r = shot.board;
            applyShot(r, simulateShot(r, shot.move));
        }) : 0.0);
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
    uint64_t h = KelvoTest::FNV_KEPT_BASIS;
    for (const ThinkBoard& b : o.after)
        for (int c = 0; c < 2; ++c) {
            h = KelvoTest::fnv1a(h, b.count[c]);
            for (int j = 0; j < b.count[c]; ++j) {
                h = KelvoTest::fnv1a(h, b.stones[c][j].x);
                h = KelvoTest::fnv1a(h, b.stones[c][j].y);
            }
        }
    return h;
}

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

}  // namespace Kelvo::Fidelity
