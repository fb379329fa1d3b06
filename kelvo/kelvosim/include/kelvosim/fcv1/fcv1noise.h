// Execution noise of the fcv1 ice's players: Gaussian on the speed and on
// the direction of the requested launch velocity, the speed capped before.
#pragma once

#include <cstdint>

#include <dSFMT.h>

#include "kelvosim/fcv1/fcv1model.h"
#include "kelvosim/ice.h"

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

// A referee's noise on the fcv1 ice: the model's errors from a generator of
// its own seeded by the game. The error it reports is that of the speed
// (ex, m/s, against the capped speed) and of the direction (ey, rad), and
// the change of the velocity (dx, dy, shot frame). The answered shot is the
// launch velocity itself; spin 1 turns counter-clockwise.
class Fcv1ThrowNoise final : public ThrowNoise {
public:
    Fcv1ThrowNoise(uint64_t seed, const Fcv1PlayerNoise& model);
    // Seeded as Digital Curling 3 seeds a player's generator: with the
    // player's 32-bit seed alone.
    struct PlayerSeed {
        uint32_t seed = 0;
    };
    Fcv1ThrowNoise(PlayerSeed seed, const Fcv1PlayerNoise& model);
    // The move as played and the noise it got.
    Fcv1Move play(const Fcv1Move& requested, ThrowError& error);
    fMoveXY<double> thrown(const fMoveXY<double>& answered, ThrowError& error) override;

private:
    Fcv1PlayerNoise model_;
    // The generator works on its state with 16-byte loads.
    alignas(16) dsfmt_t rng_;
};

}  // namespace Kelvo
