// The hand-over from the fast simulation to the exact one: a fast board
// turned into a physics world, run to rest, and written back.
#include "kelvosim/handover.h"

#include <atomic>
#include <chrono>

#include "kelvosim/simulator.h"

namespace Kelvo {

int FSBoard::simulateExact(ThinkBoard& out, double dt) const {
    B2Board b2bd;
    // A struck stone still moving keeps its protection: it voids the shot
    // when it leaves play, as it would in the fast loop.
    forEach(awakes, [&](int i) { addMovingStone(b2bd, stones[i], stones[i].state); });
    forEach(asleeps, [&](int i) {
        addRestingStone(b2bd, Vec2{stones[i].motion.x, stones[i].motion.y}, stones[i].state);
    });
    simulateB2(&b2bd, dt);

    clearStoneLists(out);
    for (int i = 0; i < b2bd.numMoving + b2bd.numResting; ++i) {
        KELVO_CHECK(b2bd.body[i] != nullptr, "b2bd.body[i] != nullptr");
        const b2Vec2 p = b2bd.body[i]->GetPosition();
        if (insideWriteBackArea(p))
            addStone(out, b2bd.stoneState[i] & ST_WHITE, double(p.x), double(p.y));
    }
    return b2bd.voided ? 0 : 2;
}

namespace {

std::atomic<uint64_t> handOverCount{0};
std::atomic<int64_t> handOverNanos{0};

}  // namespace

int handOver(ThinkBoard& board, const FSBoard& fs) {
    const auto start = std::chrono::steady_clock::now();
    ThinkBoard out = board;
    const int code = fs.simulateExact(out, EXACT_DT);
    if (code != 0)
        board = out;
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
    handOverCount.fetch_add(1, std::memory_order_relaxed);
    handOverNanos.fetch_add(nanos.count(), std::memory_order_relaxed);
    return code;
}

HandOverStats handOverStats() {
    HandOverStats s;
    s.count = handOverCount.load(std::memory_order_relaxed);
    s.seconds = 1e-9 * double(handOverNanos.load(std::memory_order_relaxed));
    return s;
}

}  // namespace Kelvo
