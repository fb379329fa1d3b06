// Execution noise: a thrown shot misses its plan by a Gaussian error of the
// point where a straight draw to the tee would come to rest, turned into a
// change of the launch velocity through the straight-draw formula. The
// search disturbs every shot of its own side with it; the stand-in server
// disturbs every thrown shot with the same formula.
#pragma once

#include <cstdint>
#include <random>

#include <dSFMT.h>

#include "kelvosim/classic/tunables.h"
#include "kelvosim/ice.h"

namespace Kelvo {

// Uniform in the open interval (0, 1).
double drawOpen(dsfmt_t& rng);
// The velocity change that moves a spin-0 draw to the tee by the target
// error (ex, ey).
void noiseFromError(double ex, double ey, double& dx, double& dy);
// Draws a target error and writes the velocity change to add to a shot.
void sampleNoise(dsfmt_t& rng, double& dx, double& dy);

// The size of a refereed game's target error, metres in each axis: the
// game's own setting, the same size as the player assumes for its own shots.
constexpr double TARGET_ERROR_SD = double(0.145f);

// The velocity change for a target error (ex, ey), as noiseFromError gives it.
Vec2 velocityChange(double ex, double ey);

// A referee's noise on the classic ice: target errors from a generator of
// its own seeded by the game, each added to the answered shot as a velocity
// change. The thrown shot is in the board frame (forward positive).
class TargetErrorNoise final : public ThrowNoise {
public:
    explicit TargetErrorNoise(uint64_t seed) : generator_(seed) {}
    // The next error and its velocity change.
    ThrowError next();
    fMoveXY<double> thrown(const fMoveXY<double>& answered, ThrowError& error) override;

private:
    std::mt19937_64 generator_;
    std::normal_distribution<double> normal_{0.0, TARGET_ERROR_SD};
};

}  // namespace Kelvo
