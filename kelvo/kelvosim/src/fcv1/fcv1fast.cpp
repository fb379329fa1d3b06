// The fast fcv1 simulation: an event loop over table jumps, single steps and
// two-stone contacts, with the exact simulation as its fallback.
#include "kelvosim/fcv1/fcv1fast.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "kelvosim/primitive.h"

namespace Kelvo {

namespace {

constexpr double DT = double(FCV1_DT);
constexpr double STONE_R = double(FCV1_STONE_R);
// Box2D finds two discs touching when their centres are at most this far apart.
constexpr double CONTACT_D = double(FCV1_STONE_R + FCV1_STONE_R);
constexpr double CONTACT_D2 = CONTACT_D * CONTACT_D;
// Deeper overlaps bring in Box2D's position correction (its linear slop):
// the exact simulation takes them.
constexpr double MAX_OVERLAP = 0.005;
// Jumps, single steps, contacts and exact bursts before the exact simulation
// takes over for good.
constexpr int32_t MAX_EVENTS = 400;
// Steps of an exact burst: contacts the fast loop does not resolve itself
// (a stone touching two, a deep overlap) are left to the exact simulation
// for this many steps, then the fast loop goes on from there.
constexpr int32_t BURST_STEPS = 10;
constexpr double FRICTION = double(FCV1_STONE_FRICTION);
// Rotational inertia over mass of a disc.
constexpr double INERTIA = 0.5 * STONE_R * STONE_R;

int lowestBit(uint32_t m) { return __builtin_ctz(m); }

// Room for N values, left unset: the loops fill and read only the slots
// they need, where an array of the value (whose members start set) would
// write every slot each time it is made.
template <typename T, int N>
class Slots {
public:
    T& operator[](int i) { return slot_[i].value; }
    const T& operator[](int i) const { return slot_[i].value; }

private:
    union Slot {
        Slot() {}
        T value;
    };
    Slot slot_[N];
};

template <typename T>
using PerStone = Slots<T, FCV1_STONES>;

// The stones, which of them are in play and which move (one bit each, so
// that the loops visit only the stones they need), which of them come off
// while moving, and which have touched another (for a hog rule that spares
// a thrown stone that did). Every stone's x and y are set; the rest of a
// glide only while the stone is in play. `unchecked`: stones that may lie
// off the sheet where they stand (every other stone in play is known not to).
struct Sheet {
    PerStone<Fcv1Glide> g;
    uint32_t present = 0, moving = 0, unchecked = ~0u;
    Fcv1MovingRemoval removal;
    uint32_t touched = 0;

