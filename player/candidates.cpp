// Candidate shots per end strategy. Each set looks at the board, aims at
// points on the sheet and turns them into launch velocities with the shot
// inversion. Colours are absolute: Force1, Steal and Prevent Multi play for
// BLACK (the side without the last stone), Score2, Score3 or more and Prevent
// Steal for WHITE.
#include "candidates.h"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/board/simcontext.h"
#include "kelvosim/ice.h"

namespace Kelvo {

// Hits are asked of the ice on its takeout scale: the takeout is a full one.
static_assert(TAKEOUT_SPEED == TAKEOUT_SCALE, "TAKEOUT_SPEED == TAKEOUT_SCALE");

Candidate resolveAim(const SimContext& sim, const Aim& aim) {
    const Ice& ice = *sim.ice;
    switch (aim.kind) {
    case Aim::DRAW: return ice.drawTo(aim.target, aim.spin);
    case Aim::PASS_THROUGH: return ice.passThrough(aim.target, aim.param, aim.spin);
    case Aim::HIT: return ice.hitAt(aim.target, aim.param, aim.spin);
    }
    return Candidate{0, 0, aim.spin};
}

int32_t writeCandidates(CandidateSet set, const ThinkBoard& board, Candidate* candidates) {
    CandidateWriter w{&simOf(board), candidates};
    return set(board, w);
}

namespace {

constexpr double PI = 3.141592653589793;

// A missing stone (a slot at or past count) is absent: it lies infinitely
// far from the tee, so it is never near the button and never nearer than a
// stone that exists. Reading the slot itself would pick up whatever stone
// last occupied it.
constexpr double ABSENT_R = std::numeric_limits<double>::infinity();

double radiusOf(const ThinkBoard& board, int colour, int i) {
    return i < board.count[colour] ? board.stones[colour][i].r : ABSENT_R;
}

int spinBySide(double v) { return v > 0 ? 1 : 0; }

int32_t countGuards(const ThinkBoard& board, bool (*inLane)(double x)) {
    int32_t n = 0;
    for (int c = 0; c < 2; ++c)
        for (int i = board.inHouse[c]; i < board.count[c]; ++i)
            if (inLane(board.stones[c][i].x))
                ++n;
    return n;
}

// ---------------------------------------------------------------------------
// The shared candidate forms.

void draw(CandidateWriter& w, double x, double y, int spin) { w.add(Aim{Aim::DRAW, Vec2{x, y}, 0, spin}); }

void takeout(CandidateWriter& w, const fStonePos& s) {
    w.add(Aim{Aim::HIT, Vec2{s.x, s.y - HIT_GAP - AIM_BIAS}, TAKEOUT_SPEED, spinBySide(s.x)});
}

void freeze(CandidateWriter& w, const fStonePos& s) { w.add(Aim{Aim::DRAW, Vec2{s.x, s.y - FREEZE_GAP}, 0, 1}); }

void tap(CandidateWriter& w, const fStonePos& s, int spin) {
    w.add(Aim{Aim::PASS_THROUGH, Vec2{s.x, s.y - HIT_GAP - AIM_BIAS}, std::fabs(s.y), spin});
}

void tap(CandidateWriter& w, const fStonePos& s) { tap(w, s, spinBySide(s.x)); }

void frontGuards(CandidateWriter& w, const fStonePos& s) {
    draw(w, s.x, s.y - LONG_GUARD, spinBySide(s.x));
    draw(w, s.x, s.y - SHORT_GUARD, spinBySide(s.x));
}

void behindGuardDraws(CandidateWriter& w, const fStonePos& s) {
    if (!(s.y < BEHIND_GUARD_Y))
        return;
    draw(w, s.x, s.y + BEHIND_GUARD_FAR, spinBySide(s.x));
    draw(w, s.x, s.y + BEHIND_GUARD_NEAR, spinBySide(s.x));
}

void mirrorDraw(CandidateWriter& w, const fStonePos& s) { draw(w, -s.x, s.y, spinBySide(-s.x)); }

void comeAround(CandidateWriter& w, const fStonePos& s) { w.add(comeAroundAim(s)); }

void teeDraws(CandidateWriter& w) {
    draw(w, 0.0, 0.0, 1);
    draw(w, 0.0, 0.0, 0);
}

// A second counting stone on the tee line, 0.61 or 1.22 out on either side,
// where it stays nearer than a stone at distance f.
void teeLineDraws(CandidateWriter& w, double f) {
    for (double side : {1.0, -1.0}) {
        if (f > TEE_LINE_NEAR)
            draw(w, side * TEE_LINE_DRAW_NEAR, 0.0, spinBySide(side * TEE_LINE_DRAW_NEAR));
        if (f > TEE_LINE_FAR)
            draw(w, side * TEE_LINE_DRAW_FAR, 0.0, spinBySide(side * TEE_LINE_DRAW_FAR));
    }
}

void leftCornerGuards(CandidateWriter& w) {
    draw(w, -CORNER_X, -LONG_GUARD, 1);
    draw(w, -CORNER_X, -SHORT_GUARD, 1);
}

void rightCornerGuards(CandidateWriter& w) {
    draw(w, CORNER_X, -LONG_GUARD, 0);
    draw(w, CORNER_X, -SHORT_GUARD, 0);
}

void houseStones(const ThinkBoard& board, int colour, void (*form)(CandidateWriter&, const fStonePos&),
                 CandidateWriter& w) {
    for (int i = 0; i < board.inHouse[colour]; ++i)
        form(w, board.stones[colour][i]);
}

void guardStones(const ThinkBoard& board, int colour, void (*form)(CandidateWriter&, const fStonePos&),
                 CandidateWriter& w) {
    for (int i = board.inHouse[colour]; i < board.count[colour]; ++i)
        form(w, board.stones[colour][i]);
}

void allStones(const ThinkBoard& board, int colour, void (*form)(CandidateWriter&, const fStonePos&),
               CandidateWriter& w) {
    for (int i = 0; i < board.count[colour]; ++i)
        form(w, board.stones[colour][i]);
}

// Skip rule of a pair: front is the stone to be struck (nearer the thrower),
// rear the one it is to be driven toward.
using PairSkip = bool (*)(const ThinkBoard& board, const fStonePos& front, const fStonePos& rear);

bool skipNone(const ThinkBoard&, const fStonePos&, const fStonePos&) { return false; }

// While the free guard zone rule applies, no pair is struck from a guard in
// front of the tee line outside the 1.83 circle.
bool skipFreeGuardFront(const ThinkBoard& board, const fStonePos& front, const fStonePos&) {
    return freeGuardRuleApplies(board, board.turn) && front.y < 0 && front.r > TAKE_R;
}

// Drives one stone of a colour onto another of it: both hit variants over
// every pair, the stones ordered from the thrower backwards.
void hitTowardPairs(const ThinkBoard& board, int colour, PairSkip skip, CandidateWriter& w) {
    const int n = board.count[colour];
    fStonePos list[8];
    for (int i = 0; i < n; ++i)
        list[i] = board.stones[colour][i];
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (list[i].y > list[j].y)
                std::swap(list[i], list[j]);

    for (auto make : {hitTowardAim, hitTowardContactAim})
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j) {
                Aim aim;
                if (!skip(board, list[i], list[j]) && make(list[i], list[j], aim))
                    w.add(aim);
            }
}

// Closes a set: an empty list gets a draw to the tee.
int32_t finish(CandidateWriter& w) {
    if (w.n == 0)
        draw(w, 0.0, 0.0, 1);
    return w.n;
}

}  // namespace

