// The order in which a team's four players throw: player_order[k] throws
// shots 4k to 4k + 3 of every end, two of the team's stones. The most
// accurate players throw last, where a miss costs most.
#pragma once

#include <array>

#include "messages.h"

namespace Kelvo::Dc3 {

// How far, in metres, one standard deviation of the player's noise moves a
// draw to the tee: along the sheet from the speed, across from the angle.
// An identical player is exact; a speed cap below draw weight cannot draw.
double drawErrorMetres(const PlayerModel& player);

// Indices 0..3, the least accurate first.
std::array<int, PLAYERS_PER_TEAM> choosePlayerOrder(const std::array<PlayerModel, PLAYERS_PER_TEAM>& players);

}  // namespace Kelvo::Dc3
