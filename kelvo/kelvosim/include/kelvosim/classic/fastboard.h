// The fast board: the stones of a shot after its first contact, split into
// the awake set (moving) and the asleep set (resting), each moving stone with
// the stones it may still meet; the check of those sets; and the rules by
// which one stone slides along the stored paths and two stones collide.
// Stones never integrate their motion here: a sliding stone jumps along the
// paths of the motion tables from one speed to a lower one, and contacts are
// resolved analytically.
#pragma once

#include <cstdint>

#include "kelvosim/bitSet.h"
#include "kelvosim/classic/motiontables.h"
#include "kelvosim/primitive.h"
#include "kelvosim/board/thinkboard.h"
#include "kelvosim/classic/tunables.h"

namespace Kelvo {

struct StoneMotion {
    double x = 0, y = 0;
    double angle = 0;  // heading of the velocity, atan2(vx, vy)
    double time = 0;   // sliding time since the shot started
    double speed = 0;
    double spin = 0;   // only its sign selects the curl
};

struct FSStone {
    StoneMotion motion;
    bitSet asleeps;        // asleep stones it may still reach
    bitSet awakes;         // awake stones it may still meet
    double stopDist = 0;
    double stopTime = 0;
    int32_t state = 0;
    bool still = false;    // has rested where the board had it since the shot began
    fStonePos origin;      // that place, with its polar form, while still
};

struct FSBoard {
    FSStone stones[16];    // 0 the thrown stone, 1 the first stone struck, then the rest
    bitSet awakes;
    int32_t nAwake = 0;
    bitSet asleeps;
    int32_t nAsleep = 0;
    int32_t turnColour = 0;

    void setupAfterFirstHit(const ThinkBoard& board, int32_t struckIndex, const StoneMotion& thrown,
                            const StoneMotion& struck);
    bool exam() const;

    // The board's sets change only through these, which keep nAwake and
    // nAsleep equal to the sizes of awakes and asleeps. The stones' own lists
    // of whom they may meet are the event loop's to keep.
    void addAwake(int i) {
        awakes.set(i);
        nAwake += 1;
    }
    void addAsleep(int i) {
        asleeps.set(i);
        nAsleep += 1;
    }
    // A moving stone that left play.
    void removeAwake(int i) {
        awakes.reset(i);
        nAwake -= 1;
    }
    // A resting stone struck into motion.
    void wake(int i) {
        asleeps.reset(i);
        nAsleep -= 1;
        addAwake(i);
    }
    // A moving stone come to rest in play.
    void fallAsleep(int i) {
        removeAwake(i);
        addAsleep(i);
    }
};

// ---------------------------------------------------------------------------
// Sliding and collision rules (their constants are in tunables.h)

inline bool isInPlay(const StoneMotion& s) { return isInPlayArea(s.x, s.y); }

// The tables hold the positive curl; a stone with spin <= 0 uses the mirror.
inline bool mirrored(const StoneMotion& s) { return !(s.spin > 0); }

// Slides the stone from speed row k to rest. Inline, as the slides below:
// the event loop takes them all the time.
inline void slideToRest(const MotionTables& tables, int k, StoneMotion& stone) {
    const PathEntry e = tables.pathEntry(k, mirrored(stone));
    const Vec2 d = rotateToBoard(stone.angle + e.dAngle, e.dx, e.dy);
    stone.x += d.x;
    stone.y += d.y;
    stone.time += e.time;
}

// Slides the stone from speed row k1 down to the lower row k2.
inline void slideBetween(const MotionTables& tables, int k1, int k2, StoneMotion& stone) {
    const PathEntry e1 = tables.pathEntry(k1, false);
    const PathEntry e2 = tables.pathEntry(k2, false);
    double ddx = e1.dx - e2.dx;
    const double ddy = e1.dy - e2.dy;
    double da = e1.dAngle - e2.dAngle;
    const double dt = e1.time - e2.time;
    double a1 = e1.dAngle;
    if (mirrored(stone)) {
        ddx = -ddx;
        da = -da;
        a1 = -a1;
    }
    const Vec2 d = rotateToBoard(stone.angle + a1, ddx, ddy);
    stone.x += d.x;
    stone.y += d.y;
    stone.angle += da;
    stone.time += dt;
    stone.speed -= dt * DECEL;
}

void collideResting(StoneMotion& mover, StoneMotion& resting);
void collideMoving(StoneMotion& a, StoneMotion& b);

}  // namespace Kelvo
