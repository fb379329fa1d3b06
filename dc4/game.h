// The rules of one Digital Curling 4 match without the connections: the
// teams, whose turn it is, the clocks, each shot with the thrower's noise and
// exact fcv1 by Digital Curling 4's rules, the end's score, the hammer,
// extra ends and the winner. Every state it makes is kept, as the streams
// replay them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <dSFMT.h>

#include "kelvosim/fcv1/fcv1dc4.h"
#include "messages.h"
#include "referee/rules.h"
#include "referee/slotshot.h"

namespace Kelvo::Dc4 {

// The server's default players: Digital Curling 3's.
PlayerConfig defaultPlayer(int team, int player);

// What one shot did, for the record.
struct ShotReport {
    int end = 0;
    int shot = 0;   // total shot number within the end
    int team = 0;
    int player = 0; // 0..3
    ShotRequest requested;
    ShotRequest executed;
    double seconds = 0;      // charged
    bool timedOut = false;   // the clock ran out on this shot
    bool foul = false;       // the free guard zone voided it
    Fcv1Stones before, after;
    Fcv1Trace trace;
    // Points [team 0, team 1] when the shot finished the end.
    std::optional<std::array<int, TEAMS>> endScore;
};

class Game {
public:
    Game(const MatchRequest& request, Dc4Guard guard, uint64_t seed);

    const MatchRequest& request() const { return request_; }
    const std::vector<State>& states() const { return states_; }
    const State& latest() const { return states_.back(); }
    bool over() const { return latest().winner >= 0; }
    bool configured(int team) const { return configured_[size_t(team)]; }
    bool started() const { return configured_[0] && configured_[1]; }
    const TeamConfig& team(int t) const { return teams_[size_t(t)]; }

    // Stores a team's players: the defaults unless the config gives them.
    void configure(int team, const TeamConfig& config);
    // Throws the shot of the team due, `seconds` after the latest state was
    // made. Appends the states it makes (an end's last stone makes two
    // unless the game is over).
    ShotReport shoot(const ShotRequest& shot, double seconds);

private:
    void finishEnd(State& next, ShotReport& report, bool timedOut);

    MatchRequest request_;
    // Digital Curling 4's rules, a fresh world every shot.
    std::unique_ptr<Referee::SlotJudge> judge_;
    // The ends and the hammer by the shared rules: a tie goes on until an
    // extra end is won.
    Referee::GameCourse course_;
    dsfmt_t rng_;
    std::array<bool, TEAMS> configured_ = {};
    std::array<TeamConfig, TEAMS> teams_;
    std::vector<State> states_;
};

// The stones of a state by team and slot, and back; (0, 0) is not in play.
Fcv1Stones toFcv1Stones(const State& s);
void setStones(State& s, const Fcv1Stones& stones);

}  // namespace Kelvo::Dc4
