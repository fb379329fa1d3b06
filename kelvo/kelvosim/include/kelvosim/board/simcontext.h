// What the fast simulation of a board reads besides the board: the ice it
// is played on (with its motion tables), the execution noise the search
// assumes for its own shots there and, for whoever counts them, a meter of
// the hand-overs to the exact simulation. A board points to its context
// (ThinkBoard::sim); the owner of the context, the player's engine or a
// tool, keeps it alive while its boards are simulated.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/ice.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo {

struct HandOverStats {
    uint64_t count = 0;
    double seconds = 0;
};

// How often the event loop handed a shot over to the exact simulation and
// the wall time spent there, summed over every thread that simulates with
// the context. Kept only on the hand-over itself, never per event.
class HandOverMeter {
public:
    void add(int64_t nanos) {
        count_.fetch_add(1, std::memory_order_relaxed);
        nanos_.fetch_add(nanos, std::memory_order_relaxed);
    }
    HandOverStats read() const {
        return HandOverStats{count_.load(std::memory_order_relaxed),
                             1e-9 * double(nanos_.load(std::memory_order_relaxed))};
    }

private:
    std::atomic<uint64_t> count_{0};
    std::atomic<int64_t> nanos_{0};
};

struct SimContext {
    std::shared_ptr<const Ice> ice;     // made with its tables (makeIce)
    HandOverMeter* handOvers = nullptr;  // none: hand-overs are not counted
    Fcv1PlayerNoise noise;              // for ices whose noise takes a spread
};

// The context of a board; a board without one is a broken caller.
inline const SimContext& simOf(const ThinkBoard& board) {
    KELVO_CHECK(board.sim != nullptr, "board.sim != nullptr");
    return *board.sim;
}

// A shot record (forward positive) as the protocol of the context's ice
// answers it.
inline fMoveXY<double> toProtocolShot(const SimContext& sim, const fMoveXY<double>& shot) {
    return sim.ice->toProtocolShot(shot);
}

// The fastest launch the ice's tables and players take.
inline double maxLaunchSpeed(const SimContext& sim) { return sim.ice->maxLaunchSpeed(); }

}  // namespace Kelvo
