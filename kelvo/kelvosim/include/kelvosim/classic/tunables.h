// The simulation library's numbers, each with where it comes from:
//   specified  the player's definition fixes it; changing it changes the game
//   measured   found by a tool of this repository (named)
//   chosen     a free choice, and why
// Sheet geometry and the stone's size are the sheet's, in primitive.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Kelvo {

// ---------------------------------------------------------------------------
// The motion model of a sliding stone and its tables (motiontables.h)

// Specified: speed lost per time unit. Box2D's fixture friction is the same
// number.
constexpr double DECEL = 12.00921630859375;
// Specified: the sideways (curl) velocity change as a share of the speed
// lost in the same update; 0.066696 in single precision.
constexpr double CURL_RATIO = double(0.066696f);  // 0.06669600307941437
// Specified: the fastest launch the fast simulation and the shot inversion
// accept, hypot(3.1, 33.6) (a test holds it to the library's hypot); faster
// launches are clamped to it.
constexpr double V_MAX = 0x1.0df10e39cf7c4p+5;  // 33.74270291485257
// Specified: the steps of the three tables and of their fine builders.
constexpr double V_STEP = V_MAX * (1.0 / 16384.0);          // distanceBySpeed
constexpr double W_STEP = (V_MAX + 2.0) * (1.0 / 262144.0); // pathBySpeed: room past V_MAX
constexpr double D_STEP = 49.0 / 16384.0;                   // speedByDistance
constexpr double TABLE_DT = 1.0 / 700000.0;
// Specified: the tables' lengths (V_MAX and 49 m of reach, and a few rows
// beyond, for stones a collision sends off slightly faster).
constexpr int DISTANCE_TABLE_SIZE = 16388;
constexpr int PATH_TABLE_SIZE = 262148;
// Measured on the tables (speedByDistance against sqrt(2 DECEL d)): along
// the curled path, the speed at which a stone has d left to slide is
// sqrt(2 DECEL d) times this, to a fraction of a pathBySpeed row. The fast
// simulation fetches that row from memory ahead of the exact read; a wrong
// value costs time, never a result.
constexpr double CURL_SPEED_FACTOR = 1.000278;
// Chosen: pathBySpeed starts on a huge page, so that the search's reads all
// over its 8 MB do not also miss the TLB.
constexpr size_t HUGE_PAGE = 2 * 1024 * 1024;

// ---------------------------------------------------------------------------
// Shot inversion (inversion.h)

// Specified: a stone whose straight-line distance still to slide past the
// target is at most this cannot pass it (no chord exists).
constexpr double NO_CHORD_DISTANCE = 0.0006;
// Specified: the chord search stops at the first row whose chord is below
// about b + CHORD_TOLERANCE / 2 (its square is compared with
// (b + CHORD_TOLERANCE) b).
constexpr double CHORD_TOLERANCE = 0.0012;
// Chosen: the least step of the chord search, so that a target at the throw
// point itself cannot stall it; a real target steps about 0.0006.
constexpr double CHORD_MIN_STEP = 1e-7;

// ---------------------------------------------------------------------------
// Contacts of the fast simulation (fastboard.h, fastshot.h)

// Specified: the centre distance of two touching stones, 2 STONE_R in single
// precision.
constexpr double TWO_STONE_R = double(0.29f);  // 0.28999999165534973
// Specified: the gap between the edges below which two stones touch.
constexpr double CONTACT_GAP = 0.0006;
// Specified: TWO_STONE_R + CONTACT_GAP, compared as its square.
constexpr double CONTACT_D = 0.2905999916553497;
// Specified: the assumed angle between the direction of travel and the
// chord to the rest point.
constexpr double CHORD_ANGLE = 0.03333565;
// Specified: a distance that grows by more than this is moving away.
constexpr double RECEDE_EPS = 1e-5;
// Specified: the share of the tangential sliding speed passed on in a
// collision.
constexpr double COLLIDE_FRICTION = 0.159;
// Specified: the event loop hands a board over to the exact simulation once
// it has counted more events (contacts and advances) than this.
constexpr int MAX_EVENTS = 100;

// ---------------------------------------------------------------------------
// The exact simulation (simulator.h, handover.h)

// Specified: the step of the exact simulation when the fast event loop hands
// over to it, 0.01 in single precision.
constexpr double EXACT_DT = double(0.01f);  // 0.009999999776482582
// Measured (kelvo-fidelity --halving): the step at which the exact
// simulation has converged, for judging shots. At EXACT_DT a hit moves a
// stone 0.1 to 0.17 m per step and contacts are found only once the discs
// overlap. Halving the step over the fidelity suite first moves rest
// positions by a p95 under 0.03 m, with no outcome changed on draws, guards,
// takeouts and raises, from EXACT_DT / 64 to EXACT_DT / 128 (p95 0.021 m;
// from EXACT_DT / 32 it is still 0.046 m). Much finer steps gain nothing: the
// single-precision positions of the physics world start to drift draws by
// millimetres.
constexpr double REFERENCE_DT = EXACT_DT / 64;  // 0.00015624999650754035
// Specified: Box2D's solver iterations for every world step.
constexpr int32_t B2_VELOCITY_ITERATIONS = 10;
constexpr int32_t B2_POSITION_ITERATIONS = 10;
// Specified: a stone's fixture. The friction is DECEL; restitution and
// density as given; every stone collides with every other (category and
// mask bits 3, group 0).
constexpr float B2_RESTITUTION = 1.0f;
constexpr float B2_DENSITY = 10.0f;
constexpr uint16_t B2_COLLISION_BITS = 3;

// ---------------------------------------------------------------------------
// Execution noise (noise.h)

// Specified: the Gaussian error of the point a straight draw to the tee
// would come to rest at, in metres in each axis.
constexpr double NOISE_SIGMA = double(0.145f);
// Specified: the sideways aim of a spin-0 draw to the tee, and the small
// turn of the target error.
constexpr double NOISE_CURL_OFFSET = double(1.22f);
constexpr double NOISE_CURL_SKEW = double(0.0335f);
// Specified: 2 DECEL, as the straight-draw formula spells it.
constexpr double NOISE_DRAW_FACTOR = 24.0184326171875;
// Specified: the launch velocity of the undisturbed draw, as stored doubles.
constexpr double NOISE_REF_VX = -0.99073974;
constexpr double NOISE_REF_VY = 29.559775;

}  // namespace Kelvo
