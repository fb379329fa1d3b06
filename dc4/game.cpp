#include "game.h"

#include <algorithm>
#include <cmath>

namespace Kelvo::Dc4 {

namespace {

double normal(dsfmt_t& rng) {
    const double u1 = dsfmt_genrand_open_open(&rng);
    const double u2 = dsfmt_genrand_open_open(&rng);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

class Dc4Judge final : public Referee::SlotJudge {
public:
    explicit Dc4Judge(Dc4Guard guard) : rules_(dc4Rules(guard)) {}

    Fcv1ShotResult play(const Referee::SlotShot& shot, Fcv1Trace* trace) override {
        Dc4ShotInput input;
        input.stones = shot.before;
        input.shot = shot.shot;
        input.thrower = shot.thrower;
        input.vx = shot.move.vx;
        input.vy = shot.move.vy;
        input.spin = fcv1LaunchSpin(shot.move);
        Fcv1Simulator simulator;
        return playDc4Shot(simulator, input, rules_, trace);
    }

private:
    IceRules rules_;
};

}  // namespace

PlayerConfig defaultPlayer(int team, int player) {
    PlayerConfig p;
    p.name = std::string(teamName(team)) + "-" + std::to_string(player + 1);
    return p;
}

Fcv1Stones toFcv1Stones(const State& s) {
    Fcv1Stones out;
    for (int t = 0; t < TEAMS; ++t)
        for (int k = 0; k < STONES_PER_TEAM; ++k) {
            const Position& p = s.stones[size_t(t)][size_t(k)];
            const int i = t * STONES_PER_TEAM + k;
            out.present[i] = !(p.x == 0 && p.y == 0);
            out.x[i] = float(p.x);
            out.y[i] = float(p.y);
        }
    return out;
}

void setStones(State& s, const Fcv1Stones& stones) {
    for (int i = 0; i < FCV1_STONES; ++i)
        s.stones[size_t(i / STONES_PER_TEAM)][size_t(i % STONES_PER_TEAM)] =
            stones.present[i] ? Position{stones.x[i], stones.y[i]} : Position{};
}

Game::Game(const MatchRequest& request, Dc4Guard guard, uint64_t seed)
    : request_(request),
      judge_(std::make_unique<Dc4Judge>(guard)),
      course_(Referee::gameCourse(request.ends, Referee::NO_LAST_END)) {
    dsfmt_init_gen_rand(&rng_, uint32_t(seed ^ (seed >> 32)));
    State first;
    first.nextTeam = 0;  // team0 throws first in end 0: team1 has the hammer
    first.remaining = {request.timeLimit, request.timeLimit};
    first.extraRemaining = {request.extraEndTimeLimit, request.extraEndTimeLimit};
    for (auto& points : first.score)
        points.assign(size_t(request.ends + 1), 0);
    for (int t = 0; t < TEAMS; ++t)
        for (int p = 0; p < PLAYERS; ++p)
            teams_[size_t(t)].players[size_t(p)] = defaultPlayer(t, p);
    states_.push_back(first);
}

void Game::configure(int team, const TeamConfig& config) {
    TeamConfig& kept = teams_[size_t(team)];
    kept.teamName = config.teamName;
    kept.useDefault = config.useDefault;
    if (!config.useDefault)
        kept.players = config.players;
    configured_[size_t(team)] = true;
    for (State& s : states_)
        s.names[size_t(team)] = config.teamName;
}

ShotReport Game::shoot(const ShotRequest& shot, double seconds) {
    const State now = latest();
    ShotReport r;
    r.end = now.end;
    r.shot = now.totalShot;
    r.team = now.nextTeam;
    r.player = std::min(r.shot / 4, PLAYERS - 1);
    r.requested = shot;
    r.seconds = std::max(seconds, 0.0);
    r.before = toFcv1Stones(now);

    State next = now;
    const int me = r.team;
    double& clock = now.end < request_.ends ? next.remaining[size_t(me)] : next.extraRemaining[size_t(me)];
    clock -= r.seconds;
    if (clock < 0) {
        clock = 0;
        r.timedOut = true;
        next.winner = 1 - me;
    }

    // The thrower's noise, then the launch; the clamp and sign of the spin.
    const PlayerConfig& p = teams_[size_t(me)].players[size_t(r.player)];
    const double speed =
        std::max(std::min(shot.velocity, p.maxVelocity) + p.shotStdDev * normal(rng_), 0.0);
    const double angle = shot.angle + p.angleStdDev * normal(rng_);
    r.executed = ShotRequest{speed, angle, double(dc4ExecutedSpin(shot.spin))};

    Referee::SlotShot thrown;
    thrown.before = r.before;
    thrown.shot = r.shot;
    thrown.end = r.end;
    thrown.thrower = me;
    thrown.hammer = 1 - course_.firstSide;
    const float spin = float(r.executed.spin);
    thrown.move = Fcv1Move{float(speed * std::cos(angle)), float(speed * std::sin(angle)), spin > 0, std::fabs(spin)};
    r.trace.every = 50;
    const Fcv1ShotResult result = judge_->play(thrown, &r.trace);
    r.foul = result.foul;
    r.after = result.stones;

    setStones(next, result.stones);
    next.lastMove = r.executed;
    next.totalShot = r.shot + 1;
    next.nextTeam = Referee::sideOfShot(course_.firstSide, next.totalShot);
    if (next.totalShot == SHOTS_PER_END)
        finishEnd(next, r, r.timedOut);
    else
        states_.push_back(next);
    return r;
}

// The end's final state, then the next end's first unless the game is over.
void Game::finishEnd(State& next, ShotReport& r, bool timedOut) {
    const std::array<int32_t, 2> points = scoreDc4End(r.after);
    r.endScore = std::array<int, TEAMS>{points[0], points[1]};
    const size_t slot = size_t(std::min(next.end, request_.ends));
    for (int t = 0; t < TEAMS; ++t)
        next.score[size_t(t)][slot] += points[size_t(t)];
    next.nextTeam = -1;
    Referee::finishEnd(course_, points[0], points[1]);
    // From the last regular end on the score decides after each end, also
    // over a loss on time on the end's last stone.
    if (next.end >= request_.ends - 1 && (timedOut || next.winner < 0)) {
        const Referee::Winner winner = Referee::winnerOf(course_);
        next.winner = winner == Referee::Winner::Draw ? -1 : winner == Referee::Winner::Player1 ? 0 : 1;
    }
    states_.push_back(next);
    if (next.winner >= 0)
        return;

    State first = next;
    // The scoring team throws first; after a blank end the same team as before.
    first.nextTeam = course_.firstSide;
    first.end = next.end + 1;
    first.totalShot = 0;
    first.lastMove.reset();
    setStones(first, Fcv1Stones{});
    states_.push_back(first);
}

}  // namespace Kelvo::Dc4
