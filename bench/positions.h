// Positions for the search-quality benchmarks, read from a data file: a
// block per position, starting with "position NAME", then
//   end E FINAL        the end being played (1 or later) and the game's final end
//   scores S0 S1 ...   the signed score of each end played so far, from the
//                      view of the player who threw first in end 0: the side
//                      to throw leads by their sum
//   shot S             the shot to throw (when the file allows others)
//   stone I X Y        stone I at (X, Y) in the server frame
// '#' starts a comment.
#pragma once

#include <string>
#include <vector>

#include "candidates.h"
#include "kelvosim/gamestate.h"
#include "settings.h"

namespace KelvoBench {

struct BenchPosition {
    std::string name;
    Kelvo::_GAMESTATE state;
};

// Every position of the file, each with shot `defaultShot` unless its block
// says otherwise (within shots lowShot..highShot). A file that cannot be
// read, a malformed line or an unplayable position ends the program with
// the file, the line and what is wrong.
std::vector<BenchPosition> readPositions(const std::string& tool, const std::string& path, int defaultShot,
                                         int lowShot, int highShot);

// The positions files and the reference grids are on the classic sheet: a
// run asked for on another ice ends here with one line and exit status 2
// rather than measuring stones its frame puts off the sheet.
void requireClassicIce(const std::string& tool, const Kelvo::SearchSettings& settings);

// The shot of a "BESTSHOT x y spin" answer in the board frame (forward
// positive); an answer of another form ends the program.
Kelvo::Candidate answerShot(const std::string& tool, const std::string& answer);

}  // namespace KelvoBench
