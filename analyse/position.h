// The position a search analysis looks at: the game state and first-end
// flag a player would hold when the GO comes, made by replaying the lines
// the server sent it.
#pragma once

#include <string>

#include "kelvosim/gamestate.h"

namespace Kelvo::Analyse {

struct AnalysedPosition {
    _GAMESTATE state;
    bool firstEndHammer = false;  // the flag the player keeps across GOs
    int firstSide = 0;            // the side that threw shot 0 (0 when unknown)
};

// From protocol lines (POSITION, SETSTATE, SCORE; NEWGAME and GO too), read
// as the player reads them. The flag follows the GOs among the lines and a
// GO on the final state.
AnalysedPosition fromProtocol(const std::string& text);

// From a game record: what the mover of shot `shot` of end `end` had been
// sent up to that GO. False with `error` ("line N: ..." or what is missing)
// when the record does not hold that shot.
bool fromRecord(const std::string& record, int end, int shot, AnalysedPosition& position, std::string& error);

}  // namespace Kelvo::Analyse
