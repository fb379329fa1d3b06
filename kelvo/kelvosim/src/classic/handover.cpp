// The hand-over from the fast simulation to the exact one: a fast board
// turned into a physics world, run to rest, and written back.
#include "kelvosim/classic/handover.h"

#include <chrono>

#include "kelvosim/board/simcontext.h"
#include "kelvosim/classic/simulator.h"

namespace Kelvo {

ShotChange simulateExact(const FSBoard& fs, ThinkBoard& out, double dt) {
    B2Board b2bd;
    // A struck stone still moving keeps its protection: it voids the shot
    // when it leaves play, as it would in the fast loop.
    forEach(fs.awakes, [&](int i) { addMovingStone(b2bd, fs.stones[i], fs.stones[i].state); });
    forEach(fs.asleeps, [&](int i) {
        addRestingStone(b2bd, Vec2{fs.stones[i].motion.x, fs.stones[i].motion.y}, fs.stones[i].state);
    });
    simulateB2(&b2bd, dt);

    clearStoneLists(out);
    for (int i = 0; i < b2bd.numMoving + b2bd.numResting; ++i) {
        KELVO_CHECK(b2bd.body[i] != nullptr, "b2bd.body[i] != nullptr");
        const b2Vec2 p = b2bd.body[i]->GetPosition();
        if (insideWriteBackArea(p))
            addStone(out, b2bd.stoneState[i] & ST_WHITE, double(p.x), double(p.y));
    }
    return b2bd.voided ? CHANGE_NONE : CHANGE_REBUILT;
}

ShotChange handOver(ThinkBoard& board, const FSBoard& fs) {
    HandOverMeter* meter = board.sim ? board.sim->handOvers : nullptr;
    const auto start = std::chrono::steady_clock::now();
    ThinkBoard out = board;
    const ShotChange change = simulateExact(fs, out, EXACT_DT);
    if (change != CHANGE_NONE)
        board = out;
    if (meter)
        meter->add(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                       .count());
    return change;
}

}  // namespace Kelvo
