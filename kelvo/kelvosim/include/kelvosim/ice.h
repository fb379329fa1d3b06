// An ice: everything that differs between the sheets the player can play
// on. The board, the search, the engine, the servers and the tools ask the
// ice, never which ice it is; each ice lives in a folder of its own
// (classic/, fcv1/) and icekind.h makes one from its name.
//
// Frames. The protocol frame is the one positions and answers travel in;
// each ice has its own. The board frame is shared: origin at the tee, +y
// toward the back line, x across, metres. The picture frame is the classic
// protocol frame, in which every ice's sheet is drawn, tee on tee.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <dSFMT.h>

#include "kelvosim/icekind.h"
#include "kelvosim/icerules.h"
#include "kelvosim/primitive.h"

namespace Kelvo {

struct ThinkBoard;
struct _GAMESTATE;
struct Fcv1PlayerNoise;
enum ShotChange : int32_t;

// The execution noise an ice's players throw with.
enum class NoiseModel : int32_t {
    TARGET_ERROR,     // a Gaussian error of where a straight draw to the tee would stop
    SPEED_AND_ANGLE,  // Gaussian errors of the launch speed and direction, of a spread (Fcv1PlayerNoise)
};

// What a referee's noise did to one thrown shot, as the records keep it: the
// error drawn (ex, ey) and the change of the launch velocity (dx, dy). The
// noise model says what the error is: a target error in metres, or the
// errors of the speed (m/s) and of the direction (rad).
struct ThrowError {
    double ex = 0, ey = 0;
    double dx = 0, dy = 0;
};

// A referee's execution noise for one game: its own generator, seeded by the
// game, so a seeded game plays out the same every time.
class ThrowNoise {
public:
    virtual ~ThrowNoise() = default;
    // The shot answered in the protocol frame as it is thrown: noise
    // included, in the form the ice's exact simulation takes (playExact).
    virtual fMoveXY<double> thrown(const fMoveXY<double>& answered, ThrowError& error) = 0;
};

// A point of a stone's path, t seconds after the release.
struct PathPoint {
    double x = 0, y = 0, t = 0;
};

// The sixteen stones of an end as referees keep them: stone i is the one
// thrown at shot i, in the protocol frame; a stone not in play sits at
// (0, 0), which is outside every ice's play area.
struct SheetStones {
    float xy[16][2] = {};
};

// Where one stone went during a refereed shot.
struct StonePath {
    int stone = 0;
    std::vector<PathPoint> points;
};

struct RefereedShot {
    SheetStones after;
    std::vector<StonePath> paths;  // every stone that moved, thrown stone first
    int change = 0;                // the simulation's change code
    bool voided = false;           // the shot removed a stone the free guard zone protects
};

class Ice {
public:
    virtual ~Ice() = default;
    Ice(const Ice&) = delete;
    Ice& operator=(const Ice&) = delete;

    IceKind kind() const { return kind_; }
    const char* name() const { return iceName(kind_); }
    const IceRules& rules() const { return rules_; }

    // The sheet and its frames.
    // A stone of the protocol frame in the board frame, and whether it is in play.
    virtual bool stoneOnBoard(float x, float y, Vec2& p) const = 0;
    // A board-frame point in the protocol frame.
    virtual Vec2 toProtocolPoint(Vec2 p) const = 0;
    // The protocol frame in words, for tools that print its points.
    virtual const char* protocolFrameName() const = 0;
    // A protocol-frame point in the picture frame.
    virtual Vec2 toPicture(double x, double y) const = 0;
    // How far toward the thrower a picture reaches at least (picture frame y).
    virtual double pictureNearEdge() const = 0;
    // The far hog line in the picture frame; false where the ice has none.
    virtual bool pictureHogLine(double& y) const = 0;
    // A shot record (board frame, forward positive) as the protocol answers it.
    virtual fMoveXY<double> toProtocolShot(const fMoveXY<double>& shot) const = 0;
    // The fastest launch the ice's tables and players take.
    virtual double maxLaunchSpeed() const = 0;
    // The exact simulation's step is the ice's own (no step to choose).
    virtual bool fixedExactStep() const = 0;
    // The kind of noise the ice's players throw with.
    virtual NoiseModel noiseModel() const = 0;

