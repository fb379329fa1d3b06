#include "protocol.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <strings.h>

namespace Kelvo {

_GAMESTATE gameState;
std::atomic<Strategy> ownStrategy{STRATEGY_NO};
std::atomic<Strategy> oppStrategy{STRATEGY_NO};

namespace {

// Chosen: a line with no line end is handled once the pipe has been quiet
// this long, so a server that sends bare commands is still answered.
constexpr int IDLE_FLUSH_MS = 100;

// Decimal conversions as the C library's atoi and atof read them, without
// atoi's undefined behaviour on overflow: out-of-range integers saturate.
int32_t toInt(const char* word) {
    const long long v = std::strtoll(word, nullptr, 10);
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

float toFloat(const char* word) { return static_cast<float>(std::strtod(word, nullptr)); }

int handlePosition(const char* line) {
    char word[TOKEN_SIZE];
    for (int i = 0; i < 16; ++i)
        for (int axis = 0; axis < 2; ++axis) {
            if (!getToken(word, line, 1 + 2 * i + axis))
                return 0;
            gameState.stonePos[i][axis] = toFloat(word);
        }
    return 1;
}

int handleSetState(const char* line) {
    char word[TOKEN_SIZE];
    int32_t* fields[3] = {&gameState.shotNumber, &gameState.endNumber, &gameState.finalEnd};
    for (int i = 0; i < 3; ++i) {
        if (!getToken(word, line, 1 + i))
            return 0;
        *fields[i] = toInt(word);
    }
    if (!getToken(word, line, 4))
        return 0;
    gameState.sideFlag = toInt(word) != 0 ? 1 : 0;
    return 1;
}

int handleScore(const char* line) {
    char word[TOKEN_SIZE];
    if (!getToken(word, line, 1))
        return 0;
    // A score for an end the record has no room for is dropped.
    if (gameState.endNumber < 0 || gameState.endNumber > 9)
        return 1;
    gameState.endScores[gameState.endNumber] = toInt(word);
    return 1;
}

void newGame() {
    gameState = _GAMESTATE{};
    ownStrategy = STRATEGY_NO;
    oppStrategy = STRATEGY_NO;
}

}  // namespace

MoveDecider engineDecider(Engine& engine) {
    return [&engine](const _GAMESTATE& state) {
        const Decision d = engine.decide(state, StrategyOutlet{&ownStrategy, &oppStrategy});
        if (!d.playable) {
            std::fprintf(stderr, "kelvo: GO ignored: %s\n", d.why.c_str());
            std::fflush(stderr);
        }
        return d.answer;
    };
}

void decideMove(const MoveDecider& decide) {
    if (!decide)
        return;
    const std::string answer = decide(gameState);
    if (!answer.empty())
        writeOut(answer.c_str());
}

int getToken(char* dest, const char* line, int n) {
    const char* p = line;
    while (*p == ' ')
        ++p;
    for (int i = 0; i < n; ++i) {
        while (*p != ' ') {
            if (*p == '\0')
                return 0;
            ++p;
        }
        while (*p == ' ')
            ++p;
    }
    size_t len = 0;
    while (p[len] != ' ' && p[len] != '\0' && len < TOKEN_SIZE - 1)
        ++len;
    std::memcpy(dest, p, len);
    dest[len] = '\0';
    return 1;
}

int handleCommand(char* block, const MoveDecider& decide) {
    block[std::strcspn(block, "\r\n")] = '\0';
    char word[TOKEN_SIZE];
    getToken(word, block, 0);
    if (strcasecmp(word, "NEWGAME") == 0) {
        newGame();
        return 1;
    }
    if (strcasecmp(word, "ISREADY") == 0) {
        writeOut("READYOK");
        return 1;
    }
    if (strcasecmp(word, "POSITION") == 0)
        return handlePosition(block);
    if (strcasecmp(word, "SETSTATE") == 0)
        return handleSetState(block);
    if (strcasecmp(word, "GO") == 0) {
        decideMove(decide);
        return 1;
    }
    if (strcasecmp(word, "SCORE") == 0)
        return handleScore(block);
    return 1;
}

void writeOut(const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = write(STDOUT_FILENO, text, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

int runCommandLoop(const MoveDecider& decide) {
    LineAssembler lines;
    auto handle = [&decide](char* line) { handleCommand(line, decide); };
    char buffer[1024];
    for (;;) {
        if (lines.pending()) {
            pollfd in{STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&in, 1, IDLE_FLUSH_MS);
            if (ready == 0) {
                lines.flush(handle);
                continue;
            }
        }
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lines.flush(handle);
            return 0;
        }
        lines.feed(buffer, static_cast<size_t>(n), handle);
    }
}

}  // namespace Kelvo
