// Execution noise of the fcv1 ice's players: Gaussian on the speed and on
// the direction of the requested launch velocity, the speed capped before.
#pragma once

#include <dSFMT.h>

#include "kelvosim/fcv1/fcv1model.h"

namespace Kelvo {

struct Fcv1PlayerNoise {
    bool identical = false;  // plays the velocity unchanged, no cap
    float maxSpeed = FCV1_MAX_SPEED;
    float stddevSpeed = 0.0076f;
    float stddevAngle = 0.0018f;
};

// speed min(|v|, maxSpeed) + N(0, stddevSpeed), direction atan2(vy, vx) +
// N(0, stddevAngle); the turn is kept. A velocity that is not finite is
// played unchanged.
Fcv1Move applyFcv1Noise(const Fcv1Move& requested, const Fcv1PlayerNoise& noise, dsfmt_t& rng);

}  // namespace Kelvo
