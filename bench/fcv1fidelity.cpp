// kelvo-fidelity on the fcv1 ice.
//
//   --replay FILE [--check] [--fast]
//       Simulates every line of FILE (lines of shots as JSON, only `input`
//       used) and writes one result line per shot. With --check it compares
//       with the file's results and ends with the fcv1-replay line (and, for
//       recorded trajectories, the frame-by-frame fcv1-trajectories line);
//       the exit status is 1 on any set or foul mismatch or unreadable line.
//   (no option) [--reference FILE] [-v]
//       The fast simulation against the exact one over a fixed suite of
//       shots aimed with the fcv1 inversion (draws, guards, takeouts, taps,
//       crowded hits) and over a file of shots in the replay format (by
//       default the framework's reference shots kept with the tests), by
//       category: rest-position errors of the stones that moved in either,
//       the share of shots whose outcome differs (a stone in play or not, in
//       the house or not, or the foul), the time per shot of each and how
//       often the fast one handed over; then the table build time and a
//       summary line.
#include "fcv1fidelity.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <dSFMT.h>

#include "fidelity_suite.h"
#include "kelvosim/fcv1/fcv1dc4.h"
#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1fast.h"
#include "kelvosim/fcv1/fcv1inversion.h"
#include "kelvosim/fcv1/fcv1replay.h"

namespace Kelvo {

namespace {

struct Fcv1Options {
    std::string replay;
    std::string reference = KELVO_FCV1_REFERENCE;
    bool check = false;
    bool fast = false;
    bool verbose = false;
};

bool parseOptions(int argc, char** argv, Fcv1Options& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--replay" && i + 1 < argc)
            o.replay = argv[++i];
        else if (a == "--reference" && i + 1 < argc)
            o.reference = argv[++i];
        else if (a == "--check")
            o.check = true;
        else if (a == "--fast")
            o.fast = true;
        else if (a == "-v")
            o.verbose = true;
        else {
            std::fprintf(stderr, "kelvo-fidelity --ice fcv1: unknown argument %s\n", a.c_str());
            return false;
        }
    }
    return true;
}

// Times are the thread's CPU time, so that other work on the machine
// disturbs the comparison less.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
    }
};

double secondsSince(double start) { return Clock::now() - start; }

// Reads a file of shot lines; false (with the reason printed) on any bad line.
bool readLines(const std::string& path, std::vector<Fcv1ReplayLine>& lines, std::vector<std::string>* kinds) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "kelvo-fidelity: cannot read %s\n", path.c_str());
        return false;
    }
    bool ok = true;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        Fcv1ReplayLine shot;
        std::string error;
        if (!parseFcv1Line(line, shot, error)) {
            std::fprintf(stderr, "kelvo-fidelity: %s:%d: %s\n", path.c_str(), number, error.c_str());
            ok = false;
            continue;
        }
        lines.push_back(shot);
        if (kinds) {
            const size_t at = line.find("\"kind\":\"");
            kinds->push_back(at == std::string::npos ? "shot" : line.substr(at + 8, line.find('"', at + 8) - at - 8));
        }
    }
    return ok;
}

