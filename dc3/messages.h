// The JSON lines of the Digital Curling 3 game protocol as plain records: the
// server's messages (dc, is_ready, new_game, update, game_over) and the
// client's (dc_ok, ready_ok, move). Each side parses what the other sends,
// with an error that names the field, and writes its own as one line. A
// client reads a server message for what it uses: a field it does not use
// for that message is taken when it can be read and otherwise ignored.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace Kelvo::Dc3 {

constexpr int TEAMS = 2;
constexpr int PLAYERS_PER_TEAM = 4;
constexpr int STONES_PER_TEAM = 8;
constexpr int SHOTS_PER_END = 16;

// "team0" and "team1".
const char* teamName(int team);

// A message that cannot be read: not JSON, no or an unknown cmd, a missing
// field or one of the wrong type. what() says which.
struct MessageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One player's execution noise as announced. Servers may hide fields: a
// missing one reads as the framework's default.
struct PlayerModel {
    bool identical = false;  // "identical": no noise and no speed cap; otherwise "normal_dist"
    double maxSpeed = 4.0;
    double stddevSpeed = 0.0076;
    double stddevAngle = 0.0018;
    std::optional<unsigned long long> seed;
};

struct GameSetting {
    int maxEnd = 10;
    double sheetWidth = 4.75;
    bool fiveRockRule = true;
    std::array<double, TEAMS> thinkingTime = {};          // seconds for all regular ends
    std::array<double, TEAMS> extraEndThinkingTime = {};  // seconds for each extra end
};

struct Position2 {
    double x = 0, y = 0;
};

struct Stone {
    Position2 position;  // shot frame
    double angle = 0;
};

struct GameResult {
    int winner = -1;  // team, or -1 for none
    std::string reason;  // "score", "concede", "time_limit" or "draw"
};

// The game state of an update. Slot k of a team is its (k+1)-th stone of the end.
struct GameState {
    int end = 0;
    int shot = 0;
    int hammer = 1;  // -1 (null) once the game is over
    std::array<std::array<std::optional<Stone>, STONES_PER_TEAM>, TEAMS> stones;
    std::array<std::vector<std::optional<int>>, TEAMS> scores;  // one per regular end
    std::array<std::optional<int>, TEAMS> extraEndScore;
    std::array<double, TEAMS> thinkingTimeRemaining = {};
    std::optional<GameResult> result;
};

struct Move {
    bool concede = false;
    double vx = 0, vy = 0;  // m/s, shot frame
    bool ccw = true;
};

// The stones' way during a shot, as the server sends it when configured to:
// the sixteen stones before (the thrown one at the hack) and after, and
// frame by frame the stones that changed since the frame before (no value:
// taken off).
struct TrajectoryChange {
    int team = 0;
    int index = 0;
    std::optional<Stone> value;
};
struct Trajectory {
    double secondsPerFrame = 0.1;
    std::array<std::array<std::optional<Stone>, STONES_PER_TEAM>, TEAMS> start, finish;
    std::vector<std::vector<TrajectoryChange>> frames;
};

struct LastMove {
    Move actualMove;
    bool freeGuardZoneFoul = false;
    // Written by the stand-in on request; a client never reads it.
    std::optional<Trajectory> trajectory;
};

// Server to client.
struct DcMessage {
    int major = 1, minor = 0;
    std::string gameId;
    std::string dateTime;
};
struct IsReadyMessage {
    int team = 0;
    std::string rule = "normal";
    GameSetting setting;
    std::string simulator = "fcv1";
    double secondsPerFrame = 0.001;
    std::array<std::array<PlayerModel, PLAYERS_PER_TEAM>, TEAMS> players;
};
struct NewGameMessage {
    std::array<std::string, TEAMS> names;
};
struct UpdateMessage {
    int nextTeam = -1;  // -1: nobody (the game is over)
    GameState state;
    std::optional<LastMove> lastMove;
};
struct GameOverMessage {};

using ServerMessage = std::variant<DcMessage, IsReadyMessage, NewGameMessage, UpdateMessage, GameOverMessage>;

// Client to server.
struct DcOkMessage {
    std::string name;
};
struct ReadyOkMessage {
    std::array<int, PLAYERS_PER_TEAM> playerOrder = {0, 1, 2, 3};
};
struct MoveMessage {
    Move move;
};

using ClientMessage = std::variant<DcOkMessage, ReadyOkMessage, MoveMessage>;

// A team's points: its regular ends and the extra end that decided the game.
int totalScore(const GameState& state, int team);
// "team0 wins by score", "team1 wins by concession", "team0 wins on time", "draw".
std::string resultText(const GameResult& result);

// A player model as is_ready announces it.
nlohmann::ordered_json playerModelJson(const PlayerModel& player);

// Reads what clients of every team use of a server message.
constexpr int EVERY_TEAM = -1;

// Parse one line; throw MessageError. A server message is read for the
// client of `reader`'s team: what it uses of the message must be there and
// valid, anything else is read where it can be. Of an update, a game in
// progress needs the state of a move when it names the reader's team (end,
// shot, hammer, stones, scores, the reader's clock) and the clock of the
// team it names; a finished game (game_result set) only its result and
// scores. last_move and any key it does not know are never needed, and a
// trajectory is skipped unread.
ServerMessage parseServerMessage(const std::string& line, int reader = EVERY_TEAM);
ClientMessage parseClientMessage(const std::string& line);

// The "cmd" of a message, for logs ("dc", "update", ...).
std::string commandName(const ServerMessage& message);
std::string commandName(const ClientMessage& message);

// One JSON object without the line end.
std::string toLine(const ServerMessage& message);
std::string toLine(const ClientMessage& message);

}  // namespace Kelvo::Dc3
