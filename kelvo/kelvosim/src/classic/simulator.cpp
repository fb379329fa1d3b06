#include "kelvosim/classic/simulator.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace Kelvo {

namespace {

// Play-area bounds as the bodies see them: single precision.
constexpr float B2_PLAY_X = float(PLAY_X);          // 2.2300000190734863
constexpr float B2_PLAY_Y_MIN = float(PLAY_Y_MIN);  // -36.54499816894531
constexpr float B2_PLAY_Y_MAX = float(PLAY_Y_MAX);  // 1.975000023841858

// A moving stone must stay strictly inside; a not-a-number coordinate fails.
bool insideRunArea(const b2Vec2& p) {
    return -B2_PLAY_X < p.x && p.x < B2_PLAY_X && B2_PLAY_Y_MIN < p.y && p.y < B2_PLAY_Y_MAX;
}

bool isStill(const b2Vec2& v) { return v.x == 0 && v.y == 0; }

void swapSlots(B2Board& b, int i, int j) {
    std::swap(b.body[i], b.body[j]);
    std::swap(b.stoneState[i], b.stoneState[j]);
}

void moveSlot(B2Board& b, int from, int to) {
    b.body[to] = b.body[from];
    b.stoneState[to] = b.stoneState[from];
}

// Moving stones after a step: stopped ones join the resting range, those that
// left the area are destroyed. Returns false when a protected stone left.
bool scanMoving(B2Board& b) {
    int i = 0;
    while (i < b.numMoving) {
        b2Body* body = b.body[i];
        KELVO_CHECK(body != nullptr, "pb2bd->body[i] != nullptr");
        if (insideRunArea(body->GetPosition())) {
            if (!isStill(body->GetLinearVelocity())) {
                ++i;
                continue;
            }
            b.numMoving -= 1;
            b.numResting += 1;
            if (i != b.numMoving)
                swapSlots(b, i, b.numMoving);
            continue;
        }
        if (b.stoneState[i] & ST_PROTECTED)
            return false;
        b.world.DestroyBody(body);
        b.numMoving -= 1;
        if (i == b.numMoving) {
            if (b.numResting > 0)
                moveSlot(b, i + b.numResting, i);
        } else {
            moveSlot(b, b.numMoving, i);
            if (b.numResting > 0)
                moveSlot(b, b.numMoving + b.numResting, b.numMoving);
        }
    }
    return true;
}

// Resting stones struck in this step join the moving range.
void scanResting(B2Board& b) {
    const int end = b.numMoving + b.numResting;
    for (int j = b.numMoving; j < end; ++j) {
        if (isStill(b.body[j]->GetLinearVelocity()))
            continue;
        swapSlots(b, j, b.numMoving);
        b.numMoving += 1;
        b.numResting -= 1;
    }
}

}  // namespace

bool insideWriteBackArea(const b2Vec2& p) {
    return -B2_PLAY_X <= p.x && p.x <= B2_PLAY_X && B2_PLAY_Y_MIN <= p.y && p.y <= B2_PLAY_Y_MAX;
}

B2Board::B2Board() : world(b2Vec2(0.0f, 0.0f)), stoneState{}, numResting(0), numMoving(0), voided(false) {}

B2Board::~B2Board() {
    for (int i = 0; i < numMoving + numResting; ++i) {
        KELVO_CHECK(body[i] != nullptr, "body[i] != nullptr");
        world.DestroyBody(body[i]);
    }
}

b2Body* createStone(double x, double y, b2World& world) {
    b2BodyDef bodyDef;
    bodyDef.type = b2_dynamicBody;
    bodyDef.position.Set(float(x), float(y));

    b2CircleShape shape;
    shape.m_radius = float(STONE_R);

    b2FixtureDef fixtureDef;
    fixtureDef.shape = &shape;
    fixtureDef.friction = float(DECEL);
    fixtureDef.restitution = B2_RESTITUTION;
    fixtureDef.density = B2_DENSITY;
    fixtureDef.filter.categoryBits = B2_COLLISION_BITS;
    fixtureDef.filter.maskBits = B2_COLLISION_BITS;
    fixtureDef.filter.groupIndex = 0;

    b2Body* body = world.CreateBody(&bodyDef);
    body->CreateFixture(&fixtureDef);
    return body;
}

