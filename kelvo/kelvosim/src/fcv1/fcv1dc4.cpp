// Digital Curling 4's rules on the fcv1 motion.
#include "kelvosim/fcv1/fcv1dc4.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "kelvosim/fcv1/fcv1rules.h"

namespace Kelvo {

namespace {

// The standard game's zone covers shots 0..4, mixed doubles' shots 0..2.
constexpr int32_t DC4_GUARD_SHOTS = 5;
constexpr int32_t DC4_MIXED_GUARD_SHOTS = 3;

void takeOff(Fcv1Stones& stones, int i) {
    stones.present[i] = false;
    stones.x[i] = stones.y[i] = 0.0f;
}

}  // namespace

bool parseDc4Guard(const std::string& name, Dc4Guard& guard) {
    for (Dc4Guard g : {Dc4Guard::FGZ, Dc4Guard::NO_TICK, Dc4Guard::MODIFIED_FGZ})
        if (name == dc4GuardName(g)) {
            guard = g;
            return true;
        }
    return false;
}

const char* dc4GuardName(Dc4Guard guard) {
    switch (guard) {
    case Dc4Guard::FGZ: return "fgz_rule";
    case Dc4Guard::NO_TICK: return "no_tick_rule";
    case Dc4Guard::MODIFIED_FGZ: return "modified_fgz_rule";
    }
    return "?";
}

IceRules dc4Rules(Dc4Guard guard) {
    IceRules r;
    r.hog = HogRule::UNTOUCHED_THROWN;
    r.backLineWhileMoving = false;
    r.nearBackBoard = false;
    r.freeGuardShots = guard == Dc4Guard::MODIFIED_FGZ ? DC4_MIXED_GUARD_SHOTS : DC4_GUARD_SHOTS;
    r.guards = guard == Dc4Guard::FGZ       ? GuardRule::OTHER_SIDES_GUARDS
               : guard == Dc4Guard::NO_TICK ? GuardRule::NO_TICK
                                            : GuardRule::EVERY_STONE;
    r.guardWhollyInFront = false;
    r.countRadius = double(DC4_COUNT_R);
    r.tieScores = true;
    r.minSpinRate = double(DC4_MIN_SPIN);
    return r;
}

float dc4ExecutedSpin(double requested) {
    if (!std::isfinite(requested) || requested == 0)
        return DC4_MIN_SPIN;
    const float magnitude = std::clamp(float(std::fabs(requested)), DC4_MIN_SPIN, DC4_MAX_SPIN);
    return requested > 0 ? -magnitude : magnitude;
}

uint32_t dc4ProtectedStones(const Fcv1Stones& before, int32_t shot, int32_t thrower, const IceRules& rules) {
    if (shot >= rules.freeGuardShots)
        return 0;
    uint32_t mask = 0;
    for (int i = 0; i < FCV1_STONES; ++i) {
        if (!before.present[i])
            continue;
        const bool guard = i / 8 != thrower && fcv1InGuardZone(rules, before.x[i], before.y[i]);
        if (rules.guards == GuardRule::EVERY_STONE || guard)
            mask |= 1u << i;
    }
    return mask;
}

Fcv1ShotResult playDc4Shot(Fcv1Simulator& simulator, const Dc4ShotInput& input, const IceRules& rules,
                           Fcv1Trace* trace, int32_t frameEnd) {
    KELVO_CHECK(0 <= input.shot && input.shot < FCV1_SHOTS_PER_END, "0 <= shot && shot < 16");
    KELVO_CHECK(input.thrower == 0 || input.thrower == 1, "thrower == 0 || thrower == 1");
    const int thrown = input.thrower * 8 + input.shot / 2;
    Fcv1Sheet sheet = fcv1SheetThrowing(input.stones, thrown, input.vx, input.vy,
                                        std::isfinite(input.spin) ? input.spin : DC4_MIN_SPIN);

    const Fcv1MovingRemoval moving = fcv1MovingRemoval(rules);
    uint32_t touched = 0;
    Fcv1ShotResult result;
    result.steps = simulator.run(sheet, frameEnd, trace, INT32_MAX, moving, &touched);
    for (int i = 0; i < FCV1_STONES; ++i) {
        const Fcv1Body& s = sheet.stones[i];
        result.stones.present[i] = s.present;
        result.stones.x[i] = s.present ? s.x : 0.0f;
        result.stones.y[i] = s.present ? s.y : 0.0f;
    }
    if (trace)
        trace->rest = result.stones;

    // Once every stone has stopped: the side lines, the back line, and the
    // hog line as the rules say.
    for (int i = 0; i < FCV1_STONES; ++i)
        if (result.stones.present[i] &&
            fcv1OffAtRest(rules, result.stones.x[i], result.stones.y[i], i == thrown && !(touched >> i & 1)))
            takeOff(result.stones, i);

    const uint32_t guarded = dc4ProtectedStones(input.stones, input.shot, input.thrower, rules);
    for (int i = 0; i < FCV1_STONES; ++i)
        if ((guarded >> i & 1) &&
            !fcv1GuardKept(rules, input.stones.x[i], result.stones.present[i], result.stones.x[i]))
            result.foul = true;
    if (result.foul) {
        result.stones = input.stones;
        takeOff(result.stones, thrown);
    }
    return result;
}

std::array<int32_t, 2> scoreDc4End(const Fcv1Stones& stones) {
    struct Entry {
        float distance;
        int team;
    };
    std::vector<Entry> list;
    for (int slot = 0; slot < 8; ++slot)
        for (int team = 0; team < 2; ++team) {
            const int i = team * 8 + slot;
            if (stones.present[i])
                list.push_back(Entry{fcv1DistanceToTee(stones.x[i], stones.y[i]), team});
        }
    std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.distance < b.distance; });
    std::array<int32_t, 2> score{0, 0};
    if (list.empty() || list[0].distance > DC4_COUNT_R)
        return score;
    const int team = list[0].team;
    for (const Entry& e : list) {
        if (e.team != team || e.distance > DC4_COUNT_R)
            break;
        ++score[size_t(team)];
    }
    return score;
}

}  // namespace Kelvo
