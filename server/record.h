// The game record: JSON Lines, one object per line. A "match" object opens
// it, then one "shot" object per shot and one "end" object per end, and a
// "result" object closes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "commands.h"
#include "referee/recordfile.h"
#include "referee/sheet.h"

namespace Kelvo::Server {

struct MatchEntry {
    std::string players[2];
    uint64_t seed = 0;
    int ends = 0;
    double timeLimit = 0;
    double step = 0;  // of the exact simulation
    IceKind ice = DEFAULT_ICE;
    Fcv1PlayerNoise fcv1Noise;  // on the fcv1 ice
    std::vector<std::string> sent[2];
    std::string ready[2];  // what each player answered to ISREADY
};

struct ShotEntry {
    int end = 0;
    int shot = 0;
    int side = 0;                      // 0 player 1, 1 player 2
    std::vector<std::string> sent[2];  // commands sent to each player for this shot
    std::string reply;                 // the bytes the mover wrote
    std::string outcome;               // "thrown", "timeout", "invalid", "died"
    BestShot answered;                 // valid when outcome is "thrown"
    ThrowError noise;
    fMoveXY<double> thrown;            // board frame, noise included
    bool voided = false;
    Referee::Position after;
    double seconds = 0;                // from GO to the reply (or to giving up)
    std::string picture;               // file name of the picture, if any
    std::vector<StonePath> paths;      // server frame; every stone the shot moved
};

struct EndEntry {
    int end = 0;
    int score = 0;          // from player 1's view
    int total[2] = {};      // after this end
    int firstSide = 0;      // threw shot 0 of this end
    int nextFirstSide = 0;  // throws shot 0 of the next end
    std::string command;    // the SCORE line sent to both
    Referee::Position position;
    std::string picture;
};

struct ResultEntry {
    std::string winner;      // "player1", "player2", "draw" or "none"
    int total[2] = {};
    std::string forfeit;     // who forfeited ("player1", "player2", "both") or empty
    std::string reason;
};

// The line protocol's objects of a record, written through its file.
class RecordWriter : public Referee::RecordFile {
public:
    using Referee::RecordFile::write;
    void write(const MatchEntry& entry);
    void write(const ShotEntry& entry);
    void write(const EndEntry& entry);
    void write(const ResultEntry& entry);
};

}  // namespace Kelvo::Server
