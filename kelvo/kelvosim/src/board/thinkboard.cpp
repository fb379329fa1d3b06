#include "kelvosim/board/thinkboard.h"

#include "kelvosim/board/simcontext.h"
#include "kelvosim/ice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace Kelvo {

namespace {

// The ice of the board's context; a board without one is on the default ice.
const Ice& iceOf(const ThinkBoard& board) {
    return board.sim != nullptr ? *board.sim->ice : sheetOf(DEFAULT_ICE);
}

// Writes one diagnostic line to standard error before a failed check.
template <typename... Args>
void diagnose(const char* format, Args... args) {
    std::fprintf(stderr, format, args...);
    std::fflush(stderr);
}

// Index at which a stone at distance r goes: after every stone of that colour
// that is no farther, so equal distances keep their insertion order.
int32_t insertionIndex(const ThinkBoard& board, int32_t colour, double r) {
    int32_t k = board.count[colour];
    while (k > 0 && board.stones[colour][k - 1].r > r)
        --k;
    return k;
}

int32_t insertStone(ThinkBoard& board, int32_t colour, const fStonePos& stone, bool moveStates) {
    KELVO_CHECK(colour == BLACK || colour == WHITE, "examColor(col)");
    const int32_t k = insertionIndex(board, colour, stone.r);
    KELVO_CHECK(board.count[colour] < 8, "count[col] < 8");
    for (int32_t i = board.count[colour]; i > k; --i) {
        board.stones[colour][i] = board.stones[colour][i - 1];
        if (moveStates)
            board.state[colour][i] = board.state[colour][i - 1];
    }
    board.stones[colour][k] = stone;
    if (isInHouse(stone.r))
        board.inHouse[colour] += 1;
    board.count[colour] += 1;
    KELVO_CHECK(ExamStoneNumber(colour, board.turn - 1, board), "ExamStoneNumber(col, turn - 1, *this)");
    return k;
}

void clearProtected(ThinkBoard& board, int32_t colour) {
    for (int32_t i = 0; i < board.count[colour]; ++i)
        board.state[colour][i] &= ~ST_PROTECTED;
}

// The thrower's free-guard stones become protected against the side to move next.
void protectFreeGuards(ThinkBoard& board, int32_t thrower) {
    for (int32_t i = 0; i < board.count[thrower]; ++i)
        if (board.state[thrower][i] & ST_FREEGUARD)
            board.state[thrower][i] |= ST_PROTECTED;
}

// Flags, frontY and the count rebuilt from the stones (steps shared by
// recomputeStates and applyShot with a rebuilt board).
void rebuildStates(ThinkBoard& board) {
    if (stonesOnSheet(board) == 0) {
        board.endScore = 0;
        return;
    }
    double front = IN_HOUSE_R;
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t i = 0; i < board.count[c]; ++i) {
            board.state[c][i] = c == WHITE ? ST_WHITE : 0;
            front = std::fmin(front, board.stones[c][i].y);
        }
    board.frontY = front;
    if (freeGuardRuleApplies(board, board.turn)) {
        const int32_t mover = board.turn % 2;
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t flags = c == mover ? ST_FREEGUARD : ST_FREEGUARD | ST_PROTECTED;
            for (int32_t i = board.inHouse[c]; i < board.count[c]; ++i)
                if (isInFreeGuard(board.stones[c][i]))
                    board.state[c][i] |= flags;
        }
    }
    board.endScore = computeEndScore(board);
}

}  // namespace

int32_t firstTurnAfterFreeGuard(const ThinkBoard& board) {
    return SHOTS_PER_END - iceOf(board).rules().freeGuardShots;
}

bool stoneOnBoard(IceKind ice, float x, float y, Vec2& p) { return sheetOf(ice).stoneOnBoard(x, y, p); }

void resetBoard(ThinkBoard& board) {
    const bool hammer = board.firstEndHammer;
    const SimContext* sim = board.sim;
    board = ThinkBoard{};
    board.firstEndHammer = hammer;
    board.sim = sim;
    board.turn = SHOTS_PER_END;
    board.lastIndex = -1;
    board.frontY = 999.0;
}

void buildFromGameState(ThinkBoard& board, const _GAMESTATE& state) {
    resetBoard(board);
    // The record holds whatever integers the server sent: form the sums in
    // 64 bits and keep them where their negation still fits in 32.
    auto narrow = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, -INT32_MAX, INT32_MAX));
    };
    board.endsLeft = narrow(int64_t(state.finalEnd) - state.endNumber);
    board.turn = turnOfShot(state.shotNumber);
    int64_t scoreDiff = 0;
    for (int32_t e = 0; e < state.endNumber && e < 10; ++e)
        scoreDiff += state.endScores[e];
    board.scoreDiff = narrow(scoreDiff);
    const Ice& ice = iceOf(board);
    for (int32_t colour = 0; colour < 2; ++colour)
        for (int32_t i = colour; i < 16; i += 2) {
            Vec2 p;
            if (ice.stoneOnBoard(state.stonePos[i][0], state.stonePos[i][1], p))
                addStone(board, colour, p.x, p.y);
        }
    recomputeStates(board);
}

