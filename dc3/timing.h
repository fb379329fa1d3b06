// The client's time management. A team has one clock for all regular ends
// and a fresh one for each extra end; every move's time comes off it, and a
// clock that runs out loses the game. Each shot gets a share of what is
// left after a reserve and a per-shot allowance for the connection and a
// loaded machine, weighted toward the last stones of an end.
#pragma once

namespace Kelvo::Dc3 {

struct TimePlan {
    // Kept back for each shot still to throw: the message's way there and
    // back, and a decision that overruns its budget on a busy machine.
    double overheadPerShot = 0.15;
    // Never spent: this share of the clock the team started the ends with,
    // at least minReserve seconds.
    double reserveShare = 0.05;
    double minReserve = 0.5;
    // Weights of a team's seventh and eighth stone of an end against 1 for
    // the others: the last stones decide the end's score.
    double seventhStoneWeight = 1.5;
    double lastStoneWeight = 2.0;
};

struct ClockState {
    double remaining = 0;    // seconds on the team's clock now
    double clockStart = 0;   // the clock's start: thinking_time, or extra_end_thinking_time in an extra end
    int end = 0;             // from 0
    int shot = 0;            // 0..15, the team's shot to play
    int maxEnd = 10;         // regular ends
};

// The team's stones still to throw on this clock, this one included: the
// rest of this end, and eight for each regular end after it (an extra end
// has its own clock).
int stonesLeftOnClock(const ClockState& clock);

// Seconds to spend deciding this shot; 0 when the clock has nothing to spare.
double shotBudget(const ClockState& clock, const TimePlan& plan = TimePlan());

}  // namespace Kelvo::Dc3
