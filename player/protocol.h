// The line-protocol front-end: the command loop and the game-state record,
// the only place that keeps that record between commands. GO asks a move
// decider, normally the engine's, for the answer it writes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine.h"
#include "kelvosim/gamestate.h"

namespace Kelvo {

constexpr size_t TOKEN_SIZE = 1024;

extern _GAMESTATE gameState;
// The end strategies of the searching side and its opponent; NEWGAME clears
// them, every move request's search publishes them.
extern std::atomic<Strategy> ownStrategy;
extern std::atomic<Strategy> oppStrategy;

// What GO asks for: the answer to write for the state, or nothing (empty).
using MoveDecider = std::function<std::string(const _GAMESTATE& state)>;
// The engine as GO's decider: its searches publish to ownStrategy and
// oppStrategy, and a state it cannot play gets one line on standard error
// and no answer.
MoveDecider engineDecider(Engine& engine);

// Copies word n (0 = the command word) of a line into dest (TOKEN_SIZE
// bytes); 1 when the word exists, 0 when it does not. Words are separated by
// spaces only; after a trailing space the next word exists and is empty.
int getToken(char* dest, const char* line, int n);
// Handles the first line of a NUL-terminated block, GO with `decide` (no
// decider: GO is not answered). 1 when handled or not recognised, 0 when a
// required word was missing.
int handleCommand(char* block, const MoveDecider& decide);
// Writes a NUL-terminated string to standard output in one write, no line end.
void writeOut(const char* text);
// GO: the decider's answer on the record, written in one write.
void decideMove(const MoveDecider& decide);

// Splits the byte stream of standard input into lines. Each complete line is
// handed on; a line longer than a command can be is dropped whole rather than
// handled as a truncated command.
class LineAssembler {
public:
    template <typename Handle>
    void feed(const char* bytes, size_t n, Handle&& handle) {
        for (size_t i = 0; i < n; ++i) {
            const char c = bytes[i];
            if (c == '\n' || c == '\r') {
                finishLine(handle);
            } else if (len_ < MAX_LINE) {
                line_[len_++] = c;
            } else {
                overflow_ = true;
            }
        }
    }
    // Hands over what is pending as a line (end of input, or a quiet pipe).
    template <typename Handle>
    void flush(Handle&& handle) {
        if (len_ > 0 || overflow_)
            finishLine(handle);
    }
    bool pending() const { return len_ > 0 && !overflow_; }

private:
    static constexpr size_t MAX_LINE = 1023;

    template <typename Handle>
    void finishLine(Handle& handle) {
        if (!overflow_ && len_ > 0) {
            line_[len_] = '\0';
            handle(line_);
        }
        len_ = 0;
        overflow_ = false;
    }

    char line_[MAX_LINE + 1] = {};
    size_t len_ = 0;
    bool overflow_ = false;
};

// Reads standard input until it ends and handles every command; returns
// the process exit status.
int runCommandLoop(const MoveDecider& decide);

}  // namespace Kelvo