// ---------------------------------------------------------------------------
// Guard counts: stones outside the house, by lane. The comparisons are strict,
// so a stone exactly on a lane edge counts for none.

int32_t countCenterGuards(const ThinkBoard& board) {
    return countGuards(board, [](double x) { return std::fabs(x) < LANE_HALF; });
}

int32_t countLeftGuards(const ThinkBoard& board) {
    return countGuards(board, [](double x) { return x < -LANE_HALF; });
}

int32_t countRightGuards(const ThinkBoard& board) {
    return countGuards(board, [](double x) { return x > LANE_HALF; });
}

// ---------------------------------------------------------------------------
// Shot helpers

// Passes the stone on its outer side and curls in behind it toward the
// centre line. The extra distances are deliberately not mirror images.
Aim comeAroundAim(const fStonePos& stone) {
    Aim aim;
    aim.kind = Aim::PASS_THROUGH;
    double phi;
    if (stone.x > 0) {
        phi = COME_AROUND_RIGHT;
        aim.spin = 1;
        aim.param = stone.x + FX_TEE + COME_AROUND_TRIM;
    } else {
        phi = COME_AROUND_LEFT;
        aim.spin = 0;
        aim.param = FX_TEE - stone.x - COME_AROUND_TRIM;
    }
    aim.target = Vec2{stone.x + std::cos(phi), stone.y - std::sin(phi) - AIM_BIAS};
    return aim;
}

