// The fast board: its set-up after the first contact, the check of its sets
// and the collision rules.
#include "kelvosim/classic/fastboard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Kelvo {

namespace {

void reportError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}

void reportStone(const char* before, int i, const char* after) {
    std::fprintf(stderr, "%s%d%s\n", before, i, after);
    std::fflush(stderr);
}

}  // namespace

void FSBoard::setupAfterFirstHit(const ThinkBoard& board, int32_t struckIndex, const StoneMotion& thrown,
                                 const StoneMotion& struck) {
    stones[0].motion = thrown;
    stones[1].motion = struck;
    awakes = bitSet{};
    nAwake = 0;
    addAwake(0);
    addAwake(1);
    turnColour = board.turn % 2;

    asleeps = bitSet{};
    nAsleep = 0;
    int p = 2;
    for (int c = 0; c < 2; ++c) {
        for (int j = 0; j < board.count[c]; ++j) {
            if (c * 8 + j == struckIndex)
                continue;
            addAsleep(p);
            stones[p].motion.x = board.stones[c][j].x;
            stones[p].motion.y = board.stones[c][j].y;
            stones[p].state = board.state[c][j];
            stones[p].still = true;
            stones[p].origin = board.stones[c][j];
            ++p;
        }
    }

    // The two stones just separated, so they are not tested against each other.
    for (int i = 0; i < 2; ++i) {
        stones[i].asleeps = asleeps;
        stones[i].awakes = bitSet{};
        stones[i].still = false;
    }
    stones[0].state = turnColour;
    stones[1].state = board.state[struckIndex / 8][struckIndex % 8];
}

namespace {

// Whether exam() would pass, in a few word operations: the event loop checks
// the board before every event, so the common case must cost little.
bool examPasses(const FSBoard& fs) {
    const uint32_t awake = fs.awakes.bits, asleep = fs.asleeps.bits;
    uint32_t broken = awake & asleep, white = 0;
    for (uint32_t w = awake; w != 0; w &= w - 1) {
        const int i = __builtin_ctz(w);
        const FSStone& s = fs.stones[i];
        broken |= (s.awakes.bits & ~awake) | (s.asleeps.bits & ~asleep) | ((s.awakes.bits | s.asleeps.bits) & (1u << i));
        white |= uint32_t(s.state & 1) << i;
    }
    for (uint32_t w = asleep; w != 0; w &= w - 1) {
        const int i = __builtin_ctz(w);
        white |= uint32_t(fs.stones[i].state & 1) << i;
    }
    const int nWhite = __builtin_popcount(white);
    const int nBlack = __builtin_popcount(awake | asleep) - nWhite;
    return broken == 0 && nWhite <= 8 && nBlack <= 8;
}

}  // namespace

bool FSBoard::exam() const {
    // The full walk below finds and reports the first fault.
    if (examPasses(*this))
        return true;
    if (!(awakes & asleeps).empty()) {
        reportError("FSBoard::exam() : awakes and asleeps inexclusive.");
        return false;
    }
    bool ok = true;
    forEach(awakes, [&](int i) {
        if (!ok)
            return;
        const FSStone& s = stones[i];
        if (!s.awakes.isSubsetOf(awakes))
            reportStone("FSBoard::exam() : all awakes doesn't hold aw_stone(", i, ")'s awakes.");
        else if (!s.asleeps.isSubsetOf(asleeps))
            reportStone("FSBoard::exam() : all asleeps doesn't hold aw_stone(", i, ")'s asleeps.");
        else if (s.awakes.test(i))
            reportStone("FSBoard::exam() : aw_stone(", i, ")'s awakes holds myself.");
        else if (s.asleeps.test(i))
            reportStone("FSBoard::exam() : aw_stone(", i, ")'s asleeps holds myself.");
        else if (!awakes.test(i))
            reportStone("FSBoard::exam() : awakes doesn't hold aw_stone(", i, ")");
        else if (asleeps.test(i))
            reportStone("FSBoard::exam() : asleeps holds aw_stone(", i, ")");
        else
            return;
        ok = false;
    });
    if (!ok)
        return false;

    int perColour[2] = {0, 0};
    forEach(awakes, [&](int i) { ++perColour[stones[i].state & 1]; });
    forEach(asleeps, [&](int i) { ++perColour[stones[i].state & 1]; });
    for (int c = 0; c < 2; ++c) {
        if (perColour[c] > 8) {
            std::fprintf(stderr, "FSBoard : illegal number of stones( %s%d ).\n", colourName(c), perColour[c]);
            std::fflush(stderr);
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Collision rules

void collideResting(StoneMotion& mover, StoneMotion& resting) {
    const double phi = std::atan2(resting.x - mover.x, resting.y - mover.y);
    const double n = std::cos(mover.angle - phi) * mover.speed;
    const double t = std::sin(mover.angle - phi) * mover.speed;
    // A share of the slip at the contact passes on: the striker's surface
    // there moves at t - spin * R (spin counter-clockwise positive, as the
    // spin w handed out below, which reduces the slip, counts it).
    const double e = (t - mover.spin * STONE_R) * COLLIDE_FRICTION;
    const double w = 2 * e / STONE_R;

    resting.speed = std::hypot(n, e);
    resting.angle = std::atan2(e, n) + phi;
    resting.spin = w;
    resting.time = mover.time;

    // The striker keeps only its across-the-line part, less what it passed on.
    mover.speed = std::fabs(t - e);
    mover.angle = std::atan2(t - e, 0.0) + phi;
    mover.spin += w;
}

void collideMoving(StoneMotion& a, StoneMotion& b) {
    const double phi = std::atan2(b.x - a.x, b.y - a.y);
    const double nA = std::cos(a.angle - phi) * a.speed, tA = std::sin(a.angle - phi) * a.speed;
    const double nB = std::cos(b.angle - phi) * b.speed, tB = std::sin(b.angle - phi) * b.speed;
    // The slip of the two surfaces at the contact, as in collideResting.
    const double e = ((tA - tB) - (a.spin + b.spin) * STONE_R) * COLLIDE_FRICTION;
    const double w = 2 * e / STONE_R;

    // The along-the-line parts are exchanged; e moves from a to b across it.
    b.speed = std::min(std::hypot(nA, tB + e), V_MAX);
    b.angle = std::atan2(tB + e, nA) + phi;
    b.spin += w;
    a.speed = std::min(std::hypot(nB, tA - e), V_MAX);
    a.angle = std::atan2(tA - e, nB) + phi;
    a.spin += w;
}

}  // namespace Kelvo
