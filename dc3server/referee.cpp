#include "referee.h"

#include <cmath>

namespace Kelvo::Dc3 {

namespace {

int64_t milliseconds(double seconds) { return std::llround(seconds * 1000.0); }

class Dc3Judge final : public Kelvo::Referee::SlotJudge {
public:
    explicit Dc3Judge(bool fiveRockRule) : fiveRockRule_(fiveRockRule) {}

    Fcv1ShotResult play(const Kelvo::Referee::SlotShot& shot, Fcv1Trace* trace) override {
        Fcv1ShotInput input;
        input.stones = shot.before;
        input.shot = shot.shot;
        input.end = shot.end;
        input.hammer = shot.hammer;
        input.move = shot.move;
        input.fiveRockRule = fiveRockRule_;
        return simulator_.shot(input, trace);
    }

private:
    bool fiveRockRule_;
    Fcv1Simulator simulator_;
};

}  // namespace

Fcv1Stones toFcv1Stones(const GameState& state) {
    Fcv1Stones s;
    for (int t = 0; t < TEAMS; ++t)
        for (int k = 0; k < STONES_PER_TEAM; ++k)
            if (const std::optional<Stone>& stone = state.stones[size_t(t)][size_t(k)]) {
                const int i = t * STONES_PER_TEAM + k;
                s.present[i] = true;
                s.x[i] = float(stone->position.x);
                s.y[i] = float(stone->position.y);
            }
    return s;
}

void setStones(GameState& state, const Fcv1Stones& s) {
    for (int t = 0; t < TEAMS; ++t)
        for (int k = 0; k < STONES_PER_TEAM; ++k) {
            const int i = t * STONES_PER_TEAM + k;
            std::optional<Stone>& stone = state.stones[size_t(t)][size_t(k)];
            stone.reset();
            if (s.present[i])
                stone = Stone{{s.x[i], s.y[i]}, 0.0};
        }
}

Kelvo::Referee::SlotShot slotShotOf(const GameState& state, const Fcv1Move& actual) {
    Kelvo::Referee::SlotShot shot;
    shot.before = toFcv1Stones(state);
    shot.shot = state.shot;
    shot.end = state.end;
    shot.thrower = fcv1ThrowingTeam(state.shot, state.hammer);
    shot.hammer = state.hammer;
    shot.move = actual;
    return shot;
}

std::unique_ptr<Kelvo::Referee::SlotJudge> dc3Judge(bool fiveRockRule) {
    return std::make_unique<Dc3Judge>(fiveRockRule);
}

Referee::Referee(const GameSetting& setting)
    : setting_(setting),
      judge_(dc3Judge(setting.fiveRockRule)),
      course_(Kelvo::Referee::gameCourse(setting.maxEnd, LAST_END_INDEX)) {
    state_.hammer = 1;  // team 0 throws first in the first end
    for (int t = 0; t < TEAMS; ++t)
        state_.scores[size_t(t)].assign(size_t(setting.maxEnd), std::nullopt);
    setClocks(setting.thinkingTime);
}

void Referee::setClocks(const std::array<double, TEAMS>& seconds) {
    for (int t = 0; t < TEAMS; ++t)
        remainingMs_[size_t(t)] = milliseconds(seconds[size_t(t)]);
    showClocks();
}

void Referee::showClocks() {
    for (int t = 0; t < TEAMS; ++t)
        state_.thinkingTimeRemaining[size_t(t)] = double(remainingMs_[size_t(t)]) / 1000.0;
}

int Referee::nextTeam() const { return over() ? -1 : Kelvo::Referee::sideOfShot(course_.firstSide, state_.shot); }

std::array<int, TEAMS> Referee::totals() const { return {totalScore(state_, 0), totalScore(state_, 1)}; }

bool Referee::charge(int team, int64_t ms) {
    remainingMs_[size_t(team)] -= ms;
    const bool inTime = remainingMs_[size_t(team)] > 0;
    if (!inTime) {
        remainingMs_[size_t(team)] = 0;
        endGame(GameResult{1 - team, "time_limit"}, false);
    }
    showClocks();
    return inTime;
}

void Referee::concede(int team) { endGame(GameResult{1 - team, "concede"}, false); }

void Referee::endGame(const GameResult& result, bool endFinished) {
    state_.result = result;
    // The last update shows the game moved past the end it ended in: no
    // hammer, no stones, shot 0, as the framework's server shows it.
    if (!endFinished)
        ++state_.end;
    state_.shot = 0;
    state_.hammer = -1;
    for (auto& team : state_.stones)
        for (std::optional<Stone>& stone : team)
            stone.reset();
}

ShotReport Referee::play(const Fcv1Move& actual) {
    ShotReport r;
    r.end = state_.end;
    r.shot = state_.shot;
    r.team = nextTeam();
    r.actual = actual;
    r.before = state_;

    r.trace.every = traceSteps_;
    const Fcv1ShotResult result = judge_->play(slotShotOf(state_, actual), &r.trace);
    r.foul = result.foul;
    setStones(state_, result.stones);
    r.after = state_;

    if (state_.shot + 1 < SHOTS_PER_END) {
        ++state_.shot;
        return r;
    }
    r.endScore = scoreFcv1End(result.stones);
    finishEnd(*r.endScore);
    return r;
}

void Referee::finishEnd(const std::array<int, TEAMS>& points) {
    const int end = state_.end;
    const bool extra = end >= setting_.maxEnd;
    if (extra) {
        if (points[0] > 0 || points[1] > 0)
            state_.extraEndScore = {points[0], points[1]};
    } else {
        for (int t = 0; t < TEAMS; ++t)
            state_.scores[size_t(t)][size_t(end)] = points[size_t(t)];
    }
    // The team that scores throws first in the next end, giving the hammer
    // to the other; a blank end keeps it.
    Kelvo::Referee::finishEnd(course_, points[0], points[1]);
    state_.hammer = 1 - course_.firstSide;
    state_.end = end + 1;
    state_.shot = 0;
    for (auto& team : state_.stones)
        for (std::optional<Stone>& stone : team)
            stone.reset();

    if (end + 1 < setting_.maxEnd)
        return;
    if (!course_.over) {
        // Another extra end, on fresh clocks.
        setClocks(setting_.extraEndThinkingTime);
        return;
    }
    const Kelvo::Referee::Winner winner = Kelvo::Referee::winnerOf(course_);
    if (winner == Kelvo::Referee::Winner::Draw)
        endGame(GameResult{-1, "draw"}, true);
    else
        endGame(GameResult{winner == Kelvo::Referee::Winner::Player1 ? 0 : 1, "score"}, true);
}

}  // namespace Kelvo::Dc3
