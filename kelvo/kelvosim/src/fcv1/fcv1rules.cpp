// The rules of the fcv1 ice.
#include "kelvosim/fcv1/fcv1rules.h"

namespace Kelvo {

bool fcv1LeavesSheet(float x, float y) {
    return std::fabs(x) + FCV1_STONE_R >= FCV1_SIDE_X || y - FCV1_STONE_R >= FCV1_BACK_LINE_Y ||
           y - FCV1_STONE_R <= FCV1_NEAR_BOARD_Y;
}

bool fcv1ShortOfHog(float y) { return y - FCV1_STONE_R <= FCV1_HOG_Y; }

float fcv1DistanceToTee(float x, float y) { return b2Vec2(x, y - FCV1_TEE_Y).Length(); }

bool fcv1InFreeGuardZone(float x, float y) {
    return fcv1DistanceToTee(x, y) >= FCV1_IN_HOUSE_R && y + FCV1_STONE_R < FCV1_TEE_Y;
}

bool fcv1FreeGuardShot(int32_t shot, bool fiveRockRule) { return fiveRockRule && shot < FCV1_FREE_GUARD_SHOTS; }

uint32_t fcv1ProtectedStones(const Fcv1Stones& before, int32_t shot, int32_t thrower, bool fiveRockRule) {
    if (!fcv1FreeGuardShot(shot, fiveRockRule))
        return 0;
    uint32_t mask = 0;
    const int32_t other = 1 - thrower;
    for (int i = other * 8; i < other * 8 + 8; ++i)
        if (before.present[i] && fcv1InFreeGuardZone(before.x[i], before.y[i]))
            mask |= 1u << i;
    return mask;
}

IceRules dc3Rules() {
    IceRules r;
    r.hog = HogRule::STONES_AT_REST;
    r.backLineWhileMoving = true;
    r.nearBackBoard = true;
    r.freeGuardShots = FCV1_FREE_GUARD_SHOTS;
    r.guards = GuardRule::OTHER_SIDES_GUARDS;
    r.guardWhollyInFront = true;
    r.countRadius = double(FCV1_IN_HOUSE_R);
    return r;
}

Fcv1MovingRemoval fcv1MovingRemoval(const IceRules& rules) {
    return Fcv1MovingRemoval{rules.backLineWhileMoving, rules.nearBackBoard};
}

bool fcv1LeavesWhileMoving(float x, float y, const Fcv1MovingRemoval& removal) {
    if (removal.backLine && removal.nearBackBoard)
        return fcv1LeavesSheet(x, y);
    return std::fabs(x) + FCV1_STONE_R >= FCV1_SIDE_X || (removal.backLine && y - FCV1_STONE_R >= FCV1_BACK_LINE_Y) ||
           (removal.nearBackBoard && y - FCV1_STONE_R <= FCV1_NEAR_BOARD_Y);
}

bool fcv1OffAtRest(const IceRules& rules, float x, float y, bool untouchedThrown) {
    // A stone still touching a side line, or wholly past the back line (which
    // rules that check the back line while moving took off before).
    if (std::fabs(x) + FCV1_STONE_R >= FCV1_SIDE_X || y > FCV1_BACK_LINE_Y + FCV1_STONE_R)
        return true;
    switch (rules.hog) {
    case HogRule::NONE: return false;
    case HogRule::STONES_AT_REST: return fcv1ShortOfHog(y);
    case HogRule::UNTOUCHED_THROWN: return untouchedThrown && fcv1ShortOfHog(y);
    }
    return false;
}

bool fcv1InGuardZone(const IceRules& rules, float x, float y) {
    if (rules.guardWhollyInFront)
        return fcv1InFreeGuardZone(x, y);
    return y < FCV1_TEE_Y && fcv1DistanceToTee(x, y) > float(rules.countRadius);
}

namespace {

bool onCentreLine(float x) { return std::fabs(x) <= FCV1_STONE_R; }

}  // namespace

bool fcv1GuardKept(const IceRules& rules, float xBefore, bool presentAfter, float xAfter) {
    if (!presentAfter)
        return false;
    return rules.guards != GuardRule::NO_TICK || !onCentreLine(xBefore) || onCentreLine(xAfter);
}

std::array<int32_t, 2> scoreFcv1End(const Fcv1Stones& stones) {
    float nearest[2] = {FLT_MAX, FLT_MAX};
    float distance[FCV1_STONES];
    for (int i = 0; i < FCV1_STONES; ++i) {
        distance[i] = stones.present[i] ? fcv1DistanceToTee(stones.x[i], stones.y[i]) : FLT_MAX;
        nearest[i / 8] = std::min(nearest[i / 8], distance[i]);
    }
    std::array<int32_t, 2> score{0, 0};
    if (nearest[0] == nearest[1])
        return score;
    const int team = nearest[0] < nearest[1] ? 0 : 1;
    for (int i = team * 8; i < team * 8 + 8; ++i)
        if (distance[i] < nearest[1 - team] && distance[i] < FCV1_IN_HOUSE_R)
            score[team] += 1;
    return score;
}

}  // namespace Kelvo