    bool isPresent(int i) const { return present >> i & 1; }
    bool isMoving(int i) const { return moving >> i & 1; }
    void setMoving(int i, bool m) { moving = (moving & ~(1u << i)) | uint32_t(m) << i; }
    void takeOff(int i) {
        present &= ~(1u << i);
        moving &= ~(1u << i);
    }
};

bool leavesSheet(double x, double y, const Fcv1MovingRemoval& removal) {
    return fcv1LeavesWhileMoving(float(x), float(fcv1ShotY(y)), removal);
}

struct Velocity {
    double vx = 0, vy = 0, w = 0;
};

// The velocity of a moving stone.
Velocity velocityOf(const Fcv1Tables& t, const Fcv1Glide& g) {
    const double v = t.speedOf(g);
    return Velocity{v * g.cosHeading, v * g.sinHeading, g.spin};
}

Velocity velocityOf(const Fcv1Tables& t, const Sheet& sh, int i) {
    return sh.isMoving(i) ? velocityOf(t, sh.g[i]) : Velocity{};
}

// Box2D's answer to two discs found overlapping at the start of a step, given
// the velocities after this step's model update. With restitution 1 the
// normal parts are exchanged; the first solver pass has no normal impulse
// yet to bound friction, the second takes the slip at the contact point off
// up to 0.2 of the normal impulse, and later passes change nothing. False
// when the discs are not closing.
bool collide(double ax, double ay, Velocity& a, double bx, double by, Velocity& b) {
    const double d = std::hypot(bx - ax, by - ay);
    const double nx = (bx - ax) / d, ny = (by - ay) / d;
    const double closing = (b.vx - a.vx) * nx + (b.vy - a.vy) * ny;
    if (!(closing < 0))
        return false;
    const double jn = -closing;  // per unit mass: each stone's share of the normal exchange
    a.vx -= jn * nx;
    a.vy -= jn * ny;
    b.vx += jn * nx;
    b.vy += jn * ny;
    // Contact point midway between the centres; tangent (n.y, -n.x).
    const double h = d / 2;
    const double rax = h * nx, ray = h * ny, rbx = -rax, rby = -ray;
    const double tx = ny, ty = -nx;
    const double dvx = b.vx - b.w * rby - a.vx + a.w * ray;
    const double dvy = b.vy + b.w * rbx - a.vy - a.w * rax;
    const double vt = dvx * tx + dvy * ty;
    const double rta = rax * ty - ray * tx, rtb = rbx * ty - rby * tx;
    const double k = 2 + (rta * rta + rtb * rtb) / INERTIA;
    const double lambda = std::clamp(-vt / k, -FRICTION * jn, FRICTION * jn);
    const double px = lambda * tx, py = lambda * ty;
    a.vx -= px;
    a.vy -= py;
    a.w -= (rax * py - ray * px) / INERTIA;
    b.vx += px;
    b.vy += py;
    b.w += (rbx * py - rby * px) / INERTIA;
    return true;
}

// Whether a stone's path over a jump left the sheet at a side line between
// its ends: while it curls its x has one extreme, where it heads along y.
// The row of that heading is read from the turn column.
bool leftAtSide(const Fcv1Tables& t, const Fcv1Glide& before, const Fcv1Glide& after,
                const Fcv1MovingRemoval& removal) {
    if (!(before.spinOut > before.row))
        return false;
    const double quarter = M_PI / 2;
    const double sigma = before.spin > 0 ? 1.0 : -1.0;
    const double turnBefore = before.turn;
    for (double k = std::ceil((std::min(before.heading, after.heading) - quarter) / M_PI);
         k * M_PI + quarter <= std::max(before.heading, after.heading); k += 1) {
        // Heading k*pi + pi/2 is crossed on the way: the stone is there when
        // it has turned by the difference.
        const double row = t.rowOfTurn(turnBefore + sigma * (k * M_PI + quarter - before.heading));
        Fcv1Glide probe = before;
        t.advance(probe, std::clamp(row, before.row, after.row) - before.row);
        if (leavesSheet(probe.x, probe.y, removal))
            return true;
    }
    return false;
}

// Moves every moving stone on by `steps` steps; stones that leave the sheet
// come off, stones that stop rest.
void advanceAll(const Fcv1Tables& t, Sheet& sh, double steps) {
    for (uint32_t is = sh.moving; is; is &= is - 1) {
        const int i = lowestBit(is);
        Fcv1Glide& g = sh.g[i];
        bool off;
        if (steps > 1 && g.spinOut > g.row) {
            // A curling stone may cross a side line between the jump's ends.
            const Fcv1Glide before = g;
            t.advance(g, steps);
            off = leavesSheet(g.x, g.y, sh.removal) || leftAtSide(t, before, g, sh.removal);
        } else {
            t.advance(g, steps);
            off = leavesSheet(g.x, g.y, sh.removal);
        }
        if (off)
            sh.takeOff(i);
        else if (t.resting(g))
            sh.setMoving(i, false);
    }
}

// A bound on how fast a free stone's velocity changes, m/s^2: the model's
// deceleration is largest at rest (0.37) and the curl turns it by at most
// 0.012 more.
constexpr double MAX_ACCELERATION = 0.4;

// Steps in which two stones, `gap` apart (negative when they overlap) along
// the unit normal (nx, ny) from a to b, with velocity `rel` of b relative to
// a, cannot start pressing into each other. `accel` bounds how fast `rel`
// changes.
int64_t pairSteps(double gap, double nx, double ny, double relX, double relY, double accel) {
    if (gap > 0) {
        // Over a time tau the distance is at least its part along today's
        // normal, gap + apart tau, less what the change of velocity adds,
        // accel tau^2 / 2: they cannot touch before that reaches 0. Moving
        // apart they have long; the root is taken in the form that does not
        // cancel.
        const double apart = relX * nx + relY * ny;
        const double root = std::sqrt(apart * apart + 2 * accel * gap);
        const double tau = apart > 0 ? (apart + root) / accel : 2 * gap / (root - apart);
        return int64_t(tau / DT);
    }
    // Overlapping: nothing happens while they move apart along the normal.
    const double apart = relX * nx + relY * ny;
    return apart > 0 ? int64_t(apart / (accel * DT)) : 0;
}

// What the bounds read of a moving stone, once per stone.
struct Reach {
    double reach = 0;  // path length still ahead
    double speed = 0;
    double cosTurn = 1, sinTurn = 0;  // the heading's turn still ahead
    Velocity v;
};

// What a resting stone's bounds read: no reach, no velocity.
const Reach RESTING{};

// The reach of a moving stone.
Reach reachOf(const Fcv1Tables& t, const Fcv1Glide& g) {
    Reach r;
    r.reach = t.reach(g);
    t.turnLeftCosSin(g, r.cosTurn, r.sinTurn);
    r.v = velocityOf(t, g);
    r.speed = std::sqrt(r.v.vx * r.v.vx + r.v.vy * r.v.vy);
    return r;
}

constexpr int64_t NEVER = -1;
// What a resting stone's contact distance is widened by when a moving
// stone's path is searched for it: far more than the rounding of the
// path's frames, far less than a step.
constexpr double NEAR_MARGIN = 1e-6;

// Steps in which moving stone a and stone b cannot start pressing into each
// other at the end of any but possibly the last of them; NEVER when they
// cannot meet at all. For a resting b, `path` asks for the steps read off
// a's path, the exact count: dearer than the first bound, so it is asked
// only for the pair that limits a jump.
int64_t pairBound(const Fcv1Tables& t, const Fcv1Glide& a, const Reach& ra, const Fcv1Glide& b, bool bMoving,
                  const Reach& rb, bool path = false) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double d = std::sqrt(dx * dx + dy * dy);
    const double gap = d - CONTACT_D;
    if (gap >= ra.reach + (bMoving ? rb.reach : 0.0))
        return NEVER;
    if (!bMoving && gap > 0) {
        // A stone comes no nearer than its path is long, and less the
        // farther the resting one lies off its heading: the bearing only
        // drifts away from the heading, which turns by at most the turn
        // still ahead. Worked in cosines: the angle off the heading less
        // that turn, when positive, has the cosine
        // cos(off) cos(turn) + sin(off) sin(turn).
        const double cosOff = std::clamp((dx * ra.v.vx + dy * ra.v.vy) / (d * ra.speed), -1.0, 1.0);
        double cosLeast = 1;
        if (cosOff < ra.cosTurn) {
            cosLeast = cosOff * ra.cosTurn + std::sqrt(1 - cosOff * cosOff) * ra.sinTurn;
            if (cosLeast <= 0)
                return NEVER;
        }
        const int64_t clear = t.stepsWithin(a, gap / cosLeast);
        if (!path)
            return clear;
        const int64_t steps = t.stepsBeforeNear(a, b.x, b.y, CONTACT_D + NEAR_MARGIN, clear);
        return steps < 0 ? NEVER : steps;
    }
    return pairSteps(gap, dx / d, dy / d, rb.v.vx - ra.v.vx, rb.v.vy - ra.v.vy, (bMoving ? 2 : 1) * MAX_ACCELERATION);
}

// A pair's bound from where both stones will be after `steps` steps, plus
// those steps: the same bound taken again further on, so that the pair that
// limits the jump is followed on its own up to where it may touch. NEVER
// when from there they cannot meet, or one of them leaves the sheet. When
// they may touch within a step but do not touch yet, the step is taken too:
// the pair is followed step by step up to the step where the discs touch,
// `touching` then set.
int64_t boundFurtherOn(const Fcv1Tables& t, const Sheet& sh, int a, int b, int64_t steps, bool& touching) {
    // Each stone where it will be: a moved copy, or the resting stone itself.
    Slots<Fcv1Glide, 2> moved;
    const Fcv1Glide* g[2] = {&sh.g[a], &sh.g[b]};
    bool moving[2] = {sh.isMoving(a), sh.isMoving(b)};
    for (int k = 0; k < 2; ++k)
        if (moving[k]) {
            Fcv1Glide& c = moved[k] = *g[k];
            t.advance(c, double(steps));
            if (leavesSheet(c.x, c.y, sh.removal))
                return NEVER;
            moving[k] = !t.resting(c);
            g[k] = &c;
        }
    const int m = moving[0] ? 0 : 1;  // the moving one, the other
    const int o = 1 - m;
    if (!moving[m])
        return NEVER;
    const Reach ro = moving[o] ? reachOf(t, *g[o]) : RESTING;
    const int64_t more = pairBound(t, *g[m], reachOf(t, *g[m]), *g[o], moving[o], ro, true);
    if (more != 0)
        return more == NEVER ? NEVER : steps + more;
    const double dx = g[o]->x - g[m]->x, dy = g[o]->y - g[m]->y;
    touching = dx * dx + dy * dy <= CONTACT_D2;
    return touching ? steps : steps + 1;
}

// Refinements of the limiting pair's bound in one jump; past them the jump
// is the smallest bound as it stands.
constexpr int32_t MAX_REFINEMENTS = 48;

// The pairs' bounds kept from one event to the next, as the step of the
// shot before which the pair cannot start pressing: a bound stays true while
// both stones follow their table paths, so only the pairs of stones whose
// motion changed (a contact, an exact burst) and the pairs whose bound has
// come due are taken anew at an event.
struct PairBounds {
    static constexpr int64_t NONE = INT64_MAX;  // the pair cannot meet
    int64_t clock = 0;                          // steps taken in the shot
    uint32_t changed = ~0u;                     // stones whose pairs are taken anew
    int64_t until[FCV1_STONES][FCV1_STONES];    // i < j
    bool touchAt[FCV1_STONES][FCV1_STONES];     // the discs touch at `until`
};

// How many steps every moving stone can take with no pair of stones starting
// to press into each other at the end of any but possibly the last of them;
// 0 when a pair may within one step, -1 when no stone can reach another.
// The smallest bound is taken again from where its pair will be, until the
// smallest is a pair whose discs touch at its end: the jump runs to the next
// contact, not by safe increments.
int64_t safeSteps(const Fcv1Tables& t, const Sheet& sh, PairBounds& pb) {
    const uint32_t present = sh.present, moving = sh.moving;
    PerStone<Reach> r;  // the moving stones'
    for (uint32_t is = moving; is; is &= is - 1)
        r[lowestBit(is)] = reachOf(t, sh.g[lowestBit(is)]);
    // The pairs that may meet, with a copy of their bound in an array of its
    // own, which the search of the least runs down.
    int64_t untils[FCV1_STONES * FCV1_STONES / 2];
    int8_t pairOf[FCV1_STONES * FCV1_STONES / 2][2];
    // The first of the least, found while they are filled; every bound kept
    // is below NONE.
    int n = 0, least = -1;
    int64_t lowest = PairBounds::NONE;
    for (uint32_t is = present; is; is &= is - 1) {
        const int i = lowestBit(is);
        // The stones after i that make a pair with it: any, when i moves;
        // else the moving ones.
        uint32_t js = present & ~((2u << i) - 1);
        if (!sh.isMoving(i))
            js &= moving;
        // Those whose pair is taken anew whatever its bound: all, when i's
        // motion changed.
        const uint32_t renew = (pb.changed >> i & 1) ? ~0u : pb.changed;
        for (; js; js &= js - 1) {
            const int j = lowestBit(js);
            int64_t& until = pb.until[i][j];
            if ((renew >> j & 1) || until <= pb.clock) {
                const int a = sh.isMoving(i) ? i : j, b = a == i ? j : i;
                const bool bMoving = sh.isMoving(b);
                const int64_t steps = pairBound(t, sh.g[a], r[a], sh.g[b], bMoving, bMoving ? r[b] : RESTING);
                until = steps == NEVER ? PairBounds::NONE : pb.clock + steps;
                pb.touchAt[i][j] = false;
                if (steps == 0) {
                    const double dx = sh.g[b].x - sh.g[a].x, dy = sh.g[b].y - sh.g[a].y;
                    pb.touchAt[i][j] = dx * dx + dy * dy <= CONTACT_D2;
                }
            }
            if (until != PairBounds::NONE) {
                if (until < lowest) {
                    lowest = until;
                    least = n;
                }
                untils[n] = until;
                pairOf[n][0] = int8_t(i);
                pairOf[n][1] = int8_t(j);
                ++n;
            }
        }
    }
    pb.changed = 0;
    for (int round = 0;; ++round) {
        if (round > 0) {
            least = -1;
            lowest = PairBounds::NONE;
            for (int p = 0; p < n; ++p)
                if (untils[p] < lowest) {
                    lowest = untils[p];
                    least = p;
                }
        }
        if (least < 0)
            return -1;
        const int a = pairOf[least][0], b = pairOf[least][1];
        const int64_t steps = pb.until[a][b] - pb.clock;
        if (pb.touchAt[a][b] || round == MAX_REFINEMENTS)
            return steps;
        bool touching = false;
        const int64_t further = boundFurtherOn(t, sh, a, b, steps, touching);
        pb.touchAt[a][b] = touching;
        // Touching, the pair keeps its bound and stays the first of the
        // least: the next round would return it as it stands.
        if (touching)
            return steps;
        if (further == NEVER) {
            pb.until[a][b] = PairBounds::NONE;
            --n;
            untils[least] = untils[n];
            pairOf[least][0] = pairOf[n][0];
            pairOf[least][1] = pairOf[n][1];
            continue;
        }
        pb.until[a][b] = untils[least] = pb.clock + further;
    }
}

struct Pair {
    int a, b;
};

enum class StepResult { DONE, EXACT };

// Takes off the stones in play that lie off the sheet.
void takeOffLeaving(Sheet& sh) {
    for (uint32_t is = sh.present & sh.unchecked; is; is &= is - 1)
        if (leavesSheet(sh.g[lowestBit(is)].x, sh.g[lowestBit(is)].y, sh.removal))
            sh.takeOff(lowestBit(is));
    sh.unchecked = 0;
}

// One step in which some discs overlap at its start: the model updates every
// moving stone's velocity, Box2D resolves the contacts, and the positions move
// with the velocities that come out. The stones struck are added to `changed`.
StepResult contactStep(const Fcv1Tables& t, Sheet& sh, const Pair* pairs, int n, uint32_t& changed) {
    // Two resting stones that touch exchange nothing, unless a moving stone
    // touches one of them too: then Box2D passes the push on within the
    // step, which only the exact simulation follows.
    int touching[FCV1_STONES] = {};
    for (int p = 0; p < n; ++p)
        if (sh.isMoving(pairs[p].a) || sh.isMoving(pairs[p].b)) {
            touching[pairs[p].a] += 1;
            touching[pairs[p].b] += 1;
            sh.touched |= 1u << pairs[p].a | 1u << pairs[p].b;
        }
    for (int i = 0; i < FCV1_STONES; ++i)
        if (touching[i] > 1)
            return StepResult::EXACT;
    for (int p = 0; p < n; ++p)
        if (!sh.isMoving(pairs[p].a) && !sh.isMoving(pairs[p].b) && (touching[pairs[p].a] || touching[pairs[p].b]))
            return StepResult::EXACT;

    PerStone<Fcv1Glide> next;  // the moving stones'
    Velocity v[FCV1_STONES];
    for (uint32_t is = sh.moving; is; is &= is - 1) {
        const int i = lowestBit(is);
        next[i] = sh.g[i];
        t.advance(next[i], 1);
        // A stone stopping in this very step has no speed left to collide with.
        const double speed = t.resting(next[i]) ? 0.0 : t.speedOf(next[i]);
        v[i] = Velocity{speed * next[i].cosHeading, speed * next[i].sinHeading, next[i].spin};
    }
    bool struck[FCV1_STONES] = {};
    for (int p = 0; p < n; ++p) {
        const int a = pairs[p].a, b = pairs[p].b;
        if (collide(sh.g[a].x, sh.g[a].y, v[a], sh.g[b].x, sh.g[b].y, v[b]))
            struck[a] = struck[b] = true;
    }
    // Beyond the tables the exact burst takes the step, from the sheet as
    // it stood at the step's start: checked before any stone moves on.
    for (int i = 0; i < FCV1_STONES; ++i)
        if (struck[i] && std::hypot(v[i].vx, v[i].vy) > Fcv1Tables::TOP_SPEED)
            return StepResult::EXACT;
    for (uint32_t is = sh.present; is; is &= is - 1) {
        const int i = lowestBit(is);
        Fcv1Glide& g = sh.g[i];
        if (!struck[i]) {
            if (sh.isMoving(i)) {
                sh.unchecked |= 1u << i;
                g = next[i];
                sh.setMoving(i, !t.resting(g));
            }
            continue;
        }
        changed |= 1u << i;
        sh.unchecked |= 1u << i;
        g = t.glide(g.x + DT * v[i].vx, g.y + DT * v[i].vy, v[i].vx, v[i].vy, v[i].w);
        sh.setMoving(i, !t.resting(g));
    }
    takeOffLeaving(sh);
    return StepResult::DONE;
}

Fcv1Body exactBody(bool present, const Fcv1Glide& g, const Velocity& v) {
    Fcv1Body b;
    b.present = present;
    b.x = float(g.x);
    b.y = float(fcv1ShotY(g.y));
    b.vx = float(v.vx);
    b.vy = float(v.vy);
    b.w = float(v.w);
    return b;
}

// The exact simulation of a shot, taken from the workspace (or made) when
// the fast loop first needs it; it keeps one world for the whole shot, in the
// shot frame of an even end.
class ExactRunner {
public:
    explicit ExactRunner(Fcv1FastWorkspace* workspace) : workspace_(workspace) {}

