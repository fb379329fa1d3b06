// The fcv1 ice: its sheet, its frames and its motion model, in single
// precision. Friction and curl depend on speed and the spin decays; results
// match the framework's float32 arithmetic bit for bit only when every
// operation below runs in the order written.
//
// Shot frame: the hack at the origin, +y down the sheet to the house in play,
// x = 0 the centre line, metres. Board frame (as the search uses it): origin
// at the tee, X = x, Y = y - tee, so +Y points toward the back line.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include <box2d/box2d.h>

namespace Kelvo {

// Sheet, shot frame.
constexpr float FCV1_STONE_R = 0.145f;
constexpr float FCV1_HOUSE_R = 1.829f;
constexpr float FCV1_TEE_Y = 38.405f;
constexpr float FCV1_HOG_Y = 32.004f;
constexpr float FCV1_BACK_LINE_Y = 40.234f;
constexpr float FCV1_BACK_BOARD_Y = 43.892f;
constexpr float FCV1_NEAR_BOARD_Y = -1.829f;
constexpr float FCV1_SIDE_X = 2.375f;  // half the sheet width
// The sheet's middle, origin of the simulation frame.
constexpr float FCV1_SHEET_CENTRE_Y = 21.0315f;

// Model.
constexpr float FCV1_DT = 0.001f;
constexpr float FCV1_PI = 3.14159265359f;
constexpr float FCV1_LAUNCH_SPIN = FCV1_PI / 2;  // rad/s, + for ccw
constexpr float FCV1_FRICTION_A = 0.00200985f;
constexpr float FCV1_FRICTION_B = 0.06385782f;
constexpr float FCV1_FRICTION_C = 0.00626286f;
constexpr float FCV1_GRAVITY = 9.80665f;
constexpr float FCV1_YAW_GAIN = 0.00820f;
constexpr float FCV1_YAW_EXPONENT = -0.8f;
constexpr float FCV1_SPIN_DECAY = 0.025f;
constexpr float FCV1_SPIN_MIN_SPEED = 0.001f;

// Stone bodies.
constexpr float FCV1_STONE_MASS = 19.96f;
constexpr float FCV1_STONE_FRICTION = 0.2f;
constexpr float FCV1_STONE_RESTITUTION = 1.0f;
constexpr int32_t FCV1_VELOCITY_ITERATIONS = 8;
constexpr int32_t FCV1_POSITION_ITERATIONS = 3;

// The framework's players cap the requested speed here.
constexpr float FCV1_MAX_SPEED = 4.0f;

constexpr int32_t FCV1_STONES = 16;
constexpr int32_t FCV1_SHOTS_PER_END = 16;

// Sixteen stones as the framework lays them out: team 0's stones 0..7, then
// team 1's stones 0..7, a team's stone k being the (k+1)-th it throws in the
// end. Shot frame, metres.
struct Fcv1Stones {
    bool present[FCV1_STONES] = {};
    float x[FCV1_STONES] = {};
    float y[FCV1_STONES] = {};
};

struct Fcv1Move {
    float vx = 0, vy = 0;  // launch velocity at the hack, m/s, shot frame
    bool ccw = true;       // ccw: +pi/2 rad/s, curls toward -x; cw: -pi/2, curls toward +x
    // The spin's magnitude at the release, rad/s: always pi/2 on Digital
    // Curling 3; a thrower chooses it from pi/6 on Digital Curling 4. A
    // smaller spin runs out sooner, and the stone then goes straight.
    float spin = FCV1_LAUNCH_SPIN;
};

inline float fcv1LaunchSpin(bool ccw) { return ccw ? FCV1_LAUNCH_SPIN : -FCV1_LAUNCH_SPIN; }
inline float fcv1LaunchSpin(const Fcv1Move& move) { return move.ccw ? move.spin : -move.spin; }

// The simulation frame is centred on the sheet and turns round every end:
// on odd ends both axes (and velocities) are negated. Results do not depend
// on the parity, but float rounding does depend on the translation, so the
// framework's numbers come out only in this frame.
inline b2Vec2 fcv1ToSim(float x, float y, int32_t end) {
    if (end % 2 == 0)
        return b2Vec2(x, y - FCV1_SHEET_CENTRE_Y);
    return b2Vec2(-x, -y + FCV1_SHEET_CENTRE_Y);
}
inline b2Vec2 fcv1FromSim(const b2Vec2& p, int32_t end) {
    if (end % 2 == 0)
        return b2Vec2(p.x, p.y + FCV1_SHEET_CENTRE_Y);
    return b2Vec2(-p.x, -(p.y - FCV1_SHEET_CENTRE_Y));
}
// Velocities only turn round.
inline b2Vec2 fcv1VelocityToSim(float vx, float vy, int32_t end) {
    return end % 2 == 0 ? b2Vec2(vx, vy) : b2Vec2(-vx, -vy);
}
inline b2Vec2 fcv1VelocityFromSim(const b2Vec2& v, int32_t end) { return fcv1VelocityToSim(v.x, v.y, end); }

// The longitudinal acceleration at speed v (negative), m/s^2.
inline float fcv1Acceleration(float v) {
    return -(FCV1_FRICTION_A / (v + FCV1_FRICTION_B) + FCV1_FRICTION_C) * FCV1_GRAVITY;
}

inline float fcv1Sign(float w) { return w > 0 ? 1.0f : -1.0f; }

// The yaw rate of the velocity while the stone spins, 0 once it does not.
inline float fcv1YawRate(float v, float w) {
    if (!(std::fabs(w) > FLT_EPSILON))
        return 0.0f;
    return fcv1Sign(w) * FCV1_YAW_GAIN * std::pow(v, FCV1_YAW_EXPONENT);
}

// One step's update of a stone's velocity and spin before the physics world
// moves it: the speed drops by a(v) dt and the velocity turns by the yaw; the
// spin decays by an amount set by the speed before the update.
inline void fcv1UpdateMotion(b2Vec2& velocity, float& spin) {
    b2Vec2 n = velocity;
    const float speed = n.Normalize();
    if (speed > FLT_EPSILON) {
        const float next = speed + fcv1Acceleration(speed) * FCV1_DT;
        if (next <= 0.0f) {
            velocity.SetZero();
        } else {
            const float yaw = fcv1YawRate(speed, spin) * FCV1_DT;
            velocity = next * std::cos(yaw) * n + next * std::sin(yaw) * n.Skew();
        }
    }
    if (std::fabs(spin) > FLT_EPSILON) {
        const float delta = -FCV1_SPIN_DECAY / std::max(speed, FCV1_SPIN_MIN_SPEED) * FCV1_DT;
        spin = std::fabs(spin) <= std::fabs(delta) ? 0.0f : spin + delta * fcv1Sign(spin);
    }
}

// A stone counts as stopped when its speed squared is at most FLT_EPSILON and
// its (signed) spin is not above it: a clockwise stone with spin left counts.
inline bool fcv1Stopped(const b2Vec2& velocity, float spin) {
    return velocity.LengthSquared() <= FLT_EPSILON && spin <= FLT_EPSILON;
}

// Team throwing a shot (the side without the hammer throws the even shots)
// and the slot its stone takes.
inline int32_t fcv1ThrowingTeam(int32_t shot, int32_t hammer) { return shot % 2 == 0 ? 1 - hammer : hammer; }
inline int32_t fcv1ThrownSlot(int32_t shot) { return shot / 2; }
// Index in the sixteen-stone layout of the stone thrown at `shot`.
inline int32_t fcv1ThrownIndex(int32_t shot, int32_t hammer) {
    return fcv1ThrowingTeam(shot, hammer) * 8 + fcv1ThrownSlot(shot);
}
// Shot number at which the stone at layout index `index` is thrown.
inline int32_t fcv1ShotOfIndex(int32_t index, int32_t hammer) {
    const int32_t team = index / 8, slot = index % 8;
    return 2 * slot + (team == hammer ? 1 : 0);
}

}  // namespace Kelvo
