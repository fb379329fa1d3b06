#include "noise.h"

#include "kelvosim/noise.h"

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

}  // namespace Kelvo::Server
