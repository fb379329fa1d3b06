// The exact fcv1 simulation in a Box2D world.
#include "kelvosim/fcv1/fcv1exact.h"

#include <algorithm>
#include <cmath>

#include "kelvosim/primitive.h"

namespace Kelvo {

namespace {
constexpr float STONE_DENSITY = FCV1_STONE_MASS / (b2_pi * FCV1_STONE_R * FCV1_STONE_R);

b2Body* createStoneBody(b2World& world) {
    b2BodyDef bodyDef;
    bodyDef.type = b2_dynamicBody;
    bodyDef.bullet = true;
    b2Body* body = world.CreateBody(&bodyDef);

    b2CircleShape shape;
    shape.m_radius = FCV1_STONE_R;
    b2FixtureDef fixtureDef;
    fixtureDef.shape = &shape;
    fixtureDef.density = STONE_DENSITY;
    fixtureDef.friction = FCV1_STONE_FRICTION;
    fixtureDef.restitution = FCV1_STONE_RESTITUTION;
    fixtureDef.restitutionThreshold = 0.0f;
    body->CreateFixture(&fixtureDef);
    return body;
}

}  // namespace

struct Fcv1Simulator::World {
    b2World world{b2Vec2(0.0f, 0.0f)};
    b2Body* bodies[FCV1_STONES] = {};

    World() {
        for (b2Body*& body : bodies)
            body = createStoneBody(world);
    }

    // Sets every body from the sheet in index order: a missing stone is
    // disabled, a present one enabled, woken, placed and given its motion.
    void set(const Fcv1Sheet& sheet, int32_t end) {
        for (int i = 0; i < FCV1_STONES; ++i) {
            const Fcv1Body& s = sheet.stones[i];
            b2Body* body = bodies[i];
            if (!s.present) {
                body->SetEnabled(false);
                continue;
            }
            body->SetEnabled(true);
            body->SetAwake(true);
            body->SetTransform(fcv1ToSim(s.x, s.y, end), s.angle);
            body->SetLinearVelocity(fcv1VelocityToSim(s.vx, s.vy, end));
            body->SetAngularVelocity(s.w);
        }
    }

    // Sets every body again from its own state after a stone came off: the
    // removed ones disabled, the others enabled, woken, placed and given
    // their motion anew.
    void reset(const bool present[FCV1_STONES]) {
        for (int i = 0; i < FCV1_STONES; ++i) {
            b2Body* body = bodies[i];
            if (!present[i]) {
                body->SetEnabled(false);
                continue;
            }
            const b2Vec2 p = body->GetPosition();
            const float angle = body->GetAngle();
            const b2Vec2 v = body->GetLinearVelocity();
            const float w = body->GetAngularVelocity();
            body->SetEnabled(true);
            body->SetAwake(true);
            body->SetTransform(p, angle);
            body->SetLinearVelocity(v);
            body->SetAngularVelocity(w);
        }
    }

