#include "kelvosim/classic/noise.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "kelvosim/primitive.h"

namespace Kelvo {

double drawOpen(dsfmt_t& rng) {
    // A double in [1, 2) with its lowest mantissa bit set, so that after the
    // subtraction neither 0 nor 1 can come out.
    const double closed = dsfmt_genrand_close1_open2(&rng);
    uint64_t bits;
    std::memcpy(&bits, &closed, sizeof bits);
    bits |= 1;
    double open;
    std::memcpy(&open, &bits, sizeof open);
    return open - 1.0;
}

void noiseFromError(double ex, double ey, double& dx, double& dy) {
    // Target of a spin-0 draw to the tee, moved by the slightly turned error.
    const double tx = ey * NOISE_CURL_SKEW + (ex - NOISE_CURL_OFFSET);
    const double ty = ey - ex * NOISE_CURL_SKEW;
    // Straight draw to that target: speed sqrt(2 DECEL L) towards it.
    const double a = ty + TEE_TO_THROW;
    const double b = tx;
    const double length = std::hypot(b, a);
    const double k = std::sqrt(NOISE_DRAW_FACTOR) / std::sqrt(length);
    dx = NOISE_REF_VX - k * b;
    dy = NOISE_REF_VY - k * a;
}

void sampleNoise(dsfmt_t& rng, double& dx, double& dy) {
    const double u1 = drawOpen(rng);
    const double u2 = drawOpen(rng);
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double phi = u2 * 6.283185307179586;
    const double ex = r * std::cos(phi) * NOISE_SIGMA + 0;
    const double ey = r * std::sin(phi) * NOISE_SIGMA + 0;
    noiseFromError(ex, ey, dx, dy);
}

Vec2 velocityChange(double ex, double ey) {
    Vec2 d{};
    noiseFromError(ex, ey, d.x, d.y);
    return d;
}

ThrowError TargetErrorNoise::next() {
    ThrowError error;
    error.ex = normal_(generator_);
    error.ey = normal_(generator_);
    const Vec2 d = velocityChange(error.ex, error.ey);
    error.dx = d.x;
    error.dy = d.y;
    return error;
}

fMoveXY<double> TargetErrorNoise::thrown(const fMoveXY<double>& answered, ThrowError& error) {
    // The protocol's y points back toward the thrower: forward is its negation.
    error = next();
    return fMoveXY<double>{answered.x + error.dx, -answered.y + error.dy, answered.spin};
}

}  // namespace Kelvo
