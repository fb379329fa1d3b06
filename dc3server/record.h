// The stand-in's game record, JSON Lines in the layout of kelvo-server's
// records, so that kelvo-summary and the viewer read it: a "match" object
// (with "ice": "fcv1"), one "shot" object per move, one "end" object per end
// and a "result" object. Team 0 is player1 and team 1 player2 there; the
// positions are in the shot frame, stone i being the one thrown at shot i of
// the end and a stone not on the sheet at (0, 0).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "referee.h"
#include "referee/recordfile.h"

namespace Kelvo::Dc3 {

struct GameHeader {
    std::array<std::string, TEAMS> players;  // the clients' commands, or their names
    std::array<std::string, TEAMS> names;    // as given with dc_ok
    uint64_t seed = 0;
    GameSetting setting;
    std::array<std::array<PlayerModel, PLAYERS_PER_TEAM>, TEAMS> noise;
    std::array<std::array<int, PLAYERS_PER_TEAM>, TEAMS> order = {};
};

struct MoveEntry {
    int end = 0;
    int shot = 0;
    int team = 0;
    int thrower = 0;           // index of the team's player
    std::string outcome;       // "thrown", "conceded", "timeout", "invalid" or "died"
    double seconds = 0;        // the move's time as charged
    double timeLeft = 0;       // on the team's clock after it
    std::string reply;         // the line read, when it was not a move
    Move selected;             // "thrown": as sent
    const ShotReport* report = nullptr;  // "thrown": what happened
    const GameState* state = nullptr;  // otherwise: the stones as they stay
};

struct EndEntry {
    int end = 0;
    std::array<int, TEAMS> points = {};
    std::array<int, TEAMS> total = {};  // after this end
    int hammer = 1;      // of this end
    int nextHammer = 1;  // of the next
    const GameState* stones = nullptr;  // as the end finished
};

struct OutcomeEntry {
    int winner = -1;        // team, -1 for none
    bool result = true;     // false: the game ended without a result
    std::string reason;     // "score", "concede", "time_limit", "draw", or why it ended
    int culprit = -1;       // the team whose client ended the game or lost on time
    std::array<int, TEAMS> total = {};
};

class GameRecord {
public:
    bool open(const std::string& path) { return writer_.open(path); }
    void keepLines() { writer_.keepLines(); }
    const std::string& keptLines() const { return writer_.keptLines(); }

    void write(const GameHeader& header);
    void write(const MoveEntry& entry);
    void write(const EndEntry& entry);
    void write(const OutcomeEntry& entry);
    void close() { writer_.close(); }

private:
    Kelvo::Referee::RecordFile writer_;
};

}  // namespace Kelvo::Dc3
