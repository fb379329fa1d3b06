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

Fcv1ThrowNoise::Fcv1ThrowNoise(uint64_t seed, const Fcv1PlayerNoise& model) : model_(model) {
    uint32_t words[2] = {uint32_t(seed), uint32_t(seed >> 32)};
    dsfmt_init_by_array(&rng_, words, 2);
}

Fcv1ThrowNoise::Fcv1ThrowNoise(PlayerSeed seed, const Fcv1PlayerNoise& model) : model_(model) {
    dsfmt_init_gen_rand(&rng_, seed.seed);
}

Fcv1Move Fcv1ThrowNoise::play(const Fcv1Move& requested, ThrowError& error) {
    const Fcv1Move played = applyFcv1Noise(requested, model_, rng_);
    const double asked = std::hypot(double(requested.vx), double(requested.vy));
    const double capped = model_.identical ? asked : std::fmin(asked, double(model_.maxSpeed));
    error.ex = std::hypot(double(played.vx), double(played.vy)) - capped;
    error.ey = std::atan2(double(played.vy), double(played.vx)) - std::atan2(double(requested.vy), double(requested.vx));
    error.dx = double(played.vx) - double(requested.vx);
    error.dy = double(played.vy) - double(requested.vy);
    return played;
}

fMoveXY<double> Fcv1ThrowNoise::thrown(const fMoveXY<double>& answered, ThrowError& error) {
    const Fcv1Move asked{float(answered.x), float(answered.y), answered.spin == 1};
    const Fcv1Move played = play(asked, error);
    return fMoveXY<double>{double(played.vx), double(played.vy), answered.spin};
}

}  // namespace Kelvo
