#include "takeout.h"

#include <cmath>

#include "kelvosim/board/shot.h"
#include "player/engine.h"
#include "player/playout.h"

namespace Kelvo {

namespace {

int spinBySide(double x) { return x > 0 ? 1 : 0; }

// A stone of `colour` resting within a centimetre of `p`.
bool stoneNear(const ThinkBoard& board, int colour, const fStonePos& p) {
    for (int i = 0; i < board.count[colour]; ++i)
        if (std::hypot(board.stones[colour][i].x - p.x, board.stones[colour][i].y - p.y) < 0.01)
            return true;
    return false;
}

int timesRemoved(const ThinkBoard& board, Colour mover, const Candidate& shot, dsfmt_t& rng) {
    int n = 0;
    for (int t = 0; t < TAKEOUT_TRIALS; ++t) {
        ThinkBoard after = board;
        applyShot(after, simulateShot(after, withExecutionNoise(board, shot, rng)));
        n += removedShotStone(board, after, mover);
    }
    return n;
}

}  // namespace

const char* takeoutRuleName(TakeoutRule rule) {
    switch (rule) {
    case TakeoutRule::DRAW: return "draw";
    case TakeoutRule::GUARD: return "guard";
    case TakeoutRule::TAKEOUT: return "takeout";
    }
    return "?";
}

std::optional<Colour> shotStoneColour(const ThinkBoard& board) {
    const bool black = board.inHouse[BLACK] > 0, white = board.inHouse[WHITE] > 0;
    if (!black && !white)
        return std::nullopt;
    if (black != white)
        return black ? BLACK : WHITE;
    return board.stones[BLACK][0].r <= board.stones[WHITE][0].r ? BLACK : WHITE;
}

bool removedShotStone(const ThinkBoard& before, const ThinkBoard& after, Colour mover) {
    const int opp = 1 - mover;
    if (before.count[opp] == 0)
        return false;
    return after.count[opp] < before.count[opp] && !stoneNear(after, opp, before.stones[opp][0]);
}

TakeoutChoice decideTakeout(const ThinkBoard& board, Colour mover, dsfmt_t& rng) {
    const SimContext& sim = simOf(board);
    TakeoutChoice c;
    const std::optional<Colour> shot = shotStoneColour(board);
    if (!shot) {
        // The turn alternates from one of our stones to the next.
        c.aim = Aim{Aim::DRAW, Vec2{0, 0}, 0, (board.turn / 2) % 2};
    } else if (*shot == mover) {
        const fStonePos& s = board.stones[mover][0];
        c.rule = TakeoutRule::GUARD;
        c.aim = Aim{Aim::DRAW, Vec2{s.x, s.y - SHORT_GUARD}, 0, spinBySide(s.x)};
    } else {
        // The candidate sets' takeout, thrown with either turn: the better
        // one depends on what lies around the stone.
        const fStonePos& s = board.stones[1 - mover][0];
        c.rule = TakeoutRule::TAKEOUT;
        c.removed = -1;
        for (int spin : {spinBySide(s.x), 1 - spinBySide(s.x)}) {
            const Aim aim{Aim::HIT, Vec2{s.x, s.y - HIT_GAP - AIM_BIAS}, TAKEOUT_SPEED, spin};
            const int n = timesRemoved(board, mover, resolveAim(sim, aim), rng);
            if (n > c.removed) {
                c.removed = n;
                c.aim = aim;
            }
        }
    }
    c.shot = resolveAim(sim, c.aim);
    return c;
}

void seedTakeoutNoise(dsfmt_t& rng, const std::optional<uint64_t>& seed, int32_t end, int32_t shot) {
    if (seed)
        seedNoise(rng, seedKey(*seed, 0, PositionKey{end, shot}, STREAM_ROOT));
    else
        dsfmt_init_gen_rand(&rng, freshSeed());
}

std::optional<Candidate> takeoutShot(const _GAMESTATE& state, const SimContext& sim,
                                     const std::optional<uint64_t>& seed, std::string* why) {
    if (!isPlayableState(state, why, sim.ice->kind()))
        return std::nullopt;
    ThinkBoard board;
    board.sim = &sim;
    buildFromGameState(board, state);
    dsfmt_t rng;
    seedTakeoutNoise(rng, seed, state.endNumber, state.shotNumber);
    const Colour mover = state.shotNumber % 2 == 1 ? WHITE : BLACK;
    return decideTakeout(board, mover, rng).shot;
}

std::string takeoutAnswer(const _GAMESTATE& state, const SimContext& sim, const std::optional<uint64_t>& seed,
                          std::string* why) {
    const std::optional<Candidate> shot = takeoutShot(state, sim, seed, why);
    return shot ? formatAnswer(toProtocolShot(sim, *shot)) : std::string();
}

}  // namespace Kelvo