void makeComeAround(const SimContext& sim, const fStonePos& stone, Candidate& rec) {
    rec = resolveAim(sim, comeAroundAim(stone));
}

namespace {

// The hit window: B must lie behind A within 35 degrees of the centre-line
// direction. The angle is kept in single precision, as the aim is.
bool inHitWindow(float theta, float& deg) {
    deg = float(double(theta * 180.0f) / (4 * std::atan(1.0)));
    return !(deg < HIT_WINDOW_LOW_DEG || deg > HIT_WINDOW_HIGH_DEG);
}

Aim hitFrom(float theta, float deg, double ax, double ay, bool contact) {
    const float h = float(double(theta) + PI);
    const double offX = double(std::cos(h)) * STONE_R * 2;
    const double offY = double(std::sin(h)) * STONE_R * 2;
    const Vec2 aimPoint{ax + offX, (contact ? ay + offY : ay - offY) - AIM_BIAS};
    return Aim{Aim::HIT, aimPoint, TAKEOUT_SPEED, deg > 90 ? 1 : 0};
}

bool resolveIf(const SimContext& sim, bool made, const Aim& aim, Candidate& rec) {
    if (made)
        rec = resolveAim(sim, aim);
    return made;
}

}  // namespace

namespace {

// Whether B lies so far from straight behind A that the window test cannot
// pass, however its single-precision angle rounds.
bool farOutsideHitWindow(double dx, double dy) { return !(dy > 0) || std::fabs(dx) > HIT_WINDOW_PRECHECK_SLOPE * dy; }

}  // namespace

// Aims behind A, on the line that sends A along the direction to B.
bool hitTowardAim(const fStonePos& a, const fStonePos& b, Aim& aim) {
    if (farOutsideHitWindow(b.x - a.x, b.y - a.y))
        return false;
    const float theta = float(std::atan2(b.y - a.y, b.x - a.x));
    float deg;
    if (!inHitWindow(theta, deg))
        return false;
    aim = hitFrom(theta, deg, a.x, a.y, false);
    return true;
}

// Aims at the thrown stone's centre at the moment of contact, in front of A.
// A B almost straight behind A (|dx| < 0.05) is taken as straight behind.
bool hitTowardContactAim(const fStonePos& a, const fStonePos& b, Aim& aim) {
    const float dx = float(b.x - a.x);
    const bool straightBehind = std::fabs(dx) < STRAIGHT_BEHIND_DX;
    if (!straightBehind && farOutsideHitWindow(dx, float(b.y - a.y)))
        return false;
    const float theta = straightBehind ? 1.5707964f : std::atan2(float(b.y - a.y), dx);
    float deg;
    if (!inHitWindow(theta, deg))
        return false;
    aim = hitFrom(theta, deg, a.x, a.y, true);
    return true;
}

bool makeHitToward(const SimContext& sim, const fStonePos& a, const fStonePos& b, Candidate& rec) {
    Aim aim;
    return resolveIf(sim, hitTowardAim(a, b, aim), aim, rec);
}

bool makeHitTowardContact(const SimContext& sim, const fStonePos& a, const fStonePos& b, Candidate& rec) {
    Aim aim;
    return resolveIf(sim, hitTowardContactAim(a, b, aim), aim, rec);
}

// ---------------------------------------------------------------------------
// Candidate sets

