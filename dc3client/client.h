// The client side of one Digital Curling 3 game: connects, introduces the
// team, chooses the player order, answers every update that asks it to throw
// with one move within its time budget, and reports the result.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "dc3/messages.h"
#include "dc3/timing.h"
#include "dc3/turn.h"

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

// A reason to stop: a message the client cannot take, a lost connection.
struct ClientFailure {
    std::string why;
};

// The client's side of the game without the connection: it takes the
// server's lines one by one and says what to send back. It answers dc,
// is_ready and every update that asks its team to throw, nothing else.
class ClientSession {
public:
    ClientSession(const ClientOptions& options, const Decide& decide, FILE* err)
        : o_(options), decide_(decide), err_(err) {}

    // The reply to the line, if any. Throws ClientFailure on a message it
    // cannot take or one out of turn.
    std::optional<ClientMessage> take(const std::string& line);
    // game_over has come.
    bool finished() const { return phase_ == Phase::Done; }
    // The message awaited, for error lines ("dc", "update", ...).
    const char* awaited() const;
    // Seconds the server may stay silent before the next message.
    double waitSeconds() const { return wait_; }
    // "result: team0 wins by score, team0 3 : 1 team1; we played team1 (kelvo)"
    std::string resultLine() const;

private:
    enum class Phase { Dc, IsReady, NewGame, Play, GameOver, Done };

    std::optional<ClientMessage> onUpdate(const UpdateMessage& update);

    const ClientOptions& o_;
    const Decide& decide_;
    FILE* err_;
    Phase phase_ = Phase::Dc;
    double wait_ = 0;
    IsReadyMessage ready_;
    std::array<int, PLAYERS_PER_TEAM> order_ = {0, 1, 2, 3};
    std::array<std::string, TEAMS> names_;
    std::optional<GameState> last_;
};

// Plays one game. Returns 0 after game_over, with one line on `out` telling
// the result; 1 after a refused or lost connection or a message it cannot
// take, with one line on `err` telling why. Never sends a move unasked.
int runClient(const ClientOptions& options, const Decide& decide, FILE* out, FILE* err);

}  // namespace Kelvo::Dc3
