// Execution noise of a thrown shot. The throw misses its aim like the
// player's own noise model assumes: a Gaussian error of the point where a
// straight draw to the tee would stop, turned into a change of the launch
// velocity through the straight-draw formula.
#pragma once

#include <cstdint>
#include <random>

#include <dSFMT.h>

#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/primitive.h"

namespace Kelvo::Server {

// The size of the game's execution error, metres in each axis: the game's own
// setting, the same size as the player assumes for its own shots.
constexpr double TARGET_ERROR_SD = double(0.145f);

struct Noise {
    double ex = 0, ey = 0;  // the target error
    double dx = 0, dy = 0;  // the velocity change (board frame, forward positive)
};

// The velocity change for a target error (ex, ey) of a spin-0 draw to the
// tee, by the player's own formula.
Vec2 velocityChange(double ex, double ey);

class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : generator_(seed) {}
    Noise next();

private:
    std::mt19937_64 generator_;
    std::normal_distribution<double> normal_{0.0, TARGET_ERROR_SD};
};

// The fcv1 ice's players: Gaussian errors of the launch speed and direction
// (fcv1noise.h). The record keeps them as ex (speed, m/s) and ey (angle,
// rad), and the change of the velocity as dx, dy (shot frame).
class Fcv1NoiseSource {
public:
    Fcv1NoiseSource(uint64_t seed, const Fcv1PlayerNoise& model);
    // The move as played and the noise it got.
    Fcv1Move play(const Fcv1Move& requested, Noise& noise);

private:
    Fcv1PlayerNoise model_;
    dsfmt_t rng_;
};

inline fMoveXY<double> withNoise(fMoveXY<double> shot, const Noise& noise) {
    shot.x += noise.dx;
    shot.y += noise.dy;
    return shot;
}

}  // namespace Kelvo::Server
