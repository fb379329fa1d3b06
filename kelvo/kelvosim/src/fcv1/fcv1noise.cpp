// Execution noise of the fcv1 ice's players.
#include "kelvosim/fcv1/fcv1noise.h"

#include <algorithm>
#include <cmath>

namespace Kelvo {

Fcv1Move applyFcv1Noise(const Fcv1Move& requested, const Fcv1PlayerNoise& noise, dsfmt_t& rng) {
    if (noise.identical || !std::isfinite(requested.vx) || !std::isfinite(requested.vy))
        return requested;
    // Two independent standard normals from one Box-Muller pair.
    const double u1 = dsfmt_genrand_open_open(&rng);
    const double u2 = dsfmt_genrand_open_open(&rng);
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double phi = 2.0 * M_PI * u2;
    const double speed = std::min(std::hypot(double(requested.vx), double(requested.vy)), double(noise.maxSpeed)) +
                         noise.stddevSpeed * r * std::cos(phi);
    const double angle = std::atan2(double(requested.vy), double(requested.vx)) + noise.stddevAngle * r * std::sin(phi);
    Fcv1Move played = requested;
    played.vx = float(speed * std::cos(angle));
    played.vy = float(speed * std::sin(angle));
    return played;
}

}  // namespace Kelvo