    // Runs the sheet for at most `steps` steps (to rest by default) and
    // writes it back; a stone the exact run left where it was keeps its
    // coordinates. False when a stone moves too fast for the tables.
    bool run(const Fcv1Tables& t, Sheet& sh, Fcv1Sheet& exact, int32_t steps = INT32_MAX) {
        uint32_t touched = 0;
        stepsRun += simulator().run(exact, 0, nullptr, steps, sh.removal, &touched);
        sh.touched |= touched;
        bool fits = true;
        uint32_t present = 0, moving = 0;
        for (int i = 0; i < FCV1_STONES; ++i) {
            Fcv1Glide& g = sh.g[i];
            const Fcv1Body& b = exact.stones[i];
            const bool was = sh.isPresent(i);
            if (b.present && was && (b.x != float(g.x) || b.y != float(fcv1ShotY(g.y))))
                g = t.glide(b.x, fcv1BoardY(b.y), b.vx, b.vy, b.w);
            else if (b.present && was && (b.vx != 0 || b.vy != 0))
                g = t.glide(g.x, g.y, b.vx, b.vy, b.w);
            fits = fits && std::hypot(b.vx, b.vy) <= Fcv1Tables::TOP_SPEED;
            present |= uint32_t(b.present) << i;
            moving |= uint32_t(b.present && (b.vx != 0 || b.vy != 0) && !t.resting(g)) << i;
        }
        sh.present = present;
        sh.moving = moving;
        sh.unchecked = present;
        return fits;
    }

