// The pieces of a game record every referee writes alike: text, the two
// sides, points, the stones of the framework stand-ins and the paths of a
// shot. Each referee lays out its own objects with them.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/ice.h"

namespace Kelvo::Referee {

using Json = nlohmann::ordered_json;

// Bytes as a record's text, one character per byte (jsonString's).
Json textJson(const std::string& bytes);
// "player1" for side 0, "player2" for side 1.
const char* playerName(int side);
Json sidesJson(const Json& player1, const Json& player2);
// A position with recordNumber's digits.
Json pointJson(double x, double y);
// Every stone a shot moved, the thrown one first, as {"stone", "points"}
// with [x, y, t] points to a millimetre and a millisecond.
Json pathsJson(const std::vector<StonePath>& paths);

// An "end" object: the end, its score from player 1's view, the totals
// after it, and the sides that threw first in it and throw first in the next.
Json endJson(int end, int score, const int total[2], int firstSide, int nextFirstSide);
// A "result" object: the winner ("player1", "player2", "draw" or "none"),
// the totals, who forfeited (null when empty) and why.
Json resultJson(const std::string& winner, const int total[2], const std::string& forfeit, const std::string& reason);

// The framework stand-ins' objects, team t being player t + 1.
// A "shot" object's head: who threw and how the move went.
Json slotShotJson(int end, int shot, int team, int thrower, const std::string& outcome, double seconds,
                  double timeLeft);
// An "end" object with the points of each team and the team with the
// hammer (and `nextHammer`, the next end's).
Json slotEndJson(int end, const int points[2], const int total[2], int hammer, int nextHammer);
// A thrown shot's outcome after its moves: the foul, where the thrown stone
// (layout index `thrownIndex`) rests, the stones after and the paths.
void addSlotThrow(Json& o, bool foul, const Fcv1Stones& after, int thrownIndex, int hammer,
                  const std::vector<StonePath>& paths);

// The stones of a framework stand-in by team and slot (team 0's slots 0..7,
// then team 1's), in the end whose hammer is `hammer`: "position" by the
// shot each stone was thrown at ([0, 0] for a stone not in play),
// "stonesInPlay", and "stones" by team and slot (null for one not in play).
void addSlotStones(Json& o, const Fcv1Stones& stones, int hammer);

// The paths of a shot a stand-in traced, in the shot frame with t in seconds
// from the release, every `recordSteps` steps of 1 ms (a finer trace is
// thinned): a struck stone starts where it rested, a stone that stopped ends
// where it rested, one that left the sheet where it was last seen. Stones
// are numbered by the shot they were thrown at, the thrown one (layout index
// `thrownIndex`) first.
std::vector<StonePath> tracePaths(const Fcv1Stones& before, const Fcv1Trace& trace, int thrownIndex, int hammer,
                                  int recordSteps);

}  // namespace Kelvo::Referee
