// The fast fcv1 simulation, the one a search plays its shots with. Stones
// jump along the tables by whole steps, all on the exact simulation's 1 ms
// clock, from one contact to the next: the pair that limits a jump is
// followed alone to the step its discs first overlap, and the contact is
// resolved as Box2D resolves it in the step after. Anything else (one
// stone touching two at once, a speed beyond the tables, a shot that runs too
// many events) is handed to the exact simulation from where the stones are.
#pragma once

#include <cstdint>
#include <memory>

#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1tables.h"

namespace Kelvo {

// Stones of an end in the board frame (origin at the tee, +Y toward the back
// line, X = the shot frame's x), indexed by shot number: stone i is the one
// thrown at shot i, so even indices belong to the side without the hammer.
struct Fcv1Board {
    bool present[FCV1_STONES] = {};
    double x[FCV1_STONES] = {};
    double y[FCV1_STONES] = {};
};

// The board frame from the shot frame and back.
inline double fcv1BoardY(double shotY) { return shotY - double(FCV1_TEE_Y); }
inline double fcv1ShotY(double boardY) { return boardY + double(FCV1_TEE_Y); }

Fcv1Board fcv1BoardOf(const Fcv1Stones& stones, int32_t hammer);
Fcv1Stones fcv1StonesOf(const Fcv1Board& board, int32_t hammer);

// What a fast shot did. `change` is the code the classic board's applyShot
// takes: 0 nothing on the sheet changed (a foul, or the thrown stone left
// play without moving another), 1 only the thrown stone came to rest in play,
// 2 other stones moved or left play.
struct Fcv1FastOutcome {
    int32_t change = 0;
    bool foul = false;
    bool handedOver = false;  // the exact simulation finished the shot
    int32_t events = 0;       // jumps, single steps, contacts and exact bursts taken
    int32_t exactSteps = 0;   // steps the exact simulation ran, in bursts or to the end
};

// What the fast simulation keeps between shots: the exact world it falls
// back on, made on first use, so that a fallback does not pay for a new
// world every time. One per thread; optional.
class Fcv1FastWorkspace {
public:
    Fcv1FastWorkspace();
    ~Fcv1FastWorkspace();
    // The world, without the contact state of earlier shots.
    Fcv1Simulator& freshSimulator();

private:
    std::unique_ptr<Fcv1Simulator> simulator_;
};

// Plays shot `shot` (0..15) on the board: the thrown stone becomes stone
// `shot`, launched with the move's spin, and the rules take stones off
// while they move and once they stop, and void a shot against the free
// guard zone. On a foul the board is left as it was.
Fcv1FastOutcome simulateFcv1Fast(const Fcv1Tables& tables, Fcv1Board& board, int32_t shot, const Fcv1Move& move,
                                 const IceRules& rules = dc3Rules(), Fcv1FastWorkspace* workspace = nullptr);

// The same on the framework's layout, for replaying its shots by Digital
// Curling 3's rules (the free guard zone when the input's five-rock rule).
Fcv1ShotResult simulateFcv1Fast(const Fcv1Tables& tables, const Fcv1ShotInput& input,
                                Fcv1FastOutcome* outcome = nullptr, Fcv1FastWorkspace* workspace = nullptr);

}  // namespace Kelvo
