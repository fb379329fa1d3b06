// The stand-in's match record, JSON Lines in the layout of kelvo-server's
// records, so that kelvo-summary and the viewer read it: a "match" object
// (with "ice": "fcv1" and "protocol": "dc4"), one "shot" object per shot,
// one "end" object per end and a "result" object. Team 0 is player1 and
// team 1 player2; positions are in the shot frame, stone i being the one
// thrown at shot i of the end and a stone not in play at (0, 0).
#pragma once

#include <string>

#include "game.h"
#include "referee/recordfile.h"

namespace Kelvo::Dc4 {

class MatchRecord {
public:
    bool open(const std::string& path) { return writer_.open(path); }
    bool isOpen() const { return writer_.isOpen(); }
    void writeMatch(const std::string& id, const Game& game, uint64_t seed, const std::string& rule);
    void writeShot(const ShotReport& report, const State& after, int hammer);
    void writeEnd(const ShotReport& report, const State& final, int hammer, int nextHammer);
    void writeResult(const State& final, const std::string& reason);
    void close() { writer_.close(); }

private:
    Referee::RecordFile writer_;
};

}  // namespace Kelvo::Dc4
