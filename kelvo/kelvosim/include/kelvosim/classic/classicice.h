// The classic ice the player was built for: its motion tables, the fast
// simulation of this folder, the exact Box2D simulation and the target-error
// noise, played by the classic rules.
#pragma once

#include <memory>
#include <typeinfo>

#include "kelvosim/board/simcontext.h"
#include "kelvosim/classic/motiontables.h"
#include "kelvosim/ice.h"

namespace Kelvo {

// The classic rules: no hog line, the sides and the back line while the
// stones move, the free guard zone over shots 0 to 3.
IceRules classicRules();

class ClassicIce final : public Ice {
public:
    // `tables` may be null for an ice that only reads the sheet.
    ClassicIce(IceKind kind, const IceRules& rules, std::shared_ptr<const MotionTables> tables);

    const MotionTables& tables() const {
        KELVO_CHECK(tables_ != nullptr, "board.sim->tables != nullptr");
        return *tables_;
    }

    bool stoneOnBoard(float x, float y, Vec2& p) const override;
    Vec2 toPicture(double x, double y) const override { return Vec2{x, y}; }
    Vec2 toProtocolPoint(Vec2 p) const override;
    const char* protocolFrameName() const override;
    double pictureNearEdge() const override;
    bool pictureHogLine(double& y) const override;
    fMoveXY<double> toProtocolShot(const fMoveXY<double>& shot) const override {
        return fMoveXY<double>{shot.x, -shot.y, shot.spin};
    }
    double maxLaunchSpeed() const override;
    bool fixedExactStep() const override { return false; }
    NoiseModel noiseModel() const override { return NoiseModel::TARGET_ERROR; }
    double deceleration(double speed) const override;
    double drawSpeed(double reach) const override;
    ShotChange simulateShot(ThinkBoard& board, const fMoveXY<double>& shot) const override;
    fMoveXY<double> withExecutionNoise(const fMoveXY<double>& shot, const Fcv1PlayerNoise& spread,
                                       dsfmt_t& rng) const override;
    std::unique_ptr<ThrowNoise> refereeNoise(uint64_t seed, const Fcv1PlayerNoise& spread) const override;
    fMoveXY<double> drawTo(Vec2 target, int32_t spin) const override;
    fMoveXY<double> passThrough(Vec2 target, double extra, int32_t spin) const override;
    fMoveXY<double> hitAt(Vec2 target, double speed, int32_t spin) const override;
    RefereedShot playExact(const SheetStones& before, int32_t shot, int32_t end, const fMoveXY<double>& thrown,
                           double step) const override;
    bool exactRest(const _GAMESTATE& state, const ThinkBoard& board, const fMoveXY<double>& shot,
                   Vec2& rest) const override;
    int32_t countEnd(const SheetStones& stones) const override;

private:
    std::shared_ptr<const MotionTables> tables_;
};

// The tables a board's shots are simulated with: those of its classic ice.
// A board without a context, or on another ice, is a broken caller.
inline const MotionTables& tablesOf(const ThinkBoard& board) {
    KELVO_CHECK(board.sim != nullptr && board.sim->ice != nullptr &&
                    typeid(*board.sim->ice) == typeid(ClassicIce),
                "board.sim->tables != nullptr");
    return static_cast<const ClassicIce&>(*board.sim->ice).tables();
}

}  // namespace Kelvo
