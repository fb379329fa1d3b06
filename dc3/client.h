// The client side of one Digital Curling 3 game: connects, introduces the
// team, chooses the player order, answers every update that asks it to throw
// with one move within its time budget, and reports the result.
#pragma once

#include <cstdio>
#include <string>

#include "timing.h"
#include "turn.h"

namespace Kelvo::Dc3 {

struct ClientOptions {
    std::string program = "kelvo-dc3";  // the prefix of error lines
    std::string host = "127.0.0.1";
    int port = 10000;
    std::string name = "kelvo";   // the team name sent with dc_ok
    double connectSeconds = 10;   // to connect
    // How long the server may stay silent before the game starts (the other
    // team may connect late) and after its result. During the game the
    // opponent's clock bounds the wait.
    double waitSeconds = 600;
    TimePlan plan;
    bool verbose = false;         // one line per own move on standard error
};

// Plays one game. Returns 0 after game_over, with one line on `out` telling
// the result; 1 after a refused or lost connection or a message it cannot
// take, with one line on `err` telling why. Never sends a move unasked.
int runClient(const ClientOptions& options, const Decide& decide, FILE* out, FILE* err);

}  // namespace Kelvo::Dc3