    // The motion of a lone stone, from the tables.
    // Its deceleration at `speed`, m/s^2.
    virtual double deceleration(double speed) const = 0;
    // The launch speed of a straight draw that stops `reach` metres past the
    // point TEE_TO_THROW short of the tee.
    virtual double drawSpeed(double reach) const = 0;

    // The fast simulation of the board's next shot; the change for applyShot.
    virtual ShotChange simulateShot(ThinkBoard& board, const fMoveXY<double>& shot) const = 0;

    // The noise model: the shot as a player of this ice throws it, drawn from
    // rng; `spread` is the search's setting for ices whose noise takes one.
    virtual fMoveXY<double> withExecutionNoise(const fMoveXY<double>& shot, const Fcv1PlayerNoise& spread,
                                               dsfmt_t& rng) const = 0;
    // The noise a referee gives the shots of a game on this ice, drawn from
    // `seed`; `spread` is the game's setting for ices whose noise takes one.
    virtual std::unique_ptr<ThrowNoise> refereeNoise(uint64_t seed, const Fcv1PlayerNoise& spread) const = 0;

    // The inversion: board-frame targets to shot records with `spin` set.
    virtual fMoveXY<double> drawTo(Vec2 target, int32_t spin) const = 0;
    // Through the target with the weight of a draw `extra` metres past it.
    virtual fMoveXY<double> passThrough(Vec2 target, double extra, int32_t spin) const = 0;
    // Through the target at `speed`, given on the takeout scale (TAKEOUT_SCALE
    // is a full takeout); an ice whose takeout is another speed keeps the ratio.
    virtual fMoveXY<double> hitAt(Vec2 target, double speed, int32_t spin) const = 0;

    // The exact simulation as a referee plays a shot: stone `shot` of end
    // `end` thrown with `thrown` (as the protocol answers it, after noise)
    // from the stones; `step` for ices whose exact step can be chosen.
    virtual RefereedShot playExact(const SheetStones& before, int32_t shot, int32_t end,
                                   const fMoveXY<double>& thrown, double step) const = 0;
    // Where the next shot of the state (its board `board`) comes to rest in
    // the protocol frame, as the ice's exact simulation plays it for a tool;
    // false when it leaves play or is void.
    virtual bool exactRest(const _GAMESTATE& state, const ThinkBoard& board, const fMoveXY<double>& shot,
                           Vec2& rest) const = 0;
    // The count of a finished end: positive n when the side that threw shot 0
    // scores n, negative when the other side does, 0 for a blank end.
    virtual int32_t countEnd(const SheetStones& stones) const = 0;

protected:
    Ice(IceKind kind, const IceRules& rules) : kind_(kind), rules_(rules) {}

private:
    IceKind kind_;
    IceRules rules_;
};

// The speed of a full takeout on the scale hits are asked on.
constexpr double TAKEOUT_SCALE = 33.0;

// The ice of a kind, with its motion tables built: for whoever simulates on it.
std::shared_ptr<const Ice> makeIce(IceKind kind);
// The same motion played by other rules (the kind's ice must play them:
// the fcv1 ice plays Digital Curling 4's, dc4Rules).
std::shared_ptr<const Ice> makeIce(IceKind kind, const IceRules& rules);
// The ice of a kind without motion tables, one per kind for the whole
// process: for whoever only reads the sheet, the rules and the exact
// simulation (servers, records, pictures). Its fast simulation, motion and
// inversion must not be called.
const Ice& sheetOf(IceKind kind);

}  // namespace Kelvo
