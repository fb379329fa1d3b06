#include "order.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Kelvo::Dc3 {

namespace {

// At draw weight one standard deviation of speed (0.0076 m/s) moves the stone
// about 0.26 m along the sheet and one of angle (0.0018 rad) about 7 cm across.
constexpr double METRES_PER_SPEED = 0.26 / 0.0076;
constexpr double METRES_PER_ANGLE = 0.07 / 0.0018;
// The launch speed that draws to the tee.
constexpr double DRAW_SPEED = 2.40345;
// What a player that cannot reach the house counts as.
constexpr double CANNOT_DRAW_METRES = 100.0;

}  // namespace

double drawErrorMetres(const PlayerModel& p) {
    if (p.identical)
        return 0;
    if (p.maxSpeed < DRAW_SPEED)
        return CANNOT_DRAW_METRES + (DRAW_SPEED - p.maxSpeed);
    return std::hypot(METRES_PER_SPEED * p.stddevSpeed, METRES_PER_ANGLE * p.stddevAngle);
}

std::array<int, PLAYERS_PER_TEAM> choosePlayerOrder(const std::array<PlayerModel, PLAYERS_PER_TEAM>& players) {
    std::array<int, PLAYERS_PER_TEAM> order;
    std::iota(order.begin(), order.end(), 0);
    // Stable: equal players keep the announced order.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return drawErrorMetres(players[size_t(a)]) > drawErrorMetres(players[size_t(b)]);
    });
    return order;
}

}  // namespace Kelvo::Dc3