int replay(const Fcv1Options& o) {
    std::vector<Fcv1ReplayLine> lines;
    const bool ok = readLines(o.replay, lines, nullptr);
    std::unique_ptr<Fcv1Tables> tables;
    if (o.fast)
        tables = std::make_unique<Fcv1Tables>();
    Fcv1FastWorkspace workspace;
    Fcv1ReplayStats stats;
    Fcv1TrajectoryStats frames;
    for (const Fcv1ReplayLine& shot : lines) {
        Fcv1Trace trace;
        trace.every = shot.trajectory.every;
        const bool traced = o.check && shot.hasTrajectory && !o.fast;
        const Fcv1ShotResult result = o.fast ? simulateFcv1Fast(*tables, shot.input, nullptr, &workspace)
                                             : simulateFcv1Exact(shot.input, traced ? &trace : nullptr);
        std::printf("%s\n", formatFcv1Result(result).c_str());
        if (o.check && shot.hasOutput)
            stats.add(shot.output, result);
        if (traced)
            frames.add(shot.trajectory, trace);
    }
    if (o.check) {
        if (frames.shots > 0)
            std::printf("%s\n", frames.line().c_str());
        std::printf("%s\n", stats.line().c_str());
    }
    return !ok || stats.setMismatch > 0 || stats.foulMismatch > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The fidelity suite

struct SuiteShot {
    std::string category;
    Fcv1ShotInput input;
};

class Random {
public:
    explicit Random(uint32_t seed) { dsfmt_init_gen_rand(&rng_, seed); }
    double uniform(double lo, double hi) { return lo + (hi - lo) * dsfmt_genrand_close_open(&rng_); }
    int below(int n) { return std::min(n - 1, int(uniform(0, n))); }
    bool coin() { return uniform(0, 1) < 0.5; }

private:
    dsfmt_t rng_;
};

// Two stones touch when their centres are this close.
constexpr double CONTACT = 2 * double(FCV1_STONE_R);

// Board-frame points the suite places stones at.
struct Spot {
    double x, y;
};

bool clear(const std::vector<Spot>& spots, Spot p, double gap) {
    for (const Spot& s : spots)
        if (std::hypot(s.x - p.x, s.y - p.y) < gap)
            return false;
    return true;
}

// `n` stones in the house or in front of it, no two touching; with `crowd`
// they gather round one point, some nearly touching.
std::vector<Spot> placeStones(Random& r, int n, bool crowd) {
    std::vector<Spot> spots;
    const Spot centre{r.uniform(-0.8, 0.8), r.uniform(-1.5, 0.8)};
    while (int(spots.size()) < n) {
        Spot p;
        if (crowd) {
            p = Spot{centre.x + r.uniform(-0.8, 0.8), centre.y + r.uniform(-0.8, 0.8)};
        } else if (r.uniform(0, 1) < 0.3) {
            p = Spot{r.uniform(-1.2, 1.2), r.uniform(-5.5, -2.2)};  // guards
        } else {
            const double a = r.uniform(0, 2 * M_PI), d = std::sqrt(r.uniform(0, 1)) * 1.8;
            p = Spot{d * std::cos(a), d * std::sin(a)};
        }
        if (clear(spots, p, crowd ? 0.295 : 0.31))
            spots.push_back(p);
    }
    return spots;
}

// A shot after the given stones, thrown by whichever side's turn it is.
Fcv1ShotInput situation(Random& r, const std::vector<Spot>& spots) {
    Fcv1ShotInput in;
    in.hammer = 1;
    in.end = r.below(10);
    const int n = int(spots.size());
    in.shot = std::min(15, n + r.below(16 - n));
    for (int k = 0; k < n; ++k) {
        // Stones take the slots of the shots before this one, in order.
        const int i = fcv1ThrownIndex(k, in.hammer);
        in.stones.present[i] = true;
        in.stones.x[i] = float(spots[k].x);
        in.stones.y[i] = float(fcv1ShotY(spots[k].y));
    }
    return in;
}

std::vector<SuiteShot> buildSuite(const Fcv1Tables& t) {
    Random r(20240926);
    std::vector<SuiteShot> suite;
    auto add = [&](const char* category, Fcv1ShotInput in, const Fcv1Move& m) {
        in.move = m;
        suite.push_back(SuiteShot{category, in});
    };
    for (int i = 0; i < 60; ++i) {  // draws into the house, round a few stones
        const std::vector<Spot> spots = placeStones(r, r.below(4), false);
        const double a = r.uniform(0, 2 * M_PI), d = std::sqrt(r.uniform(0, 1)) * 1.9;
        add("draw", situation(r, spots), fcv1DrawTo(t, d * std::cos(a), d * std::sin(a), r.coin()));
    }
    for (int i = 0; i < 30; ++i) {  // guards between the hog line and the house
        const std::vector<Spot> spots = placeStones(r, r.below(3), false);
        add("guard", situation(r, spots), fcv1DrawTo(t, r.uniform(-1.2, 1.2), r.uniform(-6.0, -2.2), r.coin()));
    }
    for (int i = 0; i < 50; ++i) {  // takeouts, full to thin
        const std::vector<Spot> spots = placeStones(r, 1 + r.below(4), false);
        const Spot s = spots[r.below(int(spots.size()))];
        const double offset = r.uniform(-0.26, 0.26);
        add("takeout", situation(r, spots), fcv1HitAt(t, s.x + offset, s.y, r.uniform(2.6, 4.0), r.coin()));
    }
    for (int i = 0; i < 40; ++i) {  // taps and raises
        const std::vector<Spot> spots = placeStones(r, 1 + r.below(4), false);
        const Spot s = spots[r.below(int(spots.size()))];
        add("tap", situation(r, spots),
            fcv1PassThrough(t, s.x + r.uniform(-0.12, 0.12), s.y, r.uniform(0.5, 3.0), r.coin()));
    }
    for (int i = 0; i < 40; ++i) {  // hits and taps into a crowd
        const std::vector<Spot> spots = placeStones(r, 4 + r.below(5), true);
        const Spot s = spots[r.below(int(spots.size()))];
        const double offset = r.uniform(-0.2, 0.2);
        const Fcv1Move m = r.coin() ? fcv1HitAt(t, s.x + offset, s.y, r.uniform(2.4, 3.8), r.coin())
                                    : fcv1PassThrough(t, s.x + offset, s.y, r.uniform(0.5, 3.0), r.coin());
        add("crowd", situation(r, spots), m);
    }
    for (int i = 0; i < 20; ++i) {  // hits on a stone frozen to another, behind or beside it
        std::vector<Spot> spots = placeStones(r, r.below(3), false);
        const Spot front{r.uniform(-0.8, 0.8), r.uniform(-1.2, 0.6)};
        const double a = r.uniform(0.2, M_PI - 0.2), d = CONTACT - r.uniform(0, 0.0005);
        const Spot back{front.x + d * std::cos(a), front.y + d * std::sin(a)};
        if (!clear(spots, front, 0.6) || !clear(spots, back, 0.6))
            continue;
        spots.push_back(front);
        spots.push_back(back);
        const Fcv1Move m = r.coin() ? fcv1HitAt(t, front.x + r.uniform(-0.1, 0.1), front.y, r.uniform(2.4, 3.6), r.coin())
                                    : fcv1PassThrough(t, front.x, front.y, r.uniform(0.3, 2.0), r.coin());
        add("frozen", situation(r, spots), m);
    }
    return suite;
}

// ---------------------------------------------------------------------------
// Comparison

using Fidelity::quantile;

// A category's figures: secondsA is the fast simulation's time, secondsB the
// exact one's.
struct Tally : Fidelity::Tally {
    int handOvers = 0;
};

Tally named(const std::string& name) {
    Tally t;
    t.name = name;
    return t;
}

bool inHouse(const Fcv1Stones& s, int i) { return fcv1DistanceToTee(s.x[i], s.y[i]) < FCV1_IN_HOUSE_R; }

// One shot's fast result against its exact one.
void compare(const Fcv1ShotInput& in, const Fcv1ShotResult& exact, const Fcv1ShotResult& fast, Tally& t) {
    bool mismatch = exact.foul != fast.foul;
    for (int i = 0; i < FCV1_STONES; ++i) {
        const bool e = exact.stones.present[i], f = fast.stones.present[i];
        if (e != f) {
            mismatch = true;
            continue;
        }
        if (!e)
            continue;
        mismatch = mismatch || inHouse(exact.stones, i) != inHouse(fast.stones, i);
        const bool moved = !in.stones.present[i] || exact.stones.x[i] != in.stones.x[i] ||
                           exact.stones.y[i] != in.stones.y[i] || fast.stones.x[i] != in.stones.x[i] ||
                           fast.stones.y[i] != in.stones.y[i];
        if (moved)
            t.errors.push_back(std::hypot(double(exact.stones.x[i]) - fast.stones.x[i],
                                          double(exact.stones.y[i]) - fast.stones.y[i]));
    }
    t.shots += 1;
    t.mismatches += mismatch ? 1 : 0;
}

// Each fast shot runs this many times more to time it.
constexpr int FAST_REPS = 50;

// Runs both simulations on every shot and tallies them by category, then "all".
std::vector<Tally> measure(const Fcv1Tables& tables, const std::vector<Fcv1ShotInput>& shots,
                           const std::vector<std::string>& categories, const std::vector<Fcv1ShotResult>* known,
                           bool verbose) {
    Fcv1FastWorkspace workspace;
    std::map<std::string, size_t> index;
    std::vector<Tally> tallies;
    Tally all = named("all");
    for (size_t k = 0; k < shots.size(); ++k) {
        const Fcv1ShotInput& in = shots[k];
        auto start = Clock::now();
        const Fcv1ShotResult exact = known ? (*known)[k] : simulateFcv1Exact(in);
        const double secondsB = known ? 0 : secondsSince(start);
        Fcv1FastOutcome outcome;
        const Fcv1ShotResult fast = simulateFcv1Fast(tables, in, &outcome, &workspace);
        start = Clock::now();
        for (int rep = 0; rep < FAST_REPS; ++rep)
            simulateFcv1Fast(tables, in, nullptr, &workspace);
        const double secondsA = secondsSince(start) / FAST_REPS;

        if (index.count(categories[k]) == 0) {
            index[categories[k]] = tallies.size();
            tallies.push_back(named(categories[k]));
        }
        for (Tally* t : {&tallies[index[categories[k]]], &all}) {
            compare(in, exact, fast, *t);
            t->handOvers += outcome.handedOver ? 1 : 0;
            t->secondsA += secondsA;
            t->secondsB += secondsB;
        }
        if (verbose)
            std::printf("#%zu %s events=%d%s\n   %s\n   exact %s\n   fast  %s\n", k, categories[k].c_str(),
                        outcome.events, outcome.handedOver ? " handed-over" : "", formatFcv1Input(in).c_str(),
                        formatFcv1Result(exact).c_str(), formatFcv1Result(fast).c_str());
    }
    tallies.push_back(all);
    return tallies;
}

void printTallies(const std::vector<Tally>& tallies) {
    std::printf("%-12s %6s %7s %10s %10s %10s %9s %9s %9s %11s\n", "category", "shots", "stones", "median_m",
                "p95_m", "max_m", "mismatch", "handover", "fast_us", "exact_us");
    for (const Tally& t : tallies)
        std::printf("%-12s %6d %7zu %10.5f %10.4f %10.4f %9.3f %9.3f %9.1f %11.1f\n", t.name.c_str(), t.shots,
                    t.errors.size(), quantile(t.errors, 0.5), quantile(t.errors, 0.95), quantile(t.errors, 1.0),
                    double(t.mismatches) / t.shots, double(t.handOvers) / t.shots, 1e6 * t.secondsA / t.shots,
                    1e6 * t.secondsB / t.shots);
}

const Tally* find(const std::vector<Tally>& tallies, const std::string& name) {
    for (const Tally& t : tallies)
        if (t.name == name)
            return &t;
    return nullptr;
}

// The suite again by Digital Curling 4's rules (free guard zone variant
// fgz_rule), each shot launched with a spin magnitude drawn from its range:
// the fast simulation against the exact one as the stand-in referee plays
// it. The error is the thrown stone's, where both keep it.
void dc4Figure(const Fcv1Tables& tables, const std::vector<SuiteShot>& suite) {
    const IceRules rules = dc4Rules(Dc4Guard::FGZ);
    Random r(20261209);
    std::vector<double> errors;
    int mismatches = 0;
    for (const SuiteShot& s : suite) {
        Fcv1ShotInput in = s.input;
        in.move.spin = float(r.uniform(double(DC4_MIN_SPIN), double(DC4_MAX_SPIN)));
        Dc4ShotInput exactIn;
        exactIn.stones = in.stones;
        exactIn.shot = in.shot;
        exactIn.thrower = fcv1ThrowingTeam(in.shot, in.hammer);
        exactIn.vx = in.move.vx;
        exactIn.vy = in.move.vy;
        exactIn.spin = fcv1LaunchSpin(in.move);
        Fcv1Simulator simulator;
        const Fcv1ShotResult exact = playDc4Shot(simulator, exactIn, rules);
        Fcv1Board board = fcv1BoardOf(in.stones, in.hammer);
        board.present[in.shot] = false;
        const Fcv1FastOutcome o = simulateFcv1Fast(tables, board, in.shot, in.move, rules);
        const Fcv1Stones fast = fcv1StonesOf(board, in.hammer);
        bool mismatch = o.foul != exact.foul;
        for (int i = 0; i < FCV1_STONES; ++i)
            mismatch = mismatch || (!o.foul && fast.present[i] != exact.stones.present[i]);
        mismatches += mismatch ? 1 : 0;
        const int32_t t = fcv1ThrownIndex(in.shot, in.hammer);
        if (!o.foul && !exact.foul && fast.present[t] && exact.stones.present[t])
            errors.push_back(std::hypot(double(fast.x[t]) - exact.stones.x[t], double(fast.y[t]) - exact.stones.y[t]));
    }
    std::printf("fcv1-dc4-fidelity: shots=%zu thrown_median_m=%.5f p95_m=%.4f outcome_mismatch=%.3f\n", suite.size(),
                quantile(errors, 0.5), quantile(errors, 0.95), double(mismatches) / double(suite.size()));
}

int fidelity(const Fcv1Options& o) {
    const auto start = Clock::now();
    const Fcv1Tables tables;
    const double buildSeconds = secondsSince(start);

    const std::vector<SuiteShot> suite = buildSuite(tables);
    std::vector<Fcv1ShotInput> shots;
    std::vector<std::string> categories;
    for (const SuiteShot& s : suite) {
        shots.push_back(s.input);
        categories.push_back(s.category);
    }
    std::printf("fast against exact fcv1, suite of %zu shots\n", shots.size());
    const std::vector<Tally> own = measure(tables, shots, categories, nullptr, o.verbose);
    printTallies(own);

    std::vector<Fcv1ReplayLine> lines;
    std::vector<std::string> kinds;
    if (!readLines(o.reference, lines, &kinds))
        return 1;
    shots.clear();
    std::vector<Fcv1ShotResult> known;
    for (const Fcv1ReplayLine& l : lines) {
        shots.push_back(l.input);
        known.push_back(l.output);
    }
    std::printf("fast against the framework's results, %s (%zu shots)\n", o.reference.c_str(), shots.size());
    const std::vector<Tally> ref = measure(tables, shots, kinds, &known, o.verbose);
    printTallies(ref);

    // Both sets together.
    Tally draws = named("draw"), all = named("all");
    for (const std::vector<Tally>* set : {&own, &ref})
        for (const char* name : {"draw", "all"}) {
            const Tally* t = find(*set, name);
            Tally& sum = std::string(name) == "draw" ? draws : all;
            if (!t)
                continue;
            sum.errors.insert(sum.errors.end(), t->errors.begin(), t->errors.end());
            sum.shots += t->shots;
            sum.mismatches += t->mismatches;
            sum.secondsA += t->secondsA;
            sum.secondsB += t->secondsB;
        }
    // The exact simulation's own scatter: each draw of the suite again with
    // its launch turned by a microradian (4e-5 m at the house). Float
    // rounding alone moves the rest point this much; no table can follow it.
    std::vector<double> scatter;
    for (const SuiteShot& s : suite) {
        if (s.category != "draw")
            continue;
        Fcv1ShotInput nudged = s.input;
        const double c = std::cos(1e-6), sn = std::sin(1e-6), vx = s.input.move.vx, vy = s.input.move.vy;
        nudged.move.vx = float(c * vx - sn * vy);
        nudged.move.vy = float(sn * vx + c * vy);
        const Fcv1ShotResult a = simulateFcv1Exact(s.input), b = simulateFcv1Exact(nudged);
        const int32_t i = fcv1ThrownIndex(s.input.shot, s.input.hammer);
        if (a.stones.present[i] && b.stones.present[i])
            scatter.push_back(std::hypot(double(a.stones.x[i]) - b.stones.x[i], double(a.stones.y[i]) - b.stones.y[i]));
    }
    std::printf("exact against itself, draws launched a microradian apart: median_m=%.5f p95_m=%.4f\n",
                quantile(scatter, 0.5), quantile(scatter, 0.95));

    dc4Figure(tables, suite);

    const Tally& ownAll = own.back();
    std::printf("fcv1-fidelity: draw_median_m=%.5f p95_m=%.4f outcome_mismatch=%.3f speedup=%.0f table_build_ms=%.1f\n",
                quantile(draws.errors, 0.5), quantile(all.errors, 0.95), double(all.mismatches) / all.shots,
                ownAll.secondsB / ownAll.secondsA, 1e3 * buildSeconds);
    return 0;
}

}  // namespace

int fcv1FidelityMain(int argc, char** argv) {
    Fcv1Options o;
    if (!parseOptions(argc, argv, o))
        return 2;
    if (!o.replay.empty())
        return replay(o);
    return fidelity(o);
}

}  // namespace Kelvo
