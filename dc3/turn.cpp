#include "turn.h"

#include <algorithm>
#include <cmath>

#include "kelvosim/fcv1/fcv1shot.h"
#include "player/engine.h"
#include "takeout/takeout.h"

namespace Kelvo::Dc3 {

namespace {

constexpr double DRAW_SPEED = 2.40345;                          // m/s
constexpr double DRAW_ANGLE = 3.1419 * 3.14159265358979 / 180;  // rad off the centre line
// The line protocol keeps the scores of ten ends.
constexpr int KEPT_END_SCORES = 10;

}  // namespace

Fcv1Move toFcv1Move(const Move& m) {
    Fcv1Move f;
    f.vx = float(m.vx);
    f.vy = float(m.vy);
    f.ccw = m.ccw;
    return f;
}

Move toMove(const Fcv1Move& f) { return Move{false, f.vx, f.vy, f.ccw}; }

Fcv1PlayerNoise toNoise(const PlayerModel& p) {
    Fcv1PlayerNoise n;
    n.identical = p.identical;
    n.maxSpeed = float(p.maxSpeed);
    n.stddevSpeed = float(p.stddevSpeed);
    n.stddevAngle = float(p.stddevAngle);
    return n;
}

Turn makeTurn(const IsReadyMessage& ready, const std::array<int, PLAYERS_PER_TEAM>& order, const GameState& state,
              int team, double budgetSeconds) {
    Turn t;
    t.team = team;
    t.end = state.end;
    t.shot = state.shot;
    t.hammer = state.hammer;
    t.maxEnd = ready.setting.maxEnd;
    t.fiveRockRule = ready.setting.fiveRockRule;
    for (int side = 0; side < TEAMS; ++side)
        for (int k = 0; k < STONES_PER_TEAM; ++k)
            if (const std::optional<Stone>& s = state.stones[size_t(side)][size_t(k)]) {
                const int i = side * STONES_PER_TEAM + k;
                t.stones.present[i] = true;
                t.stones.x[i] = float(s->position.x);
                t.stones.y[i] = float(s->position.y);
            }
    const size_t played = std::min(state.scores[0].size(), state.scores[1].size());
    for (size_t e = 0; e < played && state.scores[0][e] && state.scores[1][e]; ++e)
        t.endScores.push_back({*state.scores[0][e], *state.scores[1][e]});
    t.timeLeft = state.thinkingTimeRemaining;
    t.budgetSeconds = budgetSeconds;
    const int player = order[size_t(std::clamp(state.shot, 0, SHOTS_PER_END - 1) / 4)];
    t.noise = toNoise(ready.players[size_t(team)][size_t(player)]);
    return t;
}

_GAMESTATE toGameState(const Turn& turn) {
    _GAMESTATE g;
    g.shotNumber = turn.shot;
    g.endNumber = turn.end;
    g.finalEnd = turn.end < turn.maxEnd ? turn.maxEnd - 1 : turn.end;
    for (size_t e = 0; e < turn.endScores.size() && e < KEPT_END_SCORES; ++e)
        g.endScores[e] = turn.endScores[e][0] - turn.endScores[e][1];
    g.sideFlag = uint8_t(turn.team);
    for (int team = 0; team < TEAMS; ++team)
        for (int slot = 0; slot < STONES_PER_TEAM; ++slot) {
            const int i = team * STONES_PER_TEAM + slot;
            if (!turn.stones.present[i])
                continue;
            const int stone = fcv1ShotOfIndex(i, turn.hammer);
            g.stonePos[stone][0] = turn.stones.x[i];
            g.stonePos[stone][1] = turn.stones.y[i];
        }
    return g;
}

Fcv1Move drawToTee(bool ccw) {
    // A ccw stone curls toward -x, so it starts out toward +x.
    Fcv1Move m;
    m.vx = float((ccw ? 1 : -1) * DRAW_SPEED * std::sin(DRAW_ANGLE));
    m.vy = float(DRAW_SPEED * std::cos(DRAW_ANGLE));
    m.ccw = ccw;
    return m;
}

Fcv1Move decideDraw(const Turn& turn) { return drawToTee(turn.shot / 2 % 2 == 0); }

Fcv1Move decideBySearch(Engine& engine, const SearchSettings& settings, const Turn& turn) {
    SearchSettings s = settings;
    s.budgetMs = int(std::clamp(turn.budgetSeconds * 1000.0, 1.0, 600000.0));
    s.fcv1Noise = turn.noise;
    engine.setSettings(s);
    const Decision d = engine.decide(toGameState(turn));
    if (!d.playable)
        return decideDraw(turn);
    return fcv1MoveOf(d.shot);
}

Fcv1Move decideByTakeout(Engine& engine, const SearchSettings& settings, const Turn& turn) {
    SearchSettings s = settings;
    s.fcv1Noise = turn.noise;
    engine.setSettings(s);
    const std::optional<Candidate> shot = takeoutShot(toGameState(turn), engine.simulation(), settings.seed);
    return shot ? fcv1MoveOf(*shot) : decideDraw(turn);
}

Decide deciderByName(const std::string& player, const SearchSettings& settings, std::unique_ptr<Engine>& engine,
                     std::shared_ptr<const Ice> ice) {
    if (player == "draw")
        return decideDraw;
    if (player != "search" && player != "takeout")
        return nullptr;
    engine = std::make_unique<Engine>(settings, std::move(ice));
    Engine* e = engine.get();
    if (player == "search")
        return [e, settings](const Turn& turn) { return decideBySearch(*e, settings, turn); };
    return [e, settings](const Turn& turn) { return decideByTakeout(*e, settings, turn); };
}

Fcv1Move decideSafely(const Decide& decide, const Turn& turn, std::FILE* err, const std::string& program) {
    std::string why;
    try {
        const Fcv1Move move = decide(turn);
        if (std::isfinite(move.vx) && std::isfinite(move.vy))
            return move;
        why = "a velocity that is not a number";
    } catch (const std::exception& e) {
        why = e.what();
    }
    std::fprintf(err, "%s: the decision failed (%s); drawing to the tee instead\n", program.c_str(), why.c_str());
    return decideDraw(turn);
}

}  // namespace Kelvo::Dc3
