// The game-state record the protocol fills and the search reads.
#pragma once

#include <cstdint>

namespace Kelvo {

struct _GAMESTATE {
    int32_t shotNumber = 0;     // shots already thrown in this end; the next one has this number
    int32_t endNumber = 0;      // current end, from 0
    int32_t finalEnd = 0;       // the game's final end as the server gives it
    // Signed score of each end as SCORE gives it: positive when the game's
    // first player scored, the one that throws first in end 0 (the server's
    // player1, side flag 0), whichever colour it throws in that end.
    int32_t endScores[10] = {};
    uint8_t sideFlag = 0;       // stored, not consulted
    float stonePos[16][2] = {}; // server frame; stone i has colour i mod 2
};

}  // namespace Kelvo
