// What the fast simulation of a board reads besides the board: the motion
// tables and, for whoever counts them, a meter of the hand-overs to the exact
// simulation. A board points to its context (ThinkBoard::sim); the owner of
// the context, the player's engine or a tool, keeps it alive while its boards
// are simulated.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "kelvosim/motiontables.h"
#include "kelvosim/thinkboard.h"

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
    std::shared_ptr<const MotionTables> tables;
    HandOverMeter* handOvers = nullptr;  // none: hand-overs are not counted
};

// The tables a board's shots are simulated with; a board without a context
// is a broken caller, not a position.
inline const MotionTables& tablesOf(const ThinkBoard& board) {
    KELVO_CHECK(board.sim != nullptr && board.sim->tables != nullptr, "board.sim->tables != nullptr");
    return *board.sim->tables;
}

}  // namespace Kelvo
