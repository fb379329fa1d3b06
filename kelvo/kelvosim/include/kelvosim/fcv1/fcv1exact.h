// The exact fcv1 simulation: stones as discs in a Box2D world, their velocity
// and spin updated by the fcv1 model before every 1 ms step, in the
// framework's sheet-centred frame and in its order of operations, so that the
// results equal the framework's bit for bit.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kelvosim/fcv1/fcv1model.h"
#include "kelvosim/fcv1/fcv1rules.h"

namespace Kelvo {

struct Fcv1ShotInput {
    Fcv1Stones stones;  // the slot of the stone being thrown is empty
    int32_t shot = 0;   // 0..15 within the end
    int32_t end = 0;
    int32_t hammer = 1; // team with the last stone; the other team throws the even shots
    Fcv1Move move;
    bool fiveRockRule = true;
};

struct Fcv1ShotResult {
    Fcv1Stones stones;  // after the rules (removal, hog line, free guard zone foul)
    bool foul = false;
    int32_t steps = 0;  // 1 ms steps until every stone stopped
};

// A stone in motion, shot frame.
struct Fcv1Body {
    bool present = false;
    float x = 0, y = 0;
    float vx = 0, vy = 0;
    float w = 0;      // spin, rad/s, + counter-clockwise
    float angle = 0;  // orientation; never changes a result, kept as the bodies hold it
};
struct Fcv1Sheet {
    Fcv1Body stones[FCV1_STONES];
};

// A recording of a run: every `every` steps, and at the step where all
// stopped, the stones whose velocity or spin is not zero (after stones that
// left the sheet were taken off), in the shot frame.
struct Fcv1TraceStone {
    int32_t index = 0;
    float x = 0, y = 0, vx = 0, vy = 0, w = 0;
};
struct Fcv1TraceFrame {
    int32_t step = 0;
    std::vector<Fcv1TraceStone> moving;
};
struct Fcv1Trace {
    int32_t every = 50;
    std::vector<Fcv1TraceFrame> frames;
    Fcv1Stones rest;  // every stone once all stopped, before the hog-line removal
};

// One physics world for many runs, as the framework keeps one per game:
// Box2D keeps some contact state from run to run, which can move a result by
// micrometres against a fresh world.
class Fcv1Simulator {
public:
    Fcv1Simulator();
    ~Fcv1Simulator();
    Fcv1Simulator(const Fcv1Simulator&) = delete;
    Fcv1Simulator& operator=(const Fcv1Simulator&) = delete;

    // Runs the sheet until every stone has stopped (or for at most
    // `maxSteps` steps), taking off stones that leave it; returns the number
    // of steps and leaves the stones' state in the sheet. `end` selects the
    // frame. `touched`, when given, gets a mask of the stones that were in a
    // contact with another stone.
    int32_t run(Fcv1Sheet& sheet, int32_t end, Fcv1Trace* trace = nullptr, int32_t maxSteps = INT32_MAX,
                const Fcv1MovingRemoval& removal = {}, uint32_t* touched = nullptr);
    // A whole shot with the rules applied.
    Fcv1ShotResult shot(const Fcv1ShotInput& input, Fcv1Trace* trace = nullptr);
    // Drops the contact state earlier runs left, as a fresh world has none
    // (results still differ from a fresh world's in the last bits).
    void forget();

private:
    struct World;
    std::unique_ptr<World> world_;
};

// A whole shot in a fresh world.
Fcv1ShotResult simulateFcv1Exact(const Fcv1ShotInput& input, Fcv1Trace* trace = nullptr);

// The sheet at the release: the stones at rest and the thrown one at the
// hack with its launch velocity and spin, in its slot.
Fcv1Sheet fcv1LaunchSheet(const Fcv1ShotInput& input);
// The same for a thrown stone given by its slot and its launch as executed.
Fcv1Sheet fcv1SheetThrowing(const Fcv1Stones& stones, int32_t thrown, float vx, float vy, float spin);
// The rules once every stone has stopped: the hog line, then the free guard
// zone (a foul puts every stone back and takes the thrown one off).
Fcv1ShotResult fcv1ApplyRules(const Fcv1ShotInput& input, const Fcv1Sheet& rest, int32_t steps);

}  // namespace Kelvo
