// The client's side of a Digital Curling 4 match without the connection:
// it takes the states the stream pushes, one by one, and says which shot to
// post. It answers a latest state that names its team with one shot, and a
// state it has answered never again (a replay after a reconnect, a state
// sent twice).
#pragma once

#include <optional>
#include <string>

#include "dc3/timing.h"
#include "dc3/turn.h"
#include "messages.h"

namespace Kelvo::Dc4 {

struct SessionOptions {
    std::string program = "kelvo-dc4";  // the prefix of error lines
    int ends = 8;                       // regular ends, when the match is not asked for it
    Dc3::TimePlan plan;
    TeamConfig config;                  // the players whose noise the decision assumes
    bool verbose = false;
};

// A move as Digital Curling 4's shot: the speed, the direction in the shot
// frame and the move's spin magnitude (kept within the server's range),
// + for a clockwise (toward +x) curl.
ShotRequest toShot(const Fcv1Move& move);

class Session {
public:
    Session(const SessionOptions& options, int team, const Dc3::Decide& decide, FILE* err)
        : o_(options), team_(team), decide_(decide), err_(err) {}

    // The shot to post for this event, if any. Throws MessageError on a
    // state it cannot play.
    std::optional<ShotRequest> take(const std::string& event, const State& state);
    // A state with a winner has come.
    bool finished() const { return last_ && last_->winner >= 0; }
    // How long the stream may stay silent now: the clock of the team to
    // throw and a slack, or `idle` when nobody is due.
    double waitSeconds(double idle) const;
    const std::optional<State>& last() const { return last_; }
    // "result: team0 wins, team0 5 : 3 team1; we played team1 (kelvo)"
    std::string resultLine() const;

private:
    Dc3::Turn makeTurn(const State& s, double budget) const;

    const SessionOptions& o_;
    int team_;
    const Dc3::Decide& decide_;
    FILE* err_;
    std::optional<State> last_;
    int answeredEnd_ = -1, answeredShot_ = -1;
    double regularStart_ = 0, extraStart_ = 0;  // the most seen on each clock
};

}  // namespace Kelvo::Dc4
