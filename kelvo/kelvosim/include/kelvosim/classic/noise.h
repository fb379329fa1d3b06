// Execution noise: a thrown shot misses its plan by a Gaussian error of the
// point where a straight draw to the tee would come to rest, turned into a
// change of the launch velocity through the straight-draw formula. The
// search disturbs every shot of its own side with it; the stand-in server
// disturbs every thrown shot with the same formula.
#pragma once

#include <dSFMT.h>

#include "kelvosim/classic/tunables.h"

namespace Kelvo {

// Uniform in the open interval (0, 1).
double drawOpen(dsfmt_t& rng);
// The velocity change that moves a spin-0 draw to the tee by the target
// error (ex, ey).
void noiseFromError(double ex, double ey, double& dx, double& dy);
// Draws a target error and writes the velocity change to add to a shot.
void sampleNoise(dsfmt_t& rng, double& dx, double& dy);

}  // namespace Kelvo
