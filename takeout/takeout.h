// A rule-based opponent to measure the player against, on either ice:
//   the opponent holds the stone nearest the tee in the house: take it out,
//     with the better of two takeouts (both turns), each tried TAKEOUT_TRIALS
//     times with the thrower's own noise;
//   our own stone is nearest: guard it;
//   nothing in the house: draw to the tee.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <dSFMT.h>

#include "kelvosim/gamestate.h"
#include "kelvosim/board/simcontext.h"
#include "kelvosim/board/thinkboard.h"
#include "player/candidates.h"

namespace Kelvo {

// Chosen: enough trials to tell a takeout that removes the stone nine times
// in ten from one that does so six times in ten, cheap at every clock.
constexpr int TAKEOUT_TRIALS = 32;

enum class TakeoutRule { DRAW, GUARD, TAKEOUT };
const char* takeoutRuleName(TakeoutRule rule);

struct TakeoutChoice {
    TakeoutRule rule = TakeoutRule::DRAW;
    Aim aim;           // how the shot was aimed
    Candidate shot;    // board frame, forward positive
    int removed = 0;   // TAKEOUT: trials of the chosen takeout that removed the stone
};

// The stone nearest the tee among both colours' stones in the house: its
// colour, or nothing when the house is empty.
std::optional<Colour> shotStoneColour(const ThinkBoard& board);

// Whether a takeout thrown on `before` removed `mover`'s opponent's stone
// nearest the tee: the opponent has fewer stones in play and none rests
// where it lay.
bool removedShotStone(const ThinkBoard& before, const ThinkBoard& after, Colour mover);

// The rule's shot for the side throwing `mover`; rng draws the trials' noise.
TakeoutChoice decideTakeout(const ThinkBoard& board, Colour mover, dsfmt_t& rng);

// The noise source of a move: from the seed, the end and the shot when a
// seed is given, so a game can be replayed; otherwise fresh.
void seedTakeoutNoise(dsfmt_t& rng, const std::optional<uint64_t>& seed, int32_t end, int32_t shot);

// The rule's shot for a line-protocol game state on this ice, board frame;
// nothing (with why) for a state that cannot form a board.
std::optional<Candidate> takeoutShot(const _GAMESTATE& state, const SimContext& sim,
                                     const std::optional<uint64_t>& seed, std::string* why = nullptr);
// The same as the BESTSHOT answer; empty when there is no shot.
std::string takeoutAnswer(const _GAMESTATE& state, const SimContext& sim, const std::optional<uint64_t>& seed,
                          std::string* why = nullptr);

}  // namespace Kelvo
