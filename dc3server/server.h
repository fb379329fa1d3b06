// The stand-in Digital Curling 3 server: one game between two clients that
// connect to one port each, refereed with exact fcv1 and each player's
// execution noise, printed shot by shot and optionally recorded.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "dc3/messages.h"

namespace Kelvo::Dc3 {

struct ServerOptions {
    std::string host = "127.0.0.1";
    std::array<int, TEAMS> port = {10000, 10001};  // 0: any free port (printed)
    // Shell commands started as `CMD HOST PORT` once the ports listen; empty: none.
    std::array<std::string, TEAMS> client;
    uint64_t seed = 0;  // of the players' noise
    GameSetting setting;
    // Each player's noise; players without a seed get one from `seed`.
    std::array<std::array<PlayerModel, PLAYERS_PER_TEAM>, TEAMS> players;
    std::string recordPath;  // empty: no record
    std::string htmlPath;    // empty: no viewer page
    double connectSeconds = 60;  // for both clients to connect
    double answerSeconds = 10;   // to answer dc and is_ready
    // Simulation steps (1 ms) between the frames of the trajectory sent in
    // each update's last_move; 0 sends none.
    int trajectorySteps = 0;
};

// Plays the game and prints its course to `out`, the result last. Returns 0
// once the game is over, with a result or without one (a client that
// misbehaved), 1 when the server could not run it.
int runServer(const ServerOptions& options, FILE* out);

}  // namespace Kelvo::Dc3
