// The stand-in Digital Curling 4 server: matches created, joined and played
// over HTTP with Basic authentication, the states pushed as server-sent
// events, the read-only answers a viewer needs, clocks with a loss on time,
// the players' noise from a seed and each match refereed with exact fcv1 by
// Digital Curling 4's rules and recorded.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace Kelvo::Dc4 {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: any free port (printed)
    std::vector<std::pair<std::string, std::string>> accounts = {{"user0", "pass0"}, {"user1", "pass1"}};
    uint64_t seed = 0;         // of the players' noise; match k gets its own from it
    std::string recordDir;     // empty: no records; else DIR/<match id>.jsonl
    double pingSeconds = 30;   // a comment on a stream silent this long
    int exitAfter = 0;         // stop once this many matches have a winner; 0: run until stopped
    bool quiet = false;        // no line per match on `out`
    // For trying reconnects: every player stream that sends the state of
    // this end and total shot closes right after it, once per match.
    int dropEnd = -1, dropShot = -1;
};

// Serves until stopped by SIGINT or SIGTERM, or after `exitAfter` finished
// matches. Prints "listening on HOST:PORT" first. Returns 0 after a stop,
// 1 when it cannot listen.
int runServer(const ServerOptions& options, FILE* out);

}  // namespace Kelvo::Dc4
