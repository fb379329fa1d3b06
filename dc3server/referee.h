// The rules of a Digital Curling 3 game, without the connections: whose turn
// it is, the clocks, each shot played with exact fcv1, the end's score, the
// hammer, extra ends and the result. The state it keeps is the one the
// updates show.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "kelvosim/fcv1/fcv1exact.h"
#include "dc3/messages.h"
#include "referee/rules.h"
#include "referee/slotshot.h"

namespace Kelvo::Dc3 {

// A tie after the regular ends goes on with extra ends up to this end
// index; a blank one there makes the game a draw rather than go on forever.
constexpr int LAST_END_INDEX = Kelvo::Referee::LAST_EXTRA_END_INDEX;
// Steps between the points of a recorded path: 0.05 s.
constexpr int TRACE_STEPS = 50;

struct ShotReport {
    int end = 0;
    int shot = 0;
    int team = 0;
    Fcv1Move actual;
    bool foul = false;
    GameState before;  // the state the update showed before the shot
    GameState after;   // the stones after the shot (this end's), before any end is scored
    Fcv1Trace trace;   // the moving stones every traceSteps() steps
    // The points [team 0, team 1] when the shot finished the end.
    std::optional<std::array<int, TEAMS>> endScore;
};

class Referee {
public:
    explicit Referee(const GameSetting& setting);

    // The state as the next update shows it; once the game is over, the
    // last update's: past the end it ended in, shot 0, no hammer, no stones.
    const GameState& state() const { return state_; }
    const GameSetting& setting() const { return setting_; }
    // The team to throw, or -1 once the game is over.
    int nextTeam() const;
    bool over() const { return state_.result.has_value(); }
    // Steps between the frames of a shot's trace: a divisor of TRACE_STEPS
    // (the default), finer for trajectories sent at other frames.
    int traceSteps() const { return traceSteps_; }
    void setTraceSteps(int steps) { traceSteps_ = steps; }
    int64_t remainingMs(int team) const { return remainingMs_[size_t(team)]; }
    std::array<int, TEAMS> totals() const;

    // Takes a move's time off the team's clock. A move that uses up the time
    // loses the game on time; returns false then.
    bool charge(int team, int64_t milliseconds);
    void concede(int team);

    // Plays the shot of nextTeam() with the move as executed, scores the end
    // after its last shot and moves on.
    ShotReport play(const Fcv1Move& actual);

private:
    void endGame(const GameResult& result, bool endFinished);
    void finishEnd(const std::array<int, TEAMS>& points);
    void setClocks(const std::array<double, TEAMS>& seconds);
    void showClocks();

    GameSetting setting_;
    // Digital Curling 3's rules in one world for the game, as the framework
    // keeps it: Box2D carries some contact state from shot to shot.
    std::unique_ptr<Kelvo::Referee::SlotJudge> judge_;
    GameState state_;
    // The ends and the hammer by the shared rules; state_ shows them.
    Kelvo::Referee::GameCourse course_;
    std::array<int64_t, TEAMS> remainingMs_ = {};
    int traceSteps_ = TRACE_STEPS;
};

// The stones of a state for the simulation, and back.
Fcv1Stones toFcv1Stones(const GameState& state);
void setStones(GameState& state, const Fcv1Stones& stones);

// The shot due in the state, thrown with the move as executed.
Kelvo::Referee::SlotShot slotShotOf(const GameState& state, const Fcv1Move& actual);
// Exact fcv1 by Digital Curling 3's rules in one world for a whole game.
std::unique_ptr<Kelvo::Referee::SlotJudge> dc3Judge(bool fiveRockRule);

}  // namespace Kelvo::Dc3