    // Reads a present body back into the sheet.
    void get(int i, Fcv1Body& s, int32_t end) const {
        const b2Body* body = bodies[i];
        const b2Vec2 p = fcv1FromSim(body->GetPosition(), end);
        const b2Vec2 v = fcv1VelocityFromSim(body->GetLinearVelocity(), end);
        s.x = p.x;
        s.y = p.y;
        s.vx = v.x;
        s.vy = v.y;
        s.w = body->GetAngularVelocity();
        s.angle = body->GetAngle();
    }
};

Fcv1Simulator::Fcv1Simulator() : world_(std::make_unique<World>()) {}
Fcv1Simulator::~Fcv1Simulator() = default;

void Fcv1Simulator::forget() {
    // A disabled body loses its contacts.
    for (b2Body* body : world_->bodies)
        body->SetEnabled(false);
}

namespace {

void recordFrame(const Fcv1Sheet& sheet, int32_t step, Fcv1Trace& trace) {
    Fcv1TraceFrame frame;
    frame.step = step;
    for (int i = 0; i < FCV1_STONES; ++i) {
        const Fcv1Body& s = sheet.stones[i];
        if (s.present && (s.vx != 0 || s.vy != 0 || s.w != 0))
            frame.moving.push_back(Fcv1TraceStone{i, s.x, s.y, s.vx, s.vy, s.w});
    }
    trace.frames.push_back(std::move(frame));
}

}  // namespace

int32_t Fcv1Simulator::run(Fcv1Sheet& sheet, int32_t end, Fcv1Trace* trace, int32_t maxSteps,
                           const Fcv1MovingRemoval& removal, uint32_t* touched) {
    World& w = *world_;
    if (touched)
        *touched = 0;
    w.set(sheet, end);
    bool present[FCV1_STONES];
    for (int i = 0; i < FCV1_STONES; ++i)
        present[i] = sheet.stones[i].present;
    int32_t steps = 0;
    for (;;) {
        // Stones that left the sheet come off; the framework then sets every
        // body again from its state, which can matter for exact contacts.
        bool removed = false;
        for (int i = 0; i < FCV1_STONES; ++i) {
            if (!present[i])
                continue;
            const b2Vec2 p = fcv1FromSim(w.bodies[i]->GetPosition(), end);
            if (fcv1LeavesWhileMoving(p.x, p.y, removal)) {
                present[i] = false;
                removed = true;
            }
        }
        if (removed)
            w.reset(present);

        bool stopped = true;
        for (int i = 0; i < FCV1_STONES && stopped; ++i)
            if (present[i])
                stopped = fcv1Stopped(w.bodies[i]->GetLinearVelocity(), w.bodies[i]->GetAngularVelocity());
        const bool last = stopped || steps >= maxSteps;
        if (last || (trace && steps % std::max(trace->every, 1) == 0)) {
            for (int i = 0; i < FCV1_STONES; ++i) {
                sheet.stones[i].present = present[i];
                if (present[i])
                    w.get(i, sheet.stones[i], end);
            }
            if (trace)
                recordFrame(sheet, steps, *trace);
        }
        if (last)
            return steps;

        for (int i = 0; i < FCV1_STONES; ++i) {
            if (!present[i])
                continue;
            b2Body* body = w.bodies[i];
            b2Vec2 v = body->GetLinearVelocity();
            float spin = body->GetAngularVelocity();
            fcv1UpdateMotion(v, spin);
            body->SetLinearVelocity(v);
            body->SetAngularVelocity(spin);
        }
        w.world.Step(FCV1_DT, FCV1_VELOCITY_ITERATIONS, FCV1_POSITION_ITERATIONS);
        ++steps;
        if (touched)
            for (const b2Contact* c = w.world.GetContactList(); c; c = c->GetNext()) {
                if (!c->IsTouching())
                    continue;
                for (int i = 0; i < FCV1_STONES; ++i)
                    if (w.bodies[i] == c->GetFixtureA()->GetBody() || w.bodies[i] == c->GetFixtureB()->GetBody())
                        *touched |= 1u << i;
            }
    }
}

Fcv1Sheet fcv1SheetThrowing(const Fcv1Stones& stones, int32_t thrown, float vx, float vy, float spin) {
    Fcv1Sheet sheet;
    for (int i = 0; i < FCV1_STONES; ++i) {
        Fcv1Body& s = sheet.stones[i];
        // A stone without a finite place cannot be on the sheet.
        s.present = stones.present[i] && std::isfinite(stones.x[i]) && std::isfinite(stones.y[i]);
        s.x = s.present ? stones.x[i] : 0.0f;
        s.y = s.present ? stones.y[i] : 0.0f;
    }
    Fcv1Body& t = sheet.stones[thrown];
    t = Fcv1Body{};
    t.present = true;
    // A launch velocity that is not finite leaves the stone at the hack.
    if (std::isfinite(vx) && std::isfinite(vy)) {
        t.vx = vx;
        t.vy = vy;
    }
    t.w = spin;
    return sheet;
}

Fcv1Sheet fcv1LaunchSheet(const Fcv1ShotInput& input) {
    KELVO_CHECK(0 <= input.shot && input.shot < FCV1_SHOTS_PER_END, "0 <= shot && shot < 16");
    KELVO_CHECK(input.hammer == 0 || input.hammer == 1, "hammer == 0 || hammer == 1");
    return fcv1SheetThrowing(input.stones, fcv1ThrownIndex(input.shot, input.hammer), input.move.vx, input.move.vy,
                             fcv1LaunchSpin(input.move));
}

Fcv1ShotResult fcv1ApplyRules(const Fcv1ShotInput& input, const Fcv1Sheet& rest, int32_t steps) {
    Fcv1ShotResult result;
    result.steps = steps;
    for (int i = 0; i < FCV1_STONES; ++i) {
        const Fcv1Body& s = rest.stones[i];
        result.stones.present[i] = s.present && !fcv1ShortOfHog(s.y);
        result.stones.x[i] = result.stones.present[i] ? s.x : 0.0f;
        result.stones.y[i] = result.stones.present[i] ? s.y : 0.0f;
    }
    const int32_t thrower = fcv1ThrowingTeam(input.shot, input.hammer);
    const uint32_t guarded = fcv1ProtectedStones(input.stones, input.shot, thrower, input.fiveRockRule);
    for (int i = 0; i < FCV1_STONES; ++i)
        if ((guarded >> i & 1) && !result.stones.present[i])
            result.foul = true;
    if (result.foul) {
        result.stones = input.stones;
        const int32_t thrown = fcv1ThrownIndex(input.shot, input.hammer);
        result.stones.present[thrown] = false;
        result.stones.x[thrown] = result.stones.y[thrown] = 0.0f;
    }
    return result;
}

Fcv1ShotResult Fcv1Simulator::shot(const Fcv1ShotInput& input, Fcv1Trace* trace) {
    Fcv1Sheet sheet = fcv1LaunchSheet(input);
    const int32_t steps = run(sheet, input.end, trace);
    if (trace)
        for (int i = 0; i < FCV1_STONES; ++i) {
            trace->rest.present[i] = sheet.stones[i].present;
            trace->rest.x[i] = sheet.stones[i].present ? sheet.stones[i].x : 0.0f;
            trace->rest.y[i] = sheet.stones[i].present ? sheet.stones[i].y : 0.0f;
        }
    return fcv1ApplyRules(input, sheet, steps);
}

Fcv1ShotResult simulateFcv1Exact(const Fcv1ShotInput& input, Fcv1Trace* trace) {
    Fcv1Simulator simulator;
    return simulator.shot(input, trace);
}

}  // namespace Kelvo
