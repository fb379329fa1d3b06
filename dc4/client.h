// kelvo-dc4's connection: creates or joins a match over HTTP, posts the
// team's configuration, reads the state stream (reconnecting after a drop)
// and posts the session's shots.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "session.h"

namespace Kelvo::Dc4 {

struct ClientOptions {
    std::string url = "http://127.0.0.1:8000";  // scheme, host and port
    std::string user = "user0";
    std::string password = "pass0";
    std::string matchId;          // empty: create one
    bool createOnly = false;      // create, print the id and stop
    MatchRequest match;           // of a match it creates
    int team = 0;                 // the team asked for
    double connectSeconds = 10;
    // How long the stream may be silent before the match starts and after
    // the end; during play the clock of the team due bounds it.
    double waitSeconds = 600;
    int reconnects = 5;           // tries to open the stream again in a row
    SessionOptions session;
};

// Plays one match. Returns 0 with one result line on `out` once a state has
// a winner; 1 with one line on `err` telling why otherwise (a refused
// connection, bad authentication, a body not as described, a silent stream).
int runClient(const ClientOptions& options, const Dc3::Decide& decide, FILE* out, FILE* err);

// The server-sent events of a byte stream: feed it chunks, take the events.
class EventParser {
public:
    struct Event {
        std::string name;
        std::string data;
    };
    // Takes a chunk; returns false when an event grows past the limit.
    bool feed(const char* data, size_t size);
    // Complete events since the last call, in order.
    std::vector<Event> take();

private:
    void line(const std::string& text);

    std::string partial_;
    Event current_;
    bool any_ = false;
    std::vector<Event> ready_;
};

}  // namespace Kelvo::Dc4
