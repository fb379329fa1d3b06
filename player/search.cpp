#include "search.h"

#include "halving.h"
#include "kelvosim/board/simcontext.h"
#include "sweep.h"

namespace Kelvo {

SearchRoot prepareRoot(const _GAMESTATE& state, const ThinkBoard& kept, const StrategyOutlet& publish) {
    SearchRoot root;
    root.board = kept;
    buildFromGameState(root.board, state);
    root.mover = state.shotNumber % 2 == 1 ? WHITE : BLACK;
    root.key = PositionKey{state.endNumber, state.shotNumber};
    // The search reads only its own pair; the process-wide copies are for
    // whoever keeps them.
    root.strategies = selectStrategies(root.board, root.mover);
    publish.publish(root.strategies);
    root.count = generateAims(root.board, root.aims, root.strategies.own);
    const SimContext& sim = simOf(root.board);
    for (int32_t i = 0; i < root.count; ++i)
        root.candidates[i] = resolveAim(sim, root.aims[i]);
    return root;
}

const char* shotKindName(ShotKind kind) {
    switch (kind) {
    case ShotKind::CANDIDATE: return "candidate";
    case ShotKind::GRID: return "grid";
    case ShotKind::REFINED: return "refined";
    }
    return "?";
}

Candidate defaultAnswer(const SearchRoot& root) {
    const SimContext& sim = simOf(root.board);
    return toProtocolShot(sim, resolveAim(sim, Aim{Aim::DRAW, Vec2{0, 0}, 0, 1}));
}

SearchResult search(const SearchRoot& root, const SearchSettings& settings) {
    if (settings.allocation == Allocation::SWEEP)
        return sweep(root, settings);
    try {
        return searchPool(root, settings);
    } catch (...) {
        SearchResult failed;
        failed.allocation = Allocation::HALVING;
        failed.strategies = root.strategies;
        failed.instances.resize(1);
        failed.answer = defaultAnswer(root);
        failed.note = "the search failed: the answer is a draw to the tee";
        return failed;
    }
}

}  // namespace Kelvo