    // The same from where the fast loop stands.
    bool run(const Fcv1Tables& t, Sheet& sh, int32_t steps = INT32_MAX) {
        Fcv1Sheet exact;
        for (int i = 0; i < FCV1_STONES; ++i)
            exact.stones[i] = exactBody(sh.isPresent(i), sh.g[i], velocityOf(t, sh, i));
        return run(t, sh, exact, steps);
    }

    int32_t stepsRun = 0;

private:
    Fcv1Simulator& simulator() {
        if (!simulator_) {
            if (!workspace_) {
                own_ = std::make_unique<Fcv1FastWorkspace>();
                workspace_ = own_.get();
            }
            simulator_ = &workspace_->freshSimulator();
        }
        return *simulator_;
    }

    Fcv1FastWorkspace* workspace_;
    std::unique_ptr<Fcv1FastWorkspace> own_;
    Fcv1Simulator* simulator_ = nullptr;
};

// The pairs of discs that touch: first the `live` ones with a moving stone
// (`deep` when one of them overlaps deeper than the fast loop resolves),
// then pairs of resting stones of which a live pair touches one. Other
// resting pairs exchange nothing in the step and are left out.
int touchingPairs(const Sheet& sh, Pair* pairs, int& live, bool& deep) {
    auto touch = [&](int i, int j, double& d2) {
        const double dx = sh.g[j].x - sh.g[i].x, dy = sh.g[j].y - sh.g[i].y;
        d2 = dx * dx + dy * dy;
        return d2 <= CONTACT_D2;
    };
    int n = 0;
    uint32_t touchedAtRest = 0;
    for (uint32_t is = sh.present; is; is &= is - 1) {
        const int i = lowestBit(is);
        uint32_t js = sh.present & ~((2u << i) - 1);
        if (!sh.isMoving(i))
            js &= sh.moving;
        for (; js; js &= js - 1) {
            const int j = lowestBit(js);
            double d2;
            if (!touch(i, j, d2))
                continue;
            pairs[n++] = Pair{i, j};
            deep = deep || std::sqrt(d2) < CONTACT_D - MAX_OVERLAP;
            touchedAtRest |= (1u << i | 1u << j) & ~sh.moving;
        }
    }
    live = n;
    const uint32_t resting = sh.present & ~sh.moving;
    for (uint32_t is = touchedAtRest; is; is &= is - 1) {
        const int i = lowestBit(is);
        // Each pair once: a partner also touched and lower came with its own turn.
        for (uint32_t js = resting & ~(1u << i) & ~(touchedAtRest & ((1u << i) - 1)); js; js &= js - 1) {
            const int j = lowestBit(js);
            double d2;
            if (touch(i, j, d2))
                pairs[n++] = Pair{std::min(i, j), std::max(i, j)};
        }
    }
    return n;
}

// Runs the sheet until every stone rests; returns whether the exact
// simulation finished it.
bool run(const Fcv1Tables& t, Sheet& sh, ExactRunner& exact, int32_t& events) {
    takeOffLeaving(sh);
    events = 0;
    PairBounds bounds;
    for (;;) {
        if (sh.moving == 0)
            return false;
        if (++events > MAX_EVENTS) {
            exact.run(t, sh);
            return true;
        }
        const int64_t steps = safeSteps(t, sh, bounds);
        if (steps < 0) {
            advanceAll(t, sh, double(t.lastRow()));
            continue;
        }
        if (steps > 0) {
            advanceAll(t, sh, double(steps));
            bounds.clock += steps;
            continue;
        }
        Pair pairs[FCV1_STONES * FCV1_STONES / 2];
        bool deep = false;
        int live = 0;
        const int n = touchingPairs(sh, pairs, live, deep);
        bounds.clock += 1;
        if (!live) {
            advanceAll(t, sh, 1);
            continue;
        }
        if (!deep && contactStep(t, sh, pairs, n, bounds.changed) == StepResult::DONE)
            continue;
        // The exact burst may move every stone.
        bounds.changed = ~0u;
        if (!exact.run(t, sh, BURST_STEPS)) {
            exact.run(t, sh);
            return true;
        }
    }
}

bool sameStone(const Fcv1Board& a, const Fcv1Board& b, int i) {
    return a.present[i] == b.present[i] && (!a.present[i] || (a.x[i] == b.x[i] && a.y[i] == b.y[i]));
}

}  // namespace

