#include "session.h"

#include <chrono>
#include <algorithm>
#include <cmath>

#include "kelvosim/fcv1/fcv1dc4.h"

namespace Kelvo::Dc4 {

namespace {

// The simulation of a shot, the push and the way there and back.
constexpr double SERVER_SLACK_SECONDS = 60;

}  // namespace

ShotRequest toShot(const Fcv1Move& move) {
    ShotRequest s;
    s.velocity = std::hypot(double(move.vx), double(move.vy));
    s.angle = std::atan2(double(move.vy), double(move.vx));
    // The server flips the sign: a positive request is launched clockwise.
    // The magnitude is the move's, within the range the server takes.
    const double magnitude = std::isfinite(move.spin)
                                 ? std::clamp(double(move.spin), double(DC4_MIN_SPIN), double(DC4_MAX_SPIN))
                                 : double(DC4_MAX_SPIN);
    s.spin = move.ccw ? -magnitude : magnitude;
    return s;
}

std::optional<ShotRequest> Session::take(const std::string& event, const State& state) {
    // Older states of a replay only lead up to the latest.
    if (event != "latest_state_update")
        return std::nullopt;
    last_ = state;
    // The limits are not in the state: the most seen on each clock stands for them.
    regularStart_ = std::max(regularStart_, state.remaining[size_t(team_)]);
    extraStart_ = std::max(extraStart_, state.extraRemaining[size_t(team_)]);
    if (state.winner >= 0 || state.nextTeam != team_)
        return std::nullopt;
    if (state.end == answeredEnd_ && state.totalShot == answeredShot_)
        return std::nullopt;
    if (state.totalShot >= SHOTS_PER_END)
        throw MessageError("a team is asked to throw after the end's last stone");
    answeredEnd_ = state.end;
    answeredShot_ = state.totalShot;

    const auto asked = std::chrono::steady_clock::now();
    const int ends = int(state.score[0].size()) - 1 > 0 ? int(state.score[0].size()) - 1 : o_.ends;
    Dc3::ClockState clock;
    const bool extra = state.end >= ends;
    clock.remaining = extra ? state.extraRemaining[size_t(team_)] : state.remaining[size_t(team_)];
    clock.end = state.end;
    clock.shot = state.totalShot;
    clock.maxEnd = ends;
    clock.clockStart = extra ? extraStart_ : regularStart_;
    const double budget = Dc3::shotBudget(clock, o_.plan);
    const Dc3::Turn turn = makeTurn(state, budget);
    const Fcv1Move move = Dc3::decideSafely(decide_, turn, err_, o_.program);
    if (o_.verbose) {
        const double used = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        std::fprintf(err_, "%s: end %d shot %d: budget %.3f s, used %.3f s, %.3f s on the clock, spin %.3f\n",
                     o_.program.c_str(), turn.end, turn.shot, budget, used, clock.remaining, double(move.spin));
        std::fflush(err_);
    }
    return toShot(move);
}

double Session::waitSeconds(double idle) const {
    if (!last_ || last_->winner >= 0 || last_->nextTeam < 0)
        return idle;
    const int ends = int(last_->score[0].size()) - 1;
    const int due = last_->nextTeam;
    const double left = last_->end >= ends ? last_->extraRemaining[size_t(due)] : last_->remaining[size_t(due)];
    return left + SERVER_SLACK_SECONDS;
}

Dc3::Turn Session::makeTurn(const State& s, double budget) const {
    Dc3::Turn t;
    t.team = team_;
    t.end = s.end;
    t.shot = s.totalShot;
    // The team without the hammer throws the even shots.
    t.hammer = s.totalShot % 2 == 0 ? 1 - s.nextTeam : s.nextTeam;
    t.maxEnd = int(s.score[0].size()) - 1 > 0 ? int(s.score[0].size()) - 1 : o_.ends;
    t.fiveRockRule = true;
    for (int team = 0; team < TEAMS; ++team)
        for (int k = 0; k < STONES_PER_TEAM; ++k) {
            const Position& p = s.stones[size_t(team)][size_t(k)];
            const int i = team * STONES_PER_TEAM + k;
            t.stones.present[i] = !(p.x == 0 && p.y == 0);
            t.stones.x[i] = t.stones.present[i] ? float(p.x) : 0.0f;
            t.stones.y[i] = t.stones.present[i] ? float(p.y) : 0.0f;
        }
    for (int e = 0; e < std::min(s.end, t.maxEnd); ++e)
        t.endScores.push_back({e < int(s.score[0].size()) ? s.score[0][size_t(e)] : 0,
                               e < int(s.score[1].size()) ? s.score[1][size_t(e)] : 0});
    t.timeLeft = {s.end >= t.maxEnd ? s.extraRemaining[0] : s.remaining[0],
                  s.end >= t.maxEnd ? s.extraRemaining[1] : s.remaining[1]};
    t.budgetSeconds = budget;
    // In a standard game player floor(n / 4) + 1 throws total shot n.
    const PlayerConfig& p = o_.config.players[size_t(std::min(s.totalShot / 4, PLAYERS - 1))];
    t.noise.maxSpeed = float(p.maxVelocity);
    t.noise.stddevSpeed = float(p.shotStdDev);
    t.noise.stddevAngle = float(p.angleStdDev);
    return t;
}

std::string Session::resultLine() const {
    const std::string us = std::string("we played ") + teamName(team_) + " (" + o_.config.teamName + ")";
    if (!last_ || last_->winner < 0)
        return "result: none, the match ended without a winner; " + us;
    return std::string("result: ") + teamName(last_->winner) + " wins, team0 " + std::to_string(totalScore(*last_, 0)) +
           " : " + std::to_string(totalScore(*last_, 1)) + " team1; " + us;
}

}  // namespace Kelvo::Dc4
