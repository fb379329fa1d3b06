// The engine: what a player needs to answer a move request. It owns the
// search settings, the simulation context (the motion tables) and the
// scratch kept from one move of a game to the next, and answers a game-state
// value with a decision. Front-ends (the line protocol) keep the game's state
// and ask the engine; the analysis tool asks it the same way and reads the
// search behind the answer.
#pragma once

#include <memory>
#include <string>

#include "kelvosim/gamestate.h"
#include "kelvosim/board/simcontext.h"
#include "search.h"
#include "settings.h"
#include "shotgrid.h"
#include "strategy.h"

namespace Kelvo {

// Kept from one move request to the next. The first-end flag is set by the
// first request of a game (end 0, shot 0 or 1) and survives NEWGAME.
struct GameScratch {
    bool firstEndHammer = false;
};

// The answer to one move request.
struct Decision {
    bool playable = false;  // false: the state cannot form a board; nothing was searched
    std::string why;        // what is wrong with an unplayable state
    Candidate shot;         // the answer, in the server's orientation
    std::string answer;     // "BESTSHOT x y spin"; empty when unplayable
    SearchResult search;
};

class Engine {
public:
    // Makes the settings' ice with its tables: the player makes its engine
    // at start-up.
    explicit Engine(const SearchSettings& settings);
    // Shares an ice already made (the tools and tests that make many
    // engines) when it is the settings' ice; otherwise makes that one.
    Engine(const SearchSettings& settings, std::shared_ptr<const Ice> ice);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const SearchSettings& settings() const { return settings_; }
    // For the next move requests (a time manager sets the budget per shot,
    // a front-end the noise of the player due). The ice stays the one the
    // engine was made for.
    void setSettings(const SearchSettings& settings);

    const GameScratch& scratch() const { return scratch_; }
    void setScratch(const GameScratch& scratch) { scratch_ = scratch; }

    // What boards simulated for this engine point to.
    const SimContext& simulation() const { return sim_; }

    // Answers a move request on the state; the searches publish their
    // strategies to `publish`.
    Decision decide(const _GAMESTATE& state, const StrategyOutlet& publish = {});

private:
    SearchSettings settings_;
    SimContext sim_;
    ShotGrids grids_;
    GameScratch scratch_;
};

// Whether the record can form a board: shot 0..15, end 0 or later and no
// colour with more stones in play than it can have thrown. Otherwise why
// says what is wrong.
bool isPlayableState(const _GAMESTATE& state, std::string* why = nullptr, IceKind ice = DEFAULT_ICE);

// The first-end flag kept across move requests after a GO on this state: a
// GO of end 0 sets it for shot 0 (cleared) and shot 1 (set), others keep it.
bool firstEndHammerAfterGo(bool kept, const _GAMESTATE& state);

// "BESTSHOT %f %f %d" with x and y passed through single precision.
std::string formatAnswer(const Candidate& shot);

}  // namespace Kelvo
