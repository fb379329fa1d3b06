#include "noise.h"

#include <cmath>

#include "kelvosim/classic/noise.h"

namespace Kelvo::Server {

Vec2 velocityChange(double ex, double ey) {
    Vec2 d{};
    noiseFromError(ex, ey, d.x, d.y);
    return d;
}

Noise NoiseSource::next() {
    Noise noise;
    noise.ex = normal_(generator_);
    noise.ey = normal_(generator_);
    const Vec2 d = velocityChange(noise.ex, noise.ey);
    noise.dx = d.x;
    noise.dy = d.y;
    return noise;
}

Fcv1NoiseSource::Fcv1NoiseSource(uint64_t seed, const Fcv1PlayerNoise& model) : model_(model) {
    uint32_t words[2] = {uint32_t(seed), uint32_t(seed >> 32)};
    dsfmt_init_by_array(&rng_, words, 2);
}

Fcv1Move Fcv1NoiseSource::play(const Fcv1Move& requested, Noise& noise) {
    const Fcv1Move played = applyFcv1Noise(requested, model_, rng_);
    const double asked = std::hypot(double(requested.vx), double(requested.vy));
    const double capped = model_.identical ? asked : std::fmin(asked, double(model_.maxSpeed));
    noise.ex = std::hypot(double(played.vx), double(played.vy)) - capped;
    noise.ey = std::atan2(double(played.vy), double(played.vx)) - std::atan2(double(requested.vy), double(requested.vx));
    noise.dx = double(played.vx) - double(requested.vx);
    noise.dy = double(played.vy) - double(requested.vy);
    return played;
}

}  // namespace Kelvo::Server
