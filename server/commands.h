// The texts exchanged with a player: the command lines the server sends and
// the two replies it reads ("READYOK" and "BESTSHOT x y spin", both written
// by the player without a line end).
#pragma once

#include <string>

#include "kelvosim/primitive.h"
#include "process.h"
#include "referee/sheet.h"

namespace Kelvo::Server {

// "POSITION x0 y0 ... x15 y15" in the server frame; every float is written
// so that it reads back exactly.
std::string positionCommand(const Referee::Position& position);
// "SETSTATE shot end finalEnd sideFlag".
std::string setStateCommand(int shot, int end, int finalEnd, int sideFlag);
// "SCORE n".
std::string scoreCommand(int score);

// READYOK anywhere in the text (any letter case) completes it.
ReadState judgeReady(const std::string& text);

// A reply to GO as the player wrote it: x and y in the server frame's
// orientation (y is the negated forward component), spin 0 or 1.
struct BestShot {
    double x = 0;
    double y = 0;
    int spin = 0;
};

// Judges the text read so far: Complete once it holds the word BESTSHOT (any
// letter case), two finite numbers and the spin 0 or 1, separated by white
// space; NeedMore while it can still become that; Invalid as soon as it
// cannot. Anything after the spin is ignored, even a next reply written
// right after it.
ReadState judgeBestShot(const std::string& text, BestShot* shot = nullptr);

// The same for a player that still owes the READYOK of a handshake it was
// too slow for: a READYOK at the start of the text (any letter case) is the
// late answer to ISREADY, and the reply to GO follows it.
ReadState judgeBestShotAfterReady(const std::string& text, BestShot* shot = nullptr);

// The shot thrown from the throw point in the board frame (forward positive).
inline fMoveXY<double> toBoardShot(const BestShot& reply) {
    fMoveXY<double> shot;
    shot.x = reply.x;
    shot.y = -reply.y;
    shot.spin = reply.spin;
    return shot;
}

// The reply made printable on one line: control and non-ASCII bytes escaped,
// cut to `limit` characters.
std::string printable(const std::string& text, size_t limit = 60);

}  // namespace Kelvo::Server
