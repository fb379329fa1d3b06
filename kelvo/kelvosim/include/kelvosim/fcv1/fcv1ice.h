// The fcv1 ice: the friction-and-curl model of this folder (tables, fast and
// exact simulation, inversion, speed-and-angle noise) in its shot frame,
// played by the rules it holds: Digital Curling 3's (dc3Rules) unless made
// with others, such as Digital Curling 4's (dc4Rules).
#pragma once

#include <memory>

#include "kelvosim/fcv1/fcv1rules.h"
#include "kelvosim/fcv1/fcv1tables.h"
#include "kelvosim/ice.h"

namespace Kelvo {

class Fcv1Ice final : public Ice {
public:
    // `tables` may be null for an ice that only reads the sheet.
    Fcv1Ice(IceKind kind, const IceRules& rules, std::shared_ptr<const Fcv1Tables> tables);

    const Fcv1Tables& tables() const {
        KELVO_CHECK(tables_ != nullptr, "sim.fcv1 != nullptr");
        return *tables_;
    }

    bool stoneOnBoard(float x, float y, Vec2& p) const override;
    Vec2 toPicture(double x, double y) const override;
    Vec2 toProtocolPoint(Vec2 p) const override;
    const char* protocolFrameName() const override;
    double pictureNearEdge() const override;
    bool pictureHogLine(double& y) const override;
    fMoveXY<double> toProtocolShot(const fMoveXY<double>& shot) const override { return shot; }
    double maxLaunchSpeed() const override;
    bool fixedExactStep() const override { return true; }
    NoiseModel noiseModel() const override { return NoiseModel::SPEED_AND_ANGLE; }
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
    std::shared_ptr<const Fcv1Tables> tables_;
};

}  // namespace Kelvo
