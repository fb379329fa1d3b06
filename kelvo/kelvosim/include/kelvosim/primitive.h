// Sheet geometry, stone colours and the shot record.
//
// Two frames are in use. The server frame is the one of the protocol: the tee
// at (FX_TEE, FY_TEE), the thrower toward larger y. The board frame has its
// origin at the tee, X along the server's x and Y toward the back line.
// Constants are authored in single precision and used widened to double;
// derived bounds are formed in double from the widened values, so the
// comparisons below see exactly the doubles noted beside them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Kelvo {

// Consistency checks stay active in every build. A failed one names the
// expression it stands for, the source file and the line, then aborts.
[[noreturn]] inline void checkFailed(const char* expr, const char* file, int line) {
    std::fprintf(stderr, "kelvo: %s:%d: Assertion `%s' failed.\n", file, line, expr);
    std::fflush(stderr);
    std::abort();
}

}  // namespace Kelvo

#define KELVO_CHECK(cond, expr) \
    ((cond) ? void(0) : ::Kelvo::checkFailed(expr, __FILE__, __LINE__))

namespace Kelvo {

constexpr double FX_TEE = double(2.375f);          // 2.375
constexpr double FY_TEE = double(4.88f);           // 4.880000114440918
constexpr double STONE_R = double(0.145f);         // 0.14499999582767487
constexpr double RING4_R = double(0.61f);          // 0.6100000143051147
constexpr double RING8_R = double(1.22f);          // 1.2200000286102295
constexpr double HOUSE_R = double(1.83f);          // 1.8300000429153442
// 36.4 m from the throw point to the tee, as the exact double the bounds use.
constexpr double TEE_TO_THROW = 36.399999499320984;

constexpr double IN_HOUSE_R = HOUSE_R + STONE_R;            // 1.975000038743019
constexpr double PLAY_X = FX_TEE - STONE_R;                 // 2.230000004172325
constexpr double PLAY_Y_MIN = -(TEE_TO_THROW + STONE_R);    // -36.54499949514866
constexpr double PLAY_Y_MAX = IN_HOUSE_R;                   // 1.975000038743019

enum Colour : int32_t { BLACK = 0, WHITE = 1 };

inline const char* colourName(int colour) { return colour == BLACK ? "BLACK" : "WHITE"; }

// One stone of a board: board-frame position with its polar form, which is
// always derived from x and y.
struct fStonePos {
    double x = 0;
    double y = 0;
    double r = 0;   // distance of the centre from the tee
    double th = 0;  // atan2(y, x)
};

inline fStonePos makeStonePos(double x, double y) {
    return fStonePos{x, y, std::hypot(x, y), std::atan2(y, x)};
}

// The shot record: launch velocity (x sideways, y forward from the throw
// point toward the tee), the spin flag 0 or 1 and, on an ice whose thrower
// chooses it, the spin's magnitude at the release in rad/s (0: the ice's
// standard spin). The magnitude sits in the record's padding.
template <typename T>
struct fMoveXY {
    T x = 0;
    T y = 0;
    int32_t spin = 0;
    float spinRate = 0;
};

// A point or vector in the board frame.
struct Vec2 {
    double x;
    double y;
};

inline Vec2 toBoardFrame(float x, float y) {
    return Vec2{double(x) - FX_TEE, FY_TEE - double(y)};
}

inline bool isInPlayArea(double x, double y) {
    return -PLAY_X <= x && x <= PLAY_X && PLAY_Y_MIN <= y && y <= PLAY_Y_MAX;
}

inline bool isInPlayAreaY(double y) { return PLAY_Y_MIN <= y && y <= PLAY_Y_MAX; }

inline bool isInHouse(double r) { return r < IN_HOUSE_R; }

// The free guard zone: outside the house with the centre more than one stone
// radius in front of the tee line. Only the Y half of the play area is
// checked here; a stone beyond it is a broken board.
inline bool isInFreeGuard(const fStonePos& stone) {
    if (isInHouse(stone.r))
        return false;
    KELVO_CHECK(isInPlayAreaY(stone.y), "isInPlayArea(FX_TEE, y)");
    return stone.y < -STONE_R;
}

}  // namespace Kelvo
