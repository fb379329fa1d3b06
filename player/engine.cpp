#include "engine.h"

#include <cstdio>

namespace Kelvo {

Engine::Engine(const SearchSettings& settings) : Engine(settings, nullptr) {}

Engine::Engine(const SearchSettings& settings, std::shared_ptr<const Ice> ice)
    : settings_(settings), grids_(&sim_) {
    sim_.ice = ice != nullptr && ice->kind() == settings.ice ? std::move(ice) : makeIce(settings.ice);
    sim_.noise = settings.fcv1Noise;
}

void Engine::setSettings(const SearchSettings& settings) {
    settings_ = settings;
    settings_.ice = sim_.ice->kind();
    sim_.noise = settings.fcv1Noise;
}

Decision Engine::decide(const _GAMESTATE& state, const StrategyOutlet& publish) {
    const SearchClock::time_point started = SearchClock::now();
    Decision d;
    d.playable = isPlayableState(state, &d.why, sim_.ice->kind());
    if (!d.playable)
        return d;
    scratch_.firstEndHammer = firstEndHammerAfterGo(scratch_.firstEndHammer, state);
    ThinkBoard kept;
    kept.firstEndHammer = scratch_.firstEndHammer;
    kept.sim = &sim_;
    SearchRoot root = prepareRoot(state, kept, publish);
    root.grids = &grids_;
    root.started = started;
    d.search = search(root, settings_);
    d.shot = d.search.answer;
    d.answer = formatAnswer(d.shot);
    return d;
}

std::string formatAnswer(const Candidate& shot) {
    char text[1024];
    std::snprintf(text, sizeof text, "BESTSHOT %f %f %d", double(float(shot.x)), double(float(shot.y)),
                  int(shot.spin));
    return text;
}

bool isPlayableState(const _GAMESTATE& state, std::string* why, IceKind ice) {
    char text[160];
    auto fail = [&](const char* message) {
        if (why)
            *why = message;
        return false;
    };
    if (state.shotNumber < 0 || state.shotNumber > 15)
        return fail("shot number outside 0..15");
    // Any end from 0 up: extra ends past index 9 are played while tied, and
    // their scores, which the record has no room for, do not matter then.
    if (state.endNumber < 0)
        return fail("negative end number");
    // The stones the board would take, counted as it counts them.
    const Ice& sheet = sheetOf(ice);
    int inPlay[2] = {};
    for (int i = 0; i < 16; ++i) {
        Vec2 p;
        if (sheet.stoneOnBoard(state.stonePos[i][0], state.stonePos[i][1], p))
            ++inPlay[i % 2];
    }
    for (int colour = BLACK; colour <= WHITE; ++colour) {
        const int thrown = stonesThrown(colour, state.shotNumber);
        if (inPlay[colour] > thrown) {
            std::snprintf(text, sizeof text, "%d %s stones in play after %d thrown", inPlay[colour],
                          colourName(colour), thrown);
            return fail(text);
        }
    }
    return true;
}

bool firstEndHammerAfterGo(bool kept, const _GAMESTATE& state) {
    if (state.endNumber != 0)
        return kept;
    if (state.shotNumber == 0)
        return false;
    if (state.shotNumber == 1)
        return true;
    return kept;
}

}  // namespace Kelvo
