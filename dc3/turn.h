// What a move decision gets and gives on the Digital Curling 3 server: the
// turn as the fcv1 ice sees it, the budget from the time management and
// the noise of the player due, and back one fcv1 move. Any decision (the
// rule-based draw, the search engine) plugs in as a Decide.
#pragma once

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/gamestate.h"
#include "messages.h"

namespace Kelvo {
class Engine;
class Ice;
struct SearchSettings;
}  // namespace Kelvo

namespace Kelvo::Dc3 {

struct Turn {
    int team = 0;              // the team to throw: 0 or 1
    int end = 0;               // from 0; maxEnd and later are extra ends
    int shot = 0;              // 0..15 within the end
    int hammer = 1;            // the team that throws the end's last stone
    int maxEnd = 10;           // regular ends
    bool fiveRockRule = true;
    Fcv1Stones stones;         // shot frame; team 0's slots 0..7, then team 1's
    // Points [team 0, team 1] of each finished regular end, in order.
    std::vector<std::array<int, TEAMS>> endScores;
    std::array<double, TEAMS> timeLeft = {};  // seconds on each team's clock
    double budgetSeconds = 0;  // decide within this
    Fcv1PlayerNoise noise;     // the thrower's execution noise
};

// Decides one move. Called only for the client's own team, on its turn.
using Decide = std::function<Fcv1Move(const Turn&)>;

// The turn of an update that asks `team` to throw, with the players in the
// order the team announced.
Turn makeTurn(const IsReadyMessage& ready, const std::array<int, PLAYERS_PER_TEAM>& order,
              const GameState& state, int team, double budgetSeconds);

Fcv1PlayerNoise toNoise(const PlayerModel& player);

// A message's move as the simulation takes it (velocities in single
// precision), and a simulated move as a message carries it.
Fcv1Move toFcv1Move(const Move& move);
Move toMove(const Fcv1Move& move);

// The line protocol's game state of the turn: stone i is the one thrown at
// shot i of the end (the team without the hammer throws the even shots, a
// team's slot k is shot 2k or 2k + 1), positions in the shot frame, stones
// not on the sheet at (0, 0), which is out of play; the end scores signed
// positive when team 0 scored; the side flag is the team to throw.
_GAMESTATE toGameState(const Turn& turn);

// A lone stone's draw to the tee: 2.40345 m/s at 3.1419 degrees off the
// centre line, toward the side it curls from.
Fcv1Move drawToTee(bool ccw);

// The rule-based player: every stone a draw to the tee, the turn alternating
// from one of the team's stones to the next.
Fcv1Move decideDraw(const Turn& turn);

// The player's search: the engine (made for the fcv1 ice) searches the turn
// with `settings`, the budget of the turn and the noise of the player due.
// A state it cannot play (which a valid update never is) is drawn to the tee.
Fcv1Move decideBySearch(Engine& engine, const SearchSettings& settings, const Turn& turn);

// The rule-based takeout player (takeout/takeout.h) on the turn, with the
// noise of the player due for its trials, drawn from the seed when one is
// given. `engine` only lends its fcv1 tables.
Fcv1Move decideByTakeout(Engine& engine, const SearchSettings& settings, const Turn& turn);

// The decision of the player named on a client's command line: "search",
// "draw" or "takeout", the engine it needs made into `engine`, on `ice`
// when given (the settings' ice by its own rules otherwise). Empty for
// another name.
Decide deciderByName(const std::string& player, const SearchSettings& settings, std::unique_ptr<Engine>& engine,
                     std::shared_ptr<const Ice> ice = nullptr);

// The decision's move; the rule-based draw, said on `err` as `program`'s,
// when the decision throws or answers a velocity that is not a number.
Fcv1Move decideSafely(const Decide& decide, const Turn& turn, std::FILE* err, const std::string& program);

}  // namespace Kelvo::Dc3
