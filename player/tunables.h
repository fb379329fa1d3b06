// The search's numbers, each with where it comes from:
//   specified  the player's definition fixes it; changing it changes its play
//   measured   found by a tool of this repository (named)
//   chosen     a free choice, and why
// The simulation's numbers are in kelvosim/tunables.h; the named search
// presets are in settings.h.
#pragma once

#include <cstdint>

#include "kelvosim/primitive.h"

namespace Kelvo {

// ---------------------------------------------------------------------------
// The move decision and the sweep

// Specified: the wall time of each search instance, the instances of a move
// request and the playouts after each noisy execution; the player's own
// settings (settings.h) start from them.
constexpr int SEARCH_TIME_MS = 5000;
constexpr int SEARCH_INSTANCES = 4;
constexpr int PLAYOUTS_PER_VISIT = 1000;
// Specified: the candidate array's length.
constexpr int MAX_CANDIDATES = 100;
// Specified: the value a search reports before any candidate was visited.
constexpr double NO_VALUE = -999.0;
// Specified: two proposals agree when both components differ by less than
// this, 0.05 in single precision.
constexpr double VOTE_TOLERANCE = double(0.05f);
// Specified: a value at or below this never wins the choice by value.
constexpr double VALUE_FLOOR = -99.0;
// Chosen: the value of an instance that failed, NO_VALUE: below the floor, so
// it never wins the choice by value.
constexpr double FAILED_VALUE = NO_VALUE;

// ---------------------------------------------------------------------------
// The pooled search (halving.h) and its widened shots (shotgrid.h)

// How fine a grid of shots is. Draw weights are spaced evenly in reach (where
// a few centimetres matter), takeout weights evenly in speed.
struct GridSpec {
    double reachLow = 0;     // reach of the slowest draw, metres from the throw point
    double reachHigh = 0;    // reach of the heaviest draw
    double reachStep = 0;
    int hitSpeeds = 0;       // speeds from the heaviest draw up to V_MAX
    double headingMax = 0;   // radians either side of the centre line
    int headings = 0;
};
// Chosen: guards 6 m short of the tee to 2 m past it every 0.5 m of reach,
// six takeout weights, 17 headings 0.012 rad apart (0.44 m across at the
// tee): coarse enough to search in a move request. What the widened search
// gains with it is in the README (kelvo-bench-midend).
constexpr GridSpec COARSE_GRID{TEE_TO_THROW - 6.0, TEE_TO_THROW + 2.0, 0.5, 6, 0.096, 17};
// Chosen: before the last stone a visit is one simulation, so the finer grid
// of kelvo-bench-hammer: every 0.1 m of reach from 4 m short of the tee to
// 2.5 m past it, 25 takeout weights, 101 headings.
constexpr GridSpec LAST_STONE_GRID{TEE_TO_THROW - 4.0, TEE_TO_THROW + 2.5, 0.1, 25, 0.1, 101};
// Chosen: after each of the first REFINE_ROUNDS rounds of a widened search,
// the NEAR_LEADERS best survivors bring their neighbours into the pool: a
// little more and less weight and heading, and the other spin. The steps
// start at about half the coarse grid's spacing and halve each round.
constexpr int NEAR_LEADERS = 2;
constexpr int REFINE_ROUNDS = 3;
constexpr double NEAR_REACH = 0.25;     // metres of reach
constexpr double NEAR_HEADING = 0.006;  // radians

// ---------------------------------------------------------------------------
// End strategies and the value of an end (strategy.h)

// Specified: a lead within this many points either way is a close game: the
// side without the last stone forces one, the side with it plays for two.
constexpr int32_t CLOSE_LEAD = 2;

// Specified: the value of a finished end for the searching side, by its
// strategy, in columns for the end's count e <= -3, -2, -1, 0, 1, 2, e >= 3
// (positive: BLACK scores).
constexpr double EVAL_FIRST_THROWER[7] = {-1.0, -0.5, 1.0, 0, 1.0, 1.0, 1.0};  // Force1, Prevent Multi
constexpr double EVAL_STEALER[7] = {-1.0, -0.666, -0.333, 0, 1.0, 1.0, 1.0};  // Steal
constexpr double EVAL_SCORER2[7] = {1.5, 1.0, 0.5, 0, -0.333, -0.666, -1.0};  // Score2
constexpr double EVAL_SCORER3[7] = {1.0, 0.666, 0.333, 0, -0.333, -0.666, -1.0};  // Score3 or more
constexpr double EVAL_STEAL_GUARD[7] = {0.5, 1.0, 1.0, 0, -0.333, -0.666, -1.0};  // Prevent Steal

// ---------------------------------------------------------------------------
// The candidate sets (candidates.h). All specified: they are the sets' own
// geometry. Numbers marked single are single-precision values widened.

// The centre lane's half width and the tee-line rings, single.
constexpr double LANE_HALF = double(0.61f);       // 0.6100000143051147
constexpr double TEE_LINE_NEAR = double(0.61f);
constexpr double TEE_LINE_FAR = double(1.22f);    // 1.2200000286102295
// The house's radius, single: stones outside it behind the tee line are left
// alone by most sets.
constexpr double TAKE_R = double(1.83f);          // 1.8300000429153442
// A draw behind a guard only for a guard in front of this line, -2.17 single.
constexpr double BEHIND_GUARD_Y = -2.1699999570846558;
// A freeze stops this far in front of its stone: two radii, single.
constexpr double FREEZE_GAP = double(0.29f);      // 0.28999999165534973
// A takeout or tap aims at where the thrown stone's centre touches the
// target full on: two stone radii in front of it. The double 0.29, not
// FREEZE_GAP's widened 0.29f; the two differ in the ninth digit.
constexpr double HIT_GAP = 0.29;
// Guards stand this far in front of the tee line or of the house stone they
// guard: a long guard well up toward the hog line, 6.4 m out, and a short one
// just in front of the house, whose edge is 1.83 m out.
constexpr double LONG_GUARD = 5.0;
constexpr double SHORT_GUARD = 2.5;
// A centre guard half a metre further out than a long one, 0.9 m inside the
// hog line.
constexpr double HIGH_GUARD = 5.5;
// Draws to the far side of a guard: this far straight past it.
constexpr double BEHIND_GUARD_FAR = 5.0;
constexpr double BEHIND_GUARD_NEAR = 4.5;
// Draws to the tee line beside the tee, on the 4-foot and 8-foot rings: the
// doubles 0.61 and 1.22, not the widened single-precision TEE_LINE_NEAR and
// TEE_LINE_FAR that decide whether they still count.
constexpr double TEE_LINE_DRAW_NEAR = 0.61;
constexpr double TEE_LINE_DRAW_FAR = 1.22;
// Corner guards stand this far to the side, single.
constexpr double CORNER_X = double(1.22f);
// The corner guard of an empty sheet in Prevent Steal, to the +X side.
constexpr double EMPTY_SHEET_GUARD_X = 1.7950000166893005;
constexpr double EMPTY_SHEET_GUARD_Y = -5.819999516010284;
// The extra distance of a come-around past its stone is the stone's distance
// from the side line across the centre line, plus this for a stone at
// positive x and less it otherwise.
constexpr double COME_AROUND_TRIM = 0.3;
// The directions from a come-around's stone to the point it passes.
constexpr double COME_AROUND_RIGHT = 1.393645407717472;  // 79.85 degrees
constexpr double COME_AROUND_LEFT = 1.747947245872321;   // 100.15 degrees
// Aim points of hits, taps and come-arounds lie this much nearer the thrower.
constexpr double AIM_BIAS = 0.01;
// The launch speed of every takeout and hit.
constexpr double TAKEOUT_SPEED = 33.0;
// A hit toward another stone needs the second stone behind the first within
// this window of directions, in degrees from the +x axis; a second stone
// less than STRAIGHT_BEHIND_DX to either side counts as straight behind.
constexpr float HIT_WINDOW_LOW_DEG = 55;
constexpr float HIT_WINDOW_HIGH_DEG = 125;
constexpr float STRAIGHT_BEHIND_DX = 0.05f;
// Chosen: a second stone further off to the side than this times its
// distance behind (36.9 degrees off the centre line, against the window's
// 35) cannot pass the window however the angle rounds, and spares the
// arctangent for most pairs of a board.
constexpr double HIT_WINDOW_PRECHECK_SLOPE = 0.75;

// Specified: where in the end a set adds or leaves out shots, by the board's
// turn (the stones still to throw, the next one included).
// The mover's last stone: turn 2 for BLACK, 1 for WHITE. Steal taps its own
// stones only before it; Score2 and Prevent Steal add tee draws with it.
constexpr int32_t LAST_STONE_BELOW_TURN = 3;
// WHITE's first stone (turn 15): Score2 throws only corner guards.
constexpr int32_t FIRST_STONE_ABOVE_TURN = 14;
// Score3 or more adds takeouts and hits only late in the end, and tee draws
// with WHITE's last two stones.
constexpr int32_t SCORE3_HITS_BELOW_TURN = 11;
constexpr int32_t SCORE3_TEE_DRAWS_BELOW_TURN = 4;

}  // namespace Kelvo