void addStone(ThinkBoard& board, int32_t colour, double x, double y) {
    insertStone(board, colour, makeStonePos(x, y), false);
}

void addStone(ThinkBoard& board, int32_t colour, const fStonePos& stone) { insertStone(board, colour, stone, false); }

void clearStoneLists(ThinkBoard& board) {
    for (int32_t c = 0; c < 2; ++c) {
        board.inHouse[c] = 0;
        board.count[c] = 0;
    }
}

void addStoneTracked(ThinkBoard& board, int32_t colour, double x, double y) {
    board.lastIndex = insertStone(board, colour, makeStonePos(x, y), true);
}

void recomputeStates(ThinkBoard& board) {
    rebuildStates(board);
    KELVO_CHECK(Exam(board), "Exam(*this, 3)");
}

void applyShot(ThinkBoard& board, ShotChange change) {
    board.turn -= 1;
    const int32_t t = board.turn;
    const int32_t next = ((t % 2) + 2) % 2;
    const int32_t thrower = 1 - next;
    switch (change) {
    case CHANGE_NONE:
        if (freeGuardRuleApplies(board, t)) {
            clearProtected(board, next);
            protectFreeGuards(board, thrower);
        } else if (t == firstTurnAfterFreeGuard(board)) {
            // The rule ends: the guards protected against the last shot it
            // covered (BLACK's against shot 3 on the classic ice) are free.
            clearProtected(board, next);
        }
        break;
    case CHANGE_ADDED: {
        const int32_t k = board.lastIndex;
        int32_t& flags = board.state[thrower][k];
        const fStonePos& thrown = board.stones[thrower][k];
        flags = thrower;
        if (freeGuardRuleApplies(board, t)) {
            if (isInFreeGuard(thrown))
                flags |= ST_FREEGUARD;
            clearProtected(board, next);
            protectFreeGuards(board, thrower);
        } else if (t == firstTurnAfterFreeGuard(board)) {
            clearProtected(board, next);
        }
        board.frontY = std::fmin(board.frontY, thrown.y);
        board.endScore = computeEndScore(board);
        break;
    }
    case CHANGE_REBUILT:
        rebuildStates(board);
        break;
    default:
        KELVO_CHECK(false, "0");
    }
    KELVO_CHECK(Exam(board), "Exam(*this, changed)");
}

int32_t computeEndScore(const ThinkBoard& board) {
    const int32_t b = board.inHouse[BLACK];
    const int32_t w = board.inHouse[WHITE];
    if (b == 0)
        return -w;
    if (w == 0)
        return b;
    const double rb = board.stones[BLACK][0].r;
    const double rw = board.stones[WHITE][0].r;
    if (rb == rw)
        return 0;
    const int32_t scorer = rb < rw ? BLACK : WHITE;
    const double limit = rb < rw ? rw : rb;
    int32_t n = 0;
    while (n < board.inHouse[scorer] && board.stones[scorer][n].r < limit)
        ++n;
    return scorer == BLACK ? n : -n;
}

bool ExamTurn(const ThinkBoard& board) {
    if (static_cast<uint32_t>(board.turn) <= SHOTS_PER_END)
        return true;
    diagnose("ThinkBoard : illegal turn.\n");
    return false;
}

bool ExamFreeGuard(const ThinkBoard& board) {
    if (!freeGuardRuleApplies(board, board.turn))
        return true;
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t i = board.inHouse[c]; i < board.count[c]; ++i)
            KELVO_CHECK(isInPlayAreaY(board.stones[c][i].y), "isInPlayArea(FX_TEE, y)");
    return true;
}

bool ExamStoneNumber(int32_t colour, int32_t turn, const ThinkBoard& board) {
    const int32_t n = board.count[colour];
    if (0 <= n && n <= stonesThrown(colour, SHOTS_PER_END - turn))
        return true;
    diagnose("ThinkBoard : illegal number of stones( %s%dt%d ).\n", colourName(colour), n, turn);
    return false;
}

bool ExamStoneState(const ThinkBoard& board) {
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t j = 0; j < board.count[c]; ++j)
            if ((board.state[c][j] & ST_WHITE) != c) {
                diagnose("ThinkBoard : illegal stone state( %s%d ).\n", colourName(c), j);
                return false;
            }
    return true;
}

bool Exam(const ThinkBoard& board) {
    KELVO_CHECK(ExamTurn(board), "ExamTurn(board)");
    KELVO_CHECK(ExamFreeGuard(board), "ExamFreeGuard(board)");
    KELVO_CHECK(ExamStoneNumber(BLACK, board.getTurn(), board), "ExamStoneNumber(BLACK, board.getTurn(), board)");
    KELVO_CHECK(ExamStoneNumber(WHITE, board.getTurn(), board), "ExamStoneNumber(WHITE, board.getTurn(), board)");
    KELVO_CHECK(ExamStoneState(board), "ExamStoneState(board)");
    return true;
}

}  // namespace Kelvo
