#include "noise.h"

namespace Kelvo::Server {

namespace {

constexpr double CURL_OFFSET = double(1.22f);   // aim offset of a spin-0 draw to the tee
constexpr double CURL_SKEW = double(0.0335f);   // small rotation of the error
constexpr double DRAW_FACTOR = 24.0184326171875;  // square of speed per metre of straight draw
constexpr double REFERENCE_VX = -0.99073974;
constexpr double REFERENCE_VY = 29.559775;

}  // namespace

Vec2 velocityChange(double ex, double ey) {
    const double tx = ey * CURL_SKEW + (ex - CURL_OFFSET);
    const double ty = ey - ex * CURL_SKEW;
    const double a = ty + TEE_TO_THROW;
    const double b = tx;
    const double length = std::hypot(b, a);
    const double k = std::sqrt(DRAW_FACTOR) / std::sqrt(length);
    return Vec2{REFERENCE_VX - k * b, REFERENCE_VY - k * a};
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
