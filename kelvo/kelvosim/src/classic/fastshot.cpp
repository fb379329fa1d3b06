// The fast shot simulation: the three entry points and the event loop that
// plays out a fast board after the first contact.
#include "kelvosim/classic/fastshot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kelvosim/classic/handover.h"
#include "kelvosim/board/simcontext.h"
#include "kelvosim/classic/classicice.h"

namespace Kelvo {

namespace {

constexpr double CONTACT_D2 = CONTACT_D * CONTACT_D;

double dist2(const StoneMotion& a, const StoneMotion& b) {
    const double dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// Whether two touching stones are closing in on each other along the line of
// centres. Stones that touch but move apart (or not at all) must not collide:
// a collision would pull them together, and touching stones would meet again
// in every pass.
bool approaching(const StoneMotion& a, const StoneMotion& b) {
    const double rvx = std::sin(a.angle) * a.speed - std::sin(b.angle) * b.speed;
    const double rvy = std::cos(a.angle) * a.speed - std::cos(b.angle) * b.speed;
    return rvx * (b.x - a.x) + rvy * (b.y - a.y) > 0;
}

// The same for a moving stone and a resting one, whose speed and heading
// are left over from its last slide and mean nothing.
bool approachingResting(const StoneMotion& mover, const StoneMotion& resting) {
    return std::sin(mover.angle) * (resting.x - mover.x) + std::cos(mover.angle) * (resting.y - mover.y) > 0 &&
           mover.speed > 0;
}

// Distance to the rest point after sliding a gap along a path whose chord
// deviates from the direction of travel by CHORD_ANGLE.
double remainingDistance(double gap, double stop) {
    return std::sqrt(gap * gap + stop * stop - 2 * gap * stop * std::cos(CHORD_ANGLE));
}

// The thrown stone at its launch, with its speed (clamped to V_MAX) and
// heading already worked out.
StoneMotion thrownStone(const MotionState& launch, double speed, double heading) {
    StoneMotion t;
    t.x = launch.x;
    t.y = launch.y;
    t.angle = heading;
    t.time = 0;
    t.speed = speed;
    t.spin = launch.spin;
    return t;
}

StoneMotion thrownStone(const MotionState& launch) {
    return thrownStone(launch, std::min(std::hypot(launch.vx, launch.vy), V_MAX), std::atan2(launch.vx, launch.vy));
}

StoneMotion restingStone(const fStonePos& p) {
    StoneMotion r;
    r.x = p.x;
    r.y = p.y;
    return r;
}

int thrownColour(const ThinkBoard& board) { return board.turn % 2; }

// The thrown stone came to rest without touching anything.
ShotChange placeThrownStone(const MotionTables& tables, ThinkBoard& board, int k, StoneMotion& thrown) {
    slideToRest(tables, k, thrown);
    if (!isInPlay(thrown))
        return CHANGE_NONE;
    addStoneTracked(board, thrownColour(board), thrown.x, thrown.y);
    return CHANGE_ADDED;
}

// ---------------------------------------------------------------------------
// Event loop

// Moving stone i strikes resting stone j: j wakes, and both may now meet
// every other stone again.
void contactResting(FSBoard& fs, int i, int j) {
    FSStone& si = fs.stones[i];
    FSStone& sj = fs.stones[j];
    collideResting(si.motion, sj.motion);
    sj.still = false;

    bitSet others = fs.awakes;
    others.reset(i);
    fs.wake(j);
    si.asleeps = fs.asleeps;
    sj.asleeps = fs.asleeps;
    si.awakes = others;
    sj.awakes = others;
    forEach(others, [&](int k) {
        fs.stones[k].awakes.set(i);
        fs.stones[k].awakes.set(j);
        fs.stones[k].asleeps.reset(j);
    });
}

// Moving stones i and k meet.
void contactMoving(FSBoard& fs, int i, int k) {
    FSStone& si = fs.stones[i];
    FSStone& sk = fs.stones[k];
    collideMoving(si.motion, sk.motion);

    bitSet others = fs.awakes;
    others.reset(i);
    others.reset(k);
    si.awakes = others;
    sk.awakes = others;
    forEach(others, [&](int m) {
        fs.stones[m].awakes.set(i);
        fs.stones[m].awakes.set(k);
    });
    // Both speeds changed, and may have grown: resting stones that were out
    // of reach at the old speeds are within reach again.
    si.asleeps = fs.asleeps;
    sk.asleeps = fs.asleeps;
}

// Removes a stone that left play from every moving stone's list.
void forgetGone(FSBoard& fs, int i) {
    forEach(fs.awakes, [&](int k) { fs.stones[k].awakes.reset(i); });
}

ShotChange writeBack(ThinkBoard& board, const FSBoard& fs) {
    clearStoneLists(board);
    forEach(fs.asleeps, [&](int i) {
        const FSStone& s = fs.stones[i];
        if (s.still)
            addStone(board, s.state & 1, s.origin);
        else
            addStone(board, s.state & 1, s.motion.x, s.motion.y);
    });
    return CHANGE_REBUILT;
}

// No stone can reach another any more: every moving stone slides to rest.
ShotChange stopEverything(const MotionTables& tables, ThinkBoard& board, FSBoard& fs) {
    const bitSet moving = fs.awakes;
    bool voided = false;
    forEach(moving, [&](int i) {
        if (voided)
            return;
        FSStone& s = fs.stones[i];
        slideToRest(tables, speedIndex(s.motion.speed), s.motion);
        if (isInPlay(s.motion)) {
            fs.fallAsleep(i);
            return;
        }
        fs.removeAwake(i);
        voided = (s.state & ST_PROTECTED) != 0;
    });
    if (voided)
        return CHANGE_NONE;
    return writeBack(board, fs);
}

// What one pass of the event loop found: a contact, handled at once, or the
// earliest time at which two stones could meet.
struct Pass {
    bool contact = false;    // a contact was handled; the next pass starts
    bool estimated = false;  // dt holds the earliest possible event time
    double dt = 9999;
};

// Moving stone i against the resting stones it may still reach: strikes one
// it touches, drops those out of its reach, and estimates when it could reach
// the nearest of the rest. Sets its stop distance and time when it strikes none.
void passResting(const MotionTables& tables, FSBoard& fs, int i, Pass& pass) {
    FSStone& si = fs.stones[i];
    const double stop = tables.stopDistance(si.motion.speed);
    const double reach = stop + TWO_STONE_R;
    const double reach2 = reach * reach;
    double nearest = 9999;

    for (uint32_t v = si.asleeps.bits; v != 0; v &= v - 1) {
        const int j = __builtin_ctz(v);
        const double d2 = dist2(si.motion, fs.stones[j].motion);
        if (d2 >= reach2) {
            si.asleeps.reset(j);
        } else if (d2 < CONTACT_D2) {
            if (!approachingResting(si.motion, fs.stones[j].motion))
                continue;  // touching but moving away: nothing to estimate
            contactResting(fs, i, j);
            KELVO_CHECK(fs.exam(), "pbd->exam()");
            pass.contact = true;
            return;
        } else {
            nearest = std::min(nearest, d2);
        }
    }

    si.stopDist = stop;
    si.stopTime = si.motion.speed / DECEL;
    if (nearest < reach2) {
        const double gap = std::sqrt(nearest) - TWO_STONE_R;
        const double rest = remainingDistance(gap, stop);
        tables.prefetchRowForDistance(rest);
        pass.dt = std::min(pass.dt, si.stopTime - tables.speedForDistance(rest) / DECEL);
        pass.estimated = true;
    }
}

// Moving stone i against the moving stones of lower index it may still meet
// (their stop distances are already set in this pass): meets one it touches,
// drops pairs that can never meet, and estimates when the others could.
void passMoving(FSBoard& fs, int i, Pass& pass) {
    FSStone& si = fs.stones[i];
    for (uint32_t v = si.awakes.bits & ((1u << i) - 1); v != 0; v &= v - 1) {
        const int k = __builtin_ctz(v);
        FSStone& sk = fs.stones[k];
        const double d2 = dist2(si.motion, sk.motion);
        if (d2 < CONTACT_D2) {
            if (!approaching(si.motion, sk.motion))
                continue;  // touching but moving apart
            contactMoving(fs, i, k);
            pass.contact = true;
            return;
        }
        const double gap = std::sqrt(d2) - TWO_STONE_R;
        if (si.stopDist + sk.stopDist <= gap) {
            si.awakes.reset(k);
            sk.awakes.reset(i);
        } else {
            pass.dt = std::min(pass.dt, gap / (sk.motion.speed + si.motion.speed));
            pass.estimated = true;
        }
    }
}

// Finds the earliest possible event, or handles a contact that is due now.
Pass findEvent(const MotionTables& tables, FSBoard& fs) {
    Pass pass;
    for (uint32_t w = fs.awakes.bits; w != 0; w &= w - 1) {
        const int i = __builtin_ctz(w);
        passResting(tables, fs, i, pass);
        if (pass.contact)
            break;
        passMoving(fs, i, pass);
        if (pass.contact)
            break;
    }
    return pass;
}

// Advances every moving stone by dt along its path: those that stop go to
// sleep, those that leave play are gone. False when a protected stone left
// play: the shot is void.
bool advance(const MotionTables& tables, FSBoard& fs, double dt) {
    const bitSet moving = fs.awakes;
    // Every moving stone's next row at once, so that their misses overlap.
    for (uint32_t w = moving.bits; w != 0; w &= w - 1)
        tables.prefetchRow(speedIndex(fs.stones[__builtin_ctz(w)].motion.speed - dt * DECEL));
    for (uint32_t w = moving.bits; w != 0; w &= w - 1) {
        const int i = __builtin_ctz(w);
        FSStone& si = fs.stones[i];
        const int k1 = speedIndex(si.motion.speed);
        const int k2 = speedIndex(si.motion.speed - dt * DECEL);
        if (dt > si.stopTime || k2 < 1) {
            slideToRest(tables, k1, si.motion);
            if (isInPlay(si.motion)) {
                // The moving stones may reach it now that it rests.
                fs.fallAsleep(i);
                forEach(fs.awakes, [&](int k) {
                    fs.stones[k].awakes.reset(i);
                    fs.stones[k].asleeps.set(i);
                });
            } else {
                fs.removeAwake(i);
                if (si.state & ST_PROTECTED)
                    return false;
                forgetGone(fs, i);
            }
        } else {
            slideBetween(tables, k1, k2, si.motion);
            if (!isInPlay(si.motion)) {
                if (si.state & ST_PROTECTED)
                    return false;
                fs.removeAwake(i);
                forgetGone(fs, i);
            }
        }
    }
    return true;
}

}  // namespace

namespace detail {

ShotChange runEventLoop(ThinkBoard& board, FSBoard& fs, LoopTrace* trace) {
    const MotionTables& tables = tablesOf(board);
    int events = 0;
    auto finish = [&](ShotChange change) {
        if (trace)
            trace->events = events;
        return change;
    };

    for (;;) {
        KELVO_CHECK(fs.exam(), "pbd->exam()");
        if (events > MAX_EVENTS) {
            if (trace)
                trace->handedOver = true;
            return finish(handOver(board, fs));
        }
        if (fs.awakes.empty())
            return finish(stopEverything(tables, board, fs));

        const Pass pass = findEvent(tables, fs);
        if (pass.contact) {
            events += 1;
            continue;
        }
        if (!pass.estimated)
            return finish(stopEverything(tables, board, fs));
        if (!advance(tables, fs, pass.dt))
            return finish(CHANGE_NONE);
        if (fs.nAwake == 0)
            return finish(writeBack(board, fs));
        events += 1;
    }
}

}  // namespace detail

ShotChange simulateFSBoard(ThinkBoard& board, FSBoard& fs) { return detail::runEventLoop(board, fs, nullptr); }

// ---------------------------------------------------------------------------
// Shot simulation

MotionState launchState(const fMoveXY<double>& shot) {
    MotionState launch;
    launch.x = 0;
    launch.y = -TEE_TO_THROW;
    launch.vx = shot.x;
    launch.vy = shot.y;
    launch.spin = shot.spin == 0 ? CURL_RATIO : -CURL_RATIO;
    return launch;
}

StoneMotion launchMotion(const fMoveXY<double>& shot, double speed, double heading) {
    return thrownStone(launchState(shot), speed, heading);
}

ShotChange simulateClearPath(ThinkBoard& board, double speed, double heading, int spinFlag) {
    const PathEntry e = tablesOf(board).pathEntry(speedIndex(speed), spinFlag == 1);
    const Vec2 d = rotateToBoard(heading + e.dAngle, e.dx, e.dy);
    const double x = d.x;
    const double y = d.y - TEE_TO_THROW;
    if (!isInPlayArea(x, y))
        return CHANGE_NONE;
    addStoneTracked(board, thrownColour(board), x, y);
    return CHANGE_ADDED;
}

namespace detail {

// Slides the thrown stone toward one resting stone, one table jump per step,
// each closing the current gap, until the two touch, the stone can no longer
// reach it, or they start to move apart.
Approach approachResting(const MotionTables& tables, StoneMotion& thrown, const StoneMotion& resting) {
    Approach a;
    a.k = speedIndex(thrown.speed);
    double stop = tables.stopDistance(thrown.speed);
    double gap = std::sqrt(dist2(thrown, resting)) - TWO_STONE_R;
    while (gap <= stop) {
        if (gap < CONTACT_GAP) {
            a.contact = true;
            return a;
        }
        const double rest = remainingDistance(gap, stop);
        tables.prefetchRowForDistance(rest);
        const int k = speedIndex(tables.speedForDistance(rest));
        slideBetween(tables, a.k, k, thrown);
        a.k = k;
        stop = rest;
        a.steps += 1;
        const double next = std::sqrt(dist2(thrown, resting)) - TWO_STONE_R;
        gap = next > gap + RECEDE_EPS ? 9999 : next;
    }
    return a;
}

}  // namespace detail

ShotChange simulateTwoStones(ThinkBoard& board, const MotionState& launch) {
    return simulateTwoStones(board, thrownStone(launch));
}

ShotChange simulateTwoStones(ThinkBoard& board, const StoneMotion& launched) {
    const MotionTables& tables = tablesOf(board);
    if (stonesOnSheet(board) != 1) {
        std::fprintf(stderr, "%d,%d\n", board.count[BLACK], board.count[WHITE]);
        std::fflush(stderr);
        KELVO_CHECK(false, "0");
    }
    const int colour = board.count[BLACK] == 1 ? BLACK : WHITE;
    const int32_t state = board.state[colour][0];

    StoneMotion thrown = launched;
    StoneMotion resting = restingStone(board.stones[colour][0]);
    const detail::Approach a = detail::approachResting(tables, thrown, resting);
    if (!a.contact)
        return placeThrownStone(tables, board, a.k, thrown);

    collideResting(thrown, resting);
    slideToRest(tables, speedIndex(thrown.speed), thrown);
    slideToRest(tables, speedIndex(resting.speed), resting);

    // Knocking out a protected stone breaks the free guard zone rule.
    if ((state & ST_PROTECTED) && !isInPlay(resting))
        return CHANGE_NONE;
    clearStoneLists(board);
    if (isInPlay(resting))
        addStone(board, colour, resting.x, resting.y);
    if (isInPlay(thrown))
        addStone(board, thrownColour(board), thrown.x, thrown.y);
    return CHANGE_REBUILT;
}

ShotChange simulateGeneral(ThinkBoard& board, const MotionState& launch) {
    return simulateGeneral(board, thrownStone(launch));
}

ShotChange simulateGeneral(ThinkBoard& board, const StoneMotion& launched) {
    const MotionTables& tables = tablesOf(board);
    StoneMotion thrown = launched;
    int k = speedIndex(thrown.speed);
    double stop = tables.stopDistance(thrown.speed);
    double reach2 = (stop + TWO_STONE_R) * (stop + TWO_STONE_R);

    struct Candidate {
        int id;     // colour * 8 + index within the colour
        double d2;  // squared distance from the thrown stone
    };
    Candidate candidates[16];
    int n = 0;
    int nearest = -1;
    for (int c = 0; c < 2; ++c) {
        for (int j = 0; j < board.count[c]; ++j) {
            const double d2 = dist2(thrown, restingStone(board.stones[c][j]));
            if (d2 < reach2) {
                candidates[n] = Candidate{c * 8 + j, d2};
                if (nearest < 0 || d2 < candidates[nearest].d2)
                    nearest = n;
                ++n;
            }
        }
    }
    auto nearestD2 = [&]() { return nearest < 0 ? 9999.0 : candidates[nearest].d2; };

    if (nearestD2() <= reach2) {
        for (;;) {
            if (nearestD2() < CONTACT_D2) {
                const int id = candidates[nearest].id;
                StoneMotion resting = restingStone(board.stones[id / 8][id % 8]);
                collideResting(thrown, resting);
                FSBoard fs;
                fs.setupAfterFirstHit(board, id, thrown, resting);
                return simulateFSBoard(board, fs);
            }
            const double gap = std::sqrt(nearestD2()) - TWO_STONE_R;
            const double rest = remainingDistance(gap, stop);
            tables.prefetchRowForDistance(rest);
            const int k2 = speedIndex(tables.speedForDistance(rest));
            slideBetween(tables, k, k2, thrown);
            k = k2;
            stop = rest;
            reach2 = (stop + TWO_STONE_R) * (stop + TWO_STONE_R);

            // Keep the candidates still in reach and not moving away.
            int kept = 0;
            nearest = -1;
            for (int m = 0; m < n; ++m) {
                const int id = candidates[m].id;
                const double d2 = dist2(thrown, restingStone(board.stones[id / 8][id % 8]));
                if (d2 < reach2 && d2 < candidates[m].d2 + RECEDE_EPS) {
                    candidates[kept] = Candidate{id, d2};
                    if (nearest < 0 || d2 < candidates[nearest].d2)
                        nearest = kept;
                    ++kept;
                }
            }
            n = kept;
            if (reach2 < nearestD2())
                break;
        }
    }
    return placeThrownStone(tables, board, k, thrown);
}

}  // namespace Kelvo
