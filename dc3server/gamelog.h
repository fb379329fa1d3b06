// The framework server's own game log, game.dcl2: JSON Lines of
// {"ver", "tag": "gam", "id", "date_time", "thread", "log"}, `log` being each
// message as it was sent or received (dc_ok, ready_ok and move with the
// team added) and two meta entries. Read into a game record in the layout
// of the stand-in's, so the viewer, the summary and the analysis take it as
// they take ours.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "dc3/messages.h"
#include "dc3/turn.h"

namespace Kelvo::Dc3 {

// One turn: the update that asked for a move, the move if one came, and
// the update after it.
struct LoggedTurn {
    UpdateMessage asked;
    std::optional<Move> selected;
    UpdateMessage after;
};

struct GameLog {
    IsReadyMessage game;  // the settings and players (its team means nothing)
    std::array<std::string, TEAMS> names;
    std::array<std::array<int, PLAYERS_PER_TEAM>, TEAMS> order = {{{0, 1, 2, 3}, {0, 1, 2, 3}}};
    std::vector<LoggedTurn> turns;
    std::optional<GameState> last;  // the last update's state
};

// Whether the text is such a log: its first line is an object with "tag" and "log".
bool isGameLog(const std::string& text);

// False with `error` ("line N: ...") when the text cannot be read as one.
bool readGameLog(const std::string& text, GameLog& log, std::string& error);

// The log as a game record (JSON Lines). Every shot is played again with
// exact fcv1, in one world as the server plays them, for its paths and the
// stones after an end's last shot, which no update shows; the stones after
// the other shots are the updates'. The record's seed stands for the
// players' seeds, so the two games of a pair share it.
std::string gameLogRecord(const GameLog& log);

// The turn of shot `shot` of end `end` as the mover's client was asked to
// play it. False with `error` when the log holds no such turn.
bool gameLogTurn(const GameLog& log, int end, int shot, Turn& turn, std::string& error);

}  // namespace Kelvo::Dc3
