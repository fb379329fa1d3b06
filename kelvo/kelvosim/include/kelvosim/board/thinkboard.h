// The board the search reasons on: the stones of one end in the board frame,
// per colour and sorted by distance to the tee, with the free guard zone
// flags, the stones still to throw and the count of the position.
// A plain value: every search instance and playout copies it whole.
#pragma once

#include <cstdint>

#include "kelvosim/gamestate.h"
#include "kelvosim/icekind.h"
#include "kelvosim/primitive.h"

namespace Kelvo {

// Stone state flag bits.
constexpr int32_t ST_WHITE = 1;
constexpr int32_t ST_FREEGUARD = 4;
constexpr int32_t ST_PROTECTED = 8;

// Shot bookkeeping. The protocol numbers the shots of an end up from 0; the
// board counts them down: its turn is the number of stones still to throw,
// the next one included, so the shot numbered `shot` is thrown at turn
// SHOTS_PER_END - shot. BLACK throws the even shot numbers (even turns),
// WHITE the odd ones.
constexpr int32_t SHOTS_PER_END = 16;

inline int32_t turnOfShot(int32_t shot) { return SHOTS_PER_END - shot; }

// How many stones a colour has thrown once `shots` shots of the end are
// thrown.
inline int32_t stonesThrown(int32_t colour, int32_t shots) { return (shots + 1 - colour) / 2; }

// What a simulated shot changed on the sheet, as applyShot takes it.
enum ShotChange : int32_t {
    CHANGE_NONE = 0,     // nothing: the thrown stone left play, or the shot is void
    CHANGE_ADDED = 1,    // only the thrown stone came to rest, added with addStoneTracked
    CHANGE_REBUILT = 2,  // stones moved: the stone lists were rebuilt with addStone
};

struct SimContext;
struct ThinkBoard;

// The free guard zone rule covers the first shots of an end, as many as the
// rules of the board's ice say (a board without a context: the default
// ice's): a guard it protects must not be knocked out of play. This is the
// first turn free of it.
int32_t firstTurnAfterFreeGuard(const ThinkBoard& board);
inline bool freeGuardRuleApplies(const ThinkBoard& board, int32_t turn) {
    return turn > firstTurnAfterFreeGuard(board);
}

// A stone of the game state in the board frame, and whether it is in play,
// as the ice says.
bool stoneOnBoard(IceKind ice, float x, float y, Vec2& p);

struct ThinkBoard {
    int32_t endsLeft = 0;
    int32_t turn = 0;           // stones still to throw, including the next one
    int32_t scoreDiff = 0;      // sum of the ends already played, signed as _GAMESTATE::endScores
    int32_t endScore = 0;       // count of the position: + BLACK scores, - WHITE scores
    bool firstEndHammer = false;
    fStonePos stones[2][8] = {};
    int32_t inHouse[2] = {};    // in-house stones form the prefix of stones[c]
    int32_t count[2] = {};
    int32_t state[2][8] = {};
    int32_t lastIndex = 0;      // where addStoneTracked last inserted
    double frontY = 0;          // smallest Y on the sheet, capped at IN_HOUSE_R
    // Not part of the position: what the fast simulation of its shots reads
    // (simcontext.h). Kept, like firstEndHammer, when the board is rebuilt.
    const SimContext* sim = nullptr;

    int32_t getTurn() const { return turn; }
};

// An empty sheet at the first shot; keeps firstEndHammer and sim.
void resetBoard(ThinkBoard& board);
void buildFromGameState(ThinkBoard& board, const _GAMESTATE& state);
void addStone(ThinkBoard& board, int32_t colour, double x, double y);
// The same for a stone whose polar form is already known (one that did not
// move), which saves working it out again.
void addStone(ThinkBoard& board, int32_t colour, const fStonePos& stone);
// Empties both colours' stone lists before a simulator adds every stone at
// rest again with addStone (CHANGE_REBUILT); the entries are left as they are.
void clearStoneLists(ThinkBoard& board);
void addStoneTracked(ThinkBoard& board, int32_t colour, double x, double y);
void recomputeStates(ThinkBoard& board);
// Advances the board past a shot that changed what `change` says.
void applyShot(ThinkBoard& board, ShotChange change);
int32_t computeEndScore(const ThinkBoard& board);

// Consistency checks: each returns true or ends the process.
bool ExamTurn(const ThinkBoard& board);
bool ExamFreeGuard(const ThinkBoard& board);
bool ExamStoneNumber(int32_t colour, int32_t turn, const ThinkBoard& board);
bool ExamStoneState(const ThinkBoard& board);
bool Exam(const ThinkBoard& board);

inline int32_t stonesOnSheet(const ThinkBoard& board) { return board.count[BLACK] + board.count[WHITE]; }

}  // namespace Kelvo