void addMovingStone(B2Board& board, const FSStone& stone, int32_t state) {
    const StoneMotion& m = stone.motion;
    b2Body* body = createStone(m.x, m.y, board.world);
    body->SetLinearVelocity(b2Vec2(float(std::sin(m.angle) * m.speed), float(std::cos(m.angle) * m.speed)));
    body->SetAngularVelocity(float(m.spin));
    // Moving stones precede resting ones, so the slot is free.
    KELVO_CHECK(board.numResting == 0, "numResting == 0");
    board.body[board.numMoving] = body;
    board.stoneState[board.numMoving] = state & (ST_WHITE | ST_PROTECTED);
    board.numMoving += 1;
}

void addRestingStone(B2Board& board, Vec2 org, int32_t state) {
    if (!isInPlayArea(org.x, org.y)) {
        // Standard output is the protocol's channel: diagnostics go to
        // standard error.
        std::fprintf(stderr, "%lf, %lf\n", org.x, org.y);
        std::fflush(stderr);
        KELVO_CHECK(false, "isInPlayArea( org.x, org.y )");
    }
    b2Body* body = createStone(org.x, org.y, board.world);
    const int slot = board.numMoving + board.numResting;
    board.body[slot] = body;
    board.stoneState[slot] = state;
    board.numResting += 1;
}

StoneVelocity applyFriction(double dv, double vx, double vy, double w) {
    const double speed = std::hypot(vx, vy);
    if (!(speed > dv))
        return StoneVelocity{0.0, 0.0, 0.0};
    const double ux = vx / speed;
    const double uy = vy / speed;
    double dx = -dv * ux;
    double dy = -dv * uy;
    if (w != 0) {
        // The curl pushes sideways: to the right of travel for positive spin.
        const double c = dv * CURL_RATIO;
        if (w > 0) {
            dx += c * uy;
            dy -= c * ux;
        } else {
            dx -= c * uy;
            dy += c * ux;
        }
    }
    return StoneVelocity{vx + dx, vy + dy, w};
}

void frictionStep(double dv, b2Body* body) {
    const b2Vec2 v = body->GetLinearVelocity();
    const StoneVelocity next = applyFriction(dv, double(v.x), double(v.y), double(body->GetAngularVelocity()));
    body->SetLinearVelocity(b2Vec2(float(next.vx), float(next.vy)));
    body->SetAngularVelocity(float(next.w));
}

void frictionAll(double dv, B2Board* pSubGameState) {
    for (int i = 0; i < pSubGameState->numMoving; ++i) {
        KELVO_CHECK(pSubGameState->body[i] != nullptr, "pSubGameState->body[i]!=nullptr");
        frictionStep(dv, pSubGameState->body[i]);
    }
}

namespace {

// The motion loop; `afterStep` sees the board after every physics step,
// before stones that left the area are taken off it.
template <class AfterStep>
int runB2(B2Board* pb2bd, double dt, AfterStep&& afterStep) {
    const double dv = dt * DECEL;
    const float step = float(dt);
    // Half a loss first, so each step integrates the mid-step velocity.
    frictionAll(dv / 2, pb2bd);
    int count = 0;
    for (;;) {
        pb2bd->world.Step(step, B2_VELOCITY_ITERATIONS, B2_POSITION_ITERATIONS);
        afterStep(*pb2bd);
        if (!scanMoving(*pb2bd)) {
            pb2bd->voided = true;
            return 0;
        }
        scanResting(*pb2bd);
        if (pb2bd->numMoving == 0)
            return count;
        frictionAll(dv, pb2bd);
        ++count;
    }
}

// Keeps a path's points no more than PATH_SPACING apart: the point of the
// previous step is kept once the stone is further than that from the last
// kept point, and a step longer than the spacing is cut into equal pieces.
// A stone struck after resting gets its start again at the last moment it
// stood still, so the path's times say when it began to move.
void extendPath(std::vector<PathPoint>& path, PathPoint& previous, PathPoint now) {
    if (now.x == previous.x && now.y == previous.y) {
        previous.t = now.t;
        return;
    }
    const PathPoint last = path.back();
    if (path.size() == 1 && previous.t > last.t)
        path.push_back(previous);
    if (std::hypot(now.x - last.x, now.y - last.y) > PATH_SPACING) {
        const PathPoint kept = path.back();
        if (previous.x != kept.x || previous.y != kept.y)
            path.push_back(previous);
        const PathPoint from = path.back();
        const double gap = std::hypot(now.x - from.x, now.y - from.y);
        const int pieces = int(std::ceil(gap / PATH_SPACING));
        for (int j = 1; j < pieces; ++j) {
            const double f = double(j) / pieces;
            path.push_back(PathPoint{from.x + (now.x - from.x) * f, from.y + (now.y - from.y) * f,
                                     from.t + (now.t - from.t) * f});
        }
    }
    previous = now;
}

}  // namespace

