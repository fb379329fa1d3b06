// What the fast simulation of a board reads besides the board: the motion
// tables and, for whoever counts them, a meter of the hand-overs to the exact
// simulation. A board points to its context (ThinkBoard::sim); the owner of
// the context, the player's engine or a tool, keeps it alive while its boards
// are simulated.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/fcv1/fcv1tables.h"
#include "kelvosim/icekind.h"
#include "kelvosim/classic/motiontables.h"
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

// The ice a board is played on and its tables: the classic ice's motion
// tables, or the fcv1 ice's tables and the execution noise the search
// assumes for its own shots there. Only the ice's own tables are built.
struct SimContext {
    std::shared_ptr<const MotionTables> tables;  // CLASSIC
    HandOverMeter* handOvers = nullptr;          // none: hand-overs are not counted
    IceKind ice = IceKind::CLASSIC;
    std::shared_ptr<const Fcv1Tables> fcv1;      // FCV1
    Fcv1PlayerNoise noise;                       // FCV1
};

inline bool onFcv1(const SimContext& sim) { return sim.ice == IceKind::FCV1; }

// The context of a board; a board without one is a broken caller.
inline const SimContext& simOf(const ThinkBoard& board) {
    KELVO_CHECK(board.sim != nullptr, "board.sim != nullptr");
    return *board.sim;
}

inline const Fcv1Tables& fcv1TablesOf(const SimContext& sim) {
    KELVO_CHECK(sim.fcv1 != nullptr, "sim.fcv1 != nullptr");
    return *sim.fcv1;
}

// A shot record (forward positive) as the protocol answers it: the classic
// server frame runs toward smaller y, the fcv1 shot frame toward larger y.
inline fMoveXY<double> toProtocolShot(const SimContext& sim, const fMoveXY<double>& shot) {
    return fMoveXY<double>{shot.x, onFcv1(sim) ? shot.y : -shot.y, shot.spin};
}

// The fastest launch the ice's tables and players take.
inline double maxLaunchSpeed(const SimContext& sim) {
    return onFcv1(sim) ? double(FCV1_MAX_SPEED) : V_MAX;
}

// The tables a board's shots are simulated with; a board without a context
// is a broken caller, not a position.
inline const MotionTables& tablesOf(const ThinkBoard& board) {
    KELVO_CHECK(board.sim != nullptr && board.sim->tables != nullptr, "board.sim->tables != nullptr");
    return *board.sim->tables;
}

}  // namespace Kelvo
