// Shots on the fcv1 ice as JSON lines, for replaying the framework's own
// results against ours: one object per line with an `input` (the stones, the
// shot, end and hammer, the launch velocity and turn), optionally its
// `output` (or, for a recorded trajectory, `trajectory.final` and the frames).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kelvosim/fcv1/fcv1exact.h"

namespace Kelvo {

struct Fcv1ReplayLine {
    Fcv1ShotInput input;
    bool hasOutput = false;
    Fcv1ShotResult output;  // the expected result (steps 0 when not given)
    bool hasTrajectory = false;
    Fcv1Trace trajectory;   // the expected frames and rest
};

// Reads one line; false with a reason for anything that is not a valid shot.
bool parseFcv1Line(const std::string& line, Fcv1ReplayLine& out, std::string& error);

// The shortest decimal that reads back as the same float.
std::string formatFcv1Float(float value);
// {"stones":[16 x [x,y] or null],"foul":bool}
std::string formatFcv1Result(const Fcv1ShotResult& result);
// A line of the replay format holding only the input.
std::string formatFcv1Input(const Fcv1ShotInput& input);

// How results compare with the expected ones over a file.
struct Fcv1ReplayStats {
    int32_t shots = 0;
    int32_t exact = 0;          // every stone equal as floats
    int32_t within = 0;         // same stones in play, each within 0.1 mm
    double maxError = 0;        // metres, over the stones in play on both sides
    int32_t setMismatch = 0;    // a different set of stones in play
    int32_t foulMismatch = 0;

    void add(const Fcv1ShotResult& expected, const Fcv1ShotResult& actual);
    std::string line() const;
};

// A run's frames against recorded ones: same steps and moving stones, and how
// far positions (m), velocities (m/s) and spins (rad/s) lie apart.
struct Fcv1TrajectoryStats {
    int32_t shots = 0;
    int32_t frames = 0;
    int32_t exactFrames = 0;     // every number equal as floats
    int32_t frameMismatch = 0;   // a missing frame, another step or another set of moving stones
    double maxPositionError = 0;
    double maxVelocityError = 0;
    double maxSpinError = 0;

    void add(const Fcv1Trace& expected, const Fcv1Trace& actual);
    std::string line() const;
};

}  // namespace Kelvo