int32_t candidatesForce1(const ThinkBoard& board, CandidateWriter& w) {
    const fStonePos* own = board.stones[BLACK];
    const fStonePos* opp = board.stones[WHITE];
    const int32_t centre = countCenterGuards(board);

    if (centre == 0) {
        draw(w, 0.0, -LONG_GUARD, 1);
        draw(w, 0.0, -HIGH_GUARD, 1);
        draw(w, 0.0, -SHORT_GUARD, 1);
    }

    const int n = board.count[WHITE];
    if (n == 1) {
        takeout(w, opp[0]);
    } else if (n >= 2) {
        // The opponent's house stones and its nearest guard stay while they
        // lie behind the tee line.
        for (int i = 0; i < n; ++i)
            if (!(i <= board.inHouse[WHITE] && opp[i].y > 0))
                takeout(w, opp[i]);
        hitTowardPairs(
            board, WHITE,
            [](const ThinkBoard&, const fStonePos&, const fStonePos& rear) { return rear.y > 0 && rear.r > TAKE_R; },
            w);
    }

    if (board.inHouse[BLACK] == 0) {
        if (centre != 0) {
            allStones(board, BLACK, behindGuardDraws, w);
            guardStones(board, WHITE, behindGuardDraws, w);
        }
    } else {
        for (int i = 0; i < board.inHouse[BLACK]; ++i)
            if (std::fabs(own[i].x) < LANE_HALF)
                comeAround(w, own[i]);
        houseStones(board, BLACK, mirrorDraw, w);
        // Opponent stone 0 and own stone 1 may be missing (absent, infinitely
        // far): with no opponent stone every tee-line draw counts.
        const double oppR = radiusOf(board, WHITE, 0);
        const double ownSecondR = radiusOf(board, BLACK, 1);
        if (board.inHouse[WHITE] == 0 || oppR > own[0].r) {
            teeLineDraws(w, oppR > ownSecondR ? ownSecondR : oppR);
        } else {
            houseStones(board, BLACK, freeze, w);
            houseStones(board, WHITE, freeze, w);
        }
    }
    return finish(w);
}

int32_t candidatesSteal(const ThinkBoard& board, CandidateWriter& w) {
    const fStonePos* own = board.stones[BLACK];

    if (board.turn == SHOTS_PER_END) {
        draw(w, 0.0, -LONG_GUARD, 1);
        draw(w, 0.0, -SHORT_GUARD, 1);
    } else if (const int32_t centre = countCenterGuards(board); centre == 0) {
        draw(w, 0.0, -LONG_GUARD, 1);
        draw(w, 0.0, -SHORT_GUARD, 1);
        for (int i = 0; i < board.inHouse[BLACK]; ++i)
            if (std::fabs(own[i].x) < LANE_HALF)
                frontGuards(w, own[i]);
        if (board.turn >= LAST_STONE_BELOW_TURN)
            for (int i = 0; i < board.count[BLACK]; ++i)
                if (own[i].y < 0)
                    tap(w, own[i]);
        houseStones(board, BLACK, freeze, w);
        houseStones(board, WHITE, freeze, w);
        guardStones(board, BLACK, behindGuardDraws, w);
        guardStones(board, WHITE, behindGuardDraws, w);
    } else {
        if (centre < 3) {
            draw(w, 0.0, -HIGH_GUARD, 1);
            for (int i = 0; i < board.inHouse[BLACK]; ++i)
                if (std::fabs(own[i].x) < LANE_HALF)
                    draw(w, own[i].x, own[i].y - LONG_GUARD, spinBySide(own[i].x));
        }
        // A missing own stone 0 is absent, so never near the button; missing
        // own stone 1 or opponent stone 0 lie infinitely far.
        const bool nearButton = board.count[BLACK] > 0 && std::fabs(own[0].x) < LANE_HALF &&
                                std::fabs(own[0].y) < LANE_HALF;
        if (nearButton) {
            const double oppR = radiusOf(board, WHITE, 0);
            const double ownSecondR = radiusOf(board, BLACK, 1);
            teeLineDraws(w, oppR > ownSecondR ? ownSecondR : oppR);
        } else {
            teeDraws(w);
        }
    }

    allStones(board, WHITE, takeout, w);
    hitTowardPairs(board, WHITE, skipFreeGuardFront, w);
    return finish(w);
}

int32_t candidatesPreventMulti(const ThinkBoard& board, CandidateWriter& w) {
    const fStonePos* opp = board.stones[WHITE];

    if (board.count[WHITE] == 0) {
        teeDraws(w);
        draw(w, TEE_LINE_DRAW_NEAR, 0.0, 1);
        draw(w, TEE_LINE_DRAW_FAR, 0.0, 1);
        draw(w, -TEE_LINE_DRAW_NEAR, 0.0, 0);
        draw(w, -TEE_LINE_DRAW_FAR, 0.0, 0);
    } else {
        // Stones behind the tee line outside the 1.83 circle are left alone.
        for (int i = 0; i < board.count[WHITE]; ++i)
            if (opp[i].y <= 0 || opp[i].r <= TAKE_R)
                takeout(w, opp[i]);
        for (int i = 0; i < board.inHouse[WHITE]; ++i)
            if (opp[i].y > 0)
                freeze(w, opp[i]);
    }
    return finish(w);
}