Fcv1FastWorkspace::Fcv1FastWorkspace() = default;
Fcv1FastWorkspace::~Fcv1FastWorkspace() = default;

Fcv1Simulator& Fcv1FastWorkspace::freshSimulator() {
    if (simulator_)
        simulator_->forget();
    else
        simulator_ = std::make_unique<Fcv1Simulator>();
    return *simulator_;
}

Fcv1Board fcv1BoardOf(const Fcv1Stones& stones, int32_t hammer) {
    Fcv1Board b;
    for (int i = 0; i < FCV1_STONES; ++i) {
        const int32_t k = fcv1ShotOfIndex(i, hammer);
        b.present[k] = stones.present[i];
        b.x[k] = stones.present[i] ? stones.x[i] : 0.0;
        b.y[k] = stones.present[i] ? fcv1BoardY(stones.y[i]) : 0.0;
    }
    return b;
}

Fcv1Stones fcv1StonesOf(const Fcv1Board& board, int32_t hammer) {
    Fcv1Stones s;
    for (int k = 0; k < FCV1_STONES; ++k) {
        const int32_t i = fcv1ThrownIndex(k, hammer);
        s.present[i] = board.present[k];
        s.x[i] = board.present[k] ? float(board.x[k]) : 0.0f;
        s.y[i] = board.present[k] ? float(fcv1ShotY(board.y[k])) : 0.0f;
    }
    return s;
}