int simulateB2(B2Board* pb2bd, double dt) {
    return runB2(pb2bd, dt, [](const B2Board&) {});
}

ExactShotTrace traceShotExact(const ThinkBoard& board, const fMoveXY<double>& shot, double dt, bool withPaths) {
    ExactShotTrace trace;
    B2Board b2bd;
    const b2Body* bodies[17];

    FSStone thrown;
    thrown.motion.x = 0;
    thrown.motion.y = -TEE_TO_THROW;
    thrown.motion.angle = std::atan2(shot.x, shot.y);
    thrown.motion.speed = std::hypot(shot.x, shot.y);
    thrown.motion.spin = shot.spin == 1 ? -CURL_RATIO : CURL_RATIO;
    addMovingStone(b2bd, thrown, board.turn % 2);
    bodies[0] = b2bd.body[0];
    trace.colour[0] = board.turn % 2;
    trace.start[0] = Vec2{thrown.motion.x, thrown.motion.y};
    trace.n = 1;
    for (int c = 0; c < 2; ++c)
        for (int j = 0; j < board.count[c]; ++j) {
            const fStonePos& s = board.stones[c][j];
            addRestingStone(b2bd, Vec2{s.x, s.y}, board.state[c][j]);
            bodies[trace.n] = b2bd.body[b2bd.numMoving + b2bd.numResting - 1];
            trace.colour[trace.n] = c;
            trace.start[trace.n] = Vec2{s.x, s.y};
            trace.n += 1;
        }

    PathPoint previous[17];
    if (withPaths)
        for (int k = 0; k < trace.n; ++k) {
            previous[k] = PathPoint{trace.start[k].x, trace.start[k].y, 0.0};
            trace.path[k].assign(1, previous[k]);
        }
    int steps = 0;
    auto record = [&](const B2Board& b) {
        const double t = ++steps * dt;
        // Every listed body is still alive here: stones that left the area
        // are destroyed only after this look, so their last point is kept.
        for (int i = 0; i < b.numMoving + b.numResting; ++i)
            for (int k = 0; k < trace.n; ++k)
                if (b.body[i] == bodies[k]) {
                    const b2Vec2 p = b.body[i]->GetPosition();
                    extendPath(trace.path[k], previous[k], PathPoint{double(p.x), double(p.y), t});
                    break;
                }
    };
    if (withPaths)
        runB2(&b2bd, dt, record);
    else
        simulateB2(&b2bd, dt);
    trace.voided = b2bd.voided;

    const int listed = b2bd.numMoving + b2bd.numResting;
    for (int k = 0; k < trace.n; ++k) {
        trace.inPlay[k] = false;
        trace.moved[k] = true;
        trace.rest[k] = trace.start[k];
        for (int i = 0; i < listed; ++i) {
            if (b2bd.body[i] != bodies[k])
                continue;
            const b2Vec2 p = b2bd.body[i]->GetPosition();
            trace.inPlay[k] = insideWriteBackArea(p);
            // A stone the shot never touched keeps its exact coordinates.
            trace.moved[k] = k == 0 || p.x != float(trace.start[k].x) || p.y != float(trace.start[k].y);
            if (trace.moved[k])
                trace.rest[k] = Vec2{double(p.x), double(p.y)};
        }
    }
    if (withPaths)
        for (int k = 0; k < trace.n; ++k) {
            std::vector<PathPoint>& path = trace.path[k];
            if (path.back().x != previous[k].x || path.back().y != previous[k].y)
                path.push_back(previous[k]);
            if (path.size() < 2)
                path.clear();  // it never moved
        }
    return trace;
}

ShotChange applyExactTrace(ThinkBoard& board, const ExactShotTrace& trace) {
    if (trace.voided)
        return CHANGE_NONE;
    bool othersMoved = false;
    for (int k = 1; k < trace.n; ++k)
        othersMoved = othersMoved || trace.moved[k] || !trace.inPlay[k];
    if (!othersMoved) {
        if (!trace.inPlay[0])
            return CHANGE_NONE;
        addStoneTracked(board, trace.colour[0], trace.rest[0].x, trace.rest[0].y);
        return CHANGE_ADDED;
    }
    clearStoneLists(board);
    for (int k = 0; k < trace.n; ++k)
        if (trace.inPlay[k])
            addStone(board, trace.colour[k], trace.rest[k].x, trace.rest[k].y);
    return CHANGE_REBUILT;
}

ShotChange simulateShotExact(ThinkBoard& board, const fMoveXY<double>& shot, double dt) {
    return applyExactTrace(board, traceShotExact(board, shot, dt));
}

}  // namespace Kelvo