int32_t candidatesScore2(const ThinkBoard& board, CandidateWriter& w) {
    const fStonePos* own = board.stones[WHITE];
    const fStonePos* opp = board.stones[BLACK];

    if (board.turn > FIRST_STONE_ABOVE_TURN) {
        leftCornerGuards(w);
        rightCornerGuards(w);
    } else {
        guardStones(board, BLACK, behindGuardDraws, w);
        guardStones(board, WHITE, behindGuardDraws, w);
        if (countLeftGuards(board) == 0)
            leftCornerGuards(w);
        if (countRightGuards(board) == 0)
            rightCornerGuards(w);
        for (int i = 0; i < board.inHouse[WHITE]; ++i) {
            if (std::fabs(own[i].x) < LANE_HALF)
                comeAround(w, own[i]);
            mirrorDraw(w, own[i]);
            frontGuards(w, own[i]);
        }
        for (int i = 0; i < board.inHouse[BLACK]; ++i) {
            if (opp[i].y < 0)
                takeout(w, opp[i]);
            freeze(w, opp[i]);
        }
        for (int i = board.inHouse[BLACK]; i < board.count[BLACK]; ++i)
            if (opp[i].y <= 0 || opp[i].r <= TAKE_R)
                takeout(w, opp[i]);
        hitTowardPairs(board, BLACK, skipFreeGuardFront, w);
    }

    if (board.turn < LAST_STONE_BELOW_TURN) {
        teeDraws(w);
        for (int i = 0; i < board.inHouse[BLACK]; ++i)
            if (opp[i].y > 0)
                takeout(w, opp[i]);
    }
    return finish(w);
}

int32_t candidatesScore3(const ThinkBoard& board, CandidateWriter& w) {
    const fStonePos* own = board.stones[WHITE];
    const fStonePos* opp = board.stones[BLACK];

    if (countLeftGuards(board) == 0)
        leftCornerGuards(w);
    if (countRightGuards(board) == 0)
        rightCornerGuards(w);

    if (board.inHouse[BLACK] > 0) {
        houseStones(board, BLACK, freeze, w);
        for (int i = 0; i < board.inHouse[WHITE]; ++i) {
            freeze(w, own[i]);
            tap(w, own[i], 1);
        }
    }

    guardStones(board, BLACK, behindGuardDraws, w);
    guardStones(board, WHITE, behindGuardDraws, w);
    houseStones(board, WHITE, frontGuards, w);

    if (board.turn < SCORE3_HITS_BELOW_TURN) {
        for (int i = 0; i < board.count[BLACK]; ++i)
            if (opp[i].y <= 0 || opp[i].r <= TAKE_R)
                takeout(w, opp[i]);
        hitTowardPairs(board, BLACK, skipNone, w);
    }
    if (board.turn < SCORE3_TEE_DRAWS_BELOW_TURN)
        teeDraws(w);

    if (w.n == 0) {
        draw(w, 0.0, 0.0, 1);
        draw(w, 0.0, -FREEZE_GAP, 1);
    }
    return w.n;
}

int32_t candidatesPreventSteal(const ThinkBoard& board, CandidateWriter& w) {

    if (board.turn < LAST_STONE_BELOW_TURN) {
        draw(w, 0.0, 0.0, 1);
        draw(w, 0.0, -FREEZE_GAP, 1);
        // Meant: late in the end the takeouts go in twice. The search visits
        // the candidates in turn and a playout picks one at random, so the
        // second copy doubles their share of both.
        allStones(board, BLACK, takeout, w);
    }
    allStones(board, BLACK, takeout, w);
    hitTowardPairs(board, BLACK, skipNone, w);
    // An empty sheet gets one corner guard to the +X side.
    if (board.count[BLACK] == 0 && board.count[WHITE] == 0)
        draw(w, EMPTY_SHEET_GUARD_X, EMPTY_SHEET_GUARD_Y, 1);
    return finish(w);
}

}  // namespace Kelvo