Fcv1FastOutcome simulateFcv1Fast(const Fcv1Tables& tables, Fcv1Board& board, int32_t shot, const Fcv1Move& move,
                                 const IceRules& rules, Fcv1FastWorkspace* workspace) {
    KELVO_CHECK(0 <= shot && shot < FCV1_SHOTS_PER_END, "0 <= shot && shot < 16");
    Fcv1FastOutcome out;
    Sheet sh;
    sh.removal = fcv1MovingRemoval(rules);
    for (int i = 0; i < FCV1_STONES; ++i) {
        const bool present = board.present[i] && i != shot && std::isfinite(board.x[i]) && std::isfinite(board.y[i]);
        Fcv1Glide& g = sh.g[i];
        if (present)
            g = Fcv1Glide{};  // at rest
        g.x = board.x[i];
        g.y = board.y[i];
        sh.present |= uint32_t(present) << i;
    }
    const bool finite = std::isfinite(move.vx) && std::isfinite(move.vy);
    const double vx = finite ? move.vx : 0.0, vy = finite ? move.vy : 0.0;
    Fcv1Glide& thrown = sh.g[shot];
    thrown = tables.glide(0.0, fcv1BoardY(0.0), vx, vy, fcv1LaunchSpin(move));
    sh.present |= 1u << shot;
    sh.setMoving(shot, !tables.resting(thrown));

    // Stones the free guard zone protects: the opponent's (the other parity)
    // in the zone, or every stone.
    uint32_t guarded = 0;
    if (shot < rules.freeGuardShots)
        for (int i = 0; i < FCV1_STONES; ++i)
            if (i != shot && sh.isPresent(i) &&
                (rules.guards == GuardRule::EVERY_STONE ||
                 (i % 2 != shot % 2 && fcv1InGuardZone(rules, float(board.x[i]), float(fcv1ShotY(board.y[i]))))))
                guarded |= 1u << i;

    ExactRunner exact(workspace);
    if (std::hypot(vx, vy) > Fcv1Tables::TOP_SPEED) {
        // Beyond the tables: the exact simulation plays the whole shot.
        Fcv1Sheet launch;
        for (int i = 0; i < FCV1_STONES; ++i)
            launch.stones[i] = exactBody(sh.isPresent(i), sh.g[i], Velocity{});
        launch.stones[shot] = exactBody(true, thrown, Velocity{vx, vy, fcv1LaunchSpin(move)});
        exact.run(tables, sh, launch);
        out.handedOver = true;
    } else {
        out.handedOver = run(tables, sh, exact, out.events);
    }
    out.exactSteps = exact.stepsRun;

    Fcv1Board after;
    for (int i = 0; i < FCV1_STONES; ++i) {
        const Fcv1Glide& g = sh.g[i];
        const bool untouchedThrown = i == shot && !(sh.touched >> i & 1);
        after.present[i] = sh.isPresent(i) && !fcv1OffAtRest(rules, float(g.x), float(fcv1ShotY(g.y)), untouchedThrown);
        after.x[i] = after.present[i] ? g.x : 0.0;
        after.y[i] = after.present[i] ? g.y : 0.0;
    }
    for (int i = 0; i < FCV1_STONES; ++i)
        if ((guarded >> i & 1) && !fcv1GuardKept(rules, float(board.x[i]), after.present[i], float(after.x[i])))
            out.foul = true;
    if (out.foul)
        return out;  // the board stays as it was, without the thrown stone

    bool othersChanged = false;
    for (int i = 0; i < FCV1_STONES; ++i)
        if (i != shot && !sameStone(board, after, i))
            othersChanged = true;
    out.change = othersChanged ? 2 : after.present[shot] ? 1 : 0;
    if (out.change != 0)
        board = after;
    return out;
}

Fcv1ShotResult simulateFcv1Fast(const Fcv1Tables& tables, const Fcv1ShotInput& input, Fcv1FastOutcome* outcome,
                                Fcv1FastWorkspace* workspace) {
    const int32_t shot = input.shot;
    Fcv1Board board = fcv1BoardOf(input.stones, input.hammer);
    board.present[shot] = false;
    IceRules rules = dc3Rules();
    rules.freeGuardShots = input.fiveRockRule ? rules.freeGuardShots : 0;
    const Fcv1FastOutcome o = simulateFcv1Fast(tables, board, shot, input.move, rules, workspace);
    if (outcome)
        *outcome = o;
    Fcv1ShotResult r;
    r.foul = o.foul;
    r.stones = fcv1StonesOf(board, input.hammer);
    return r;
}

}  // namespace Kelvo
