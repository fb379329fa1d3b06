// The command loop, the game-state record and the move decision.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "kelvosim/gamestate.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

constexpr size_t TOKEN_SIZE = 1024;

extern _GAMESTATE gameState;
// The end strategies of the searching side and its opponent; NEWGAME clears
// them, every move request sets them.
extern std::atomic<int32_t> ownStrategy;
extern std::atomic<int32_t> oppStrategy;

// Copies word n (0 = the command word) of a line into dest (TOKEN_SIZE
// bytes); 1 when the word exists, 0 when it does not. Words are separated by
// spaces only; after a trailing space the next word exists and is empty.
int getToken(char* dest, const char* line, int n);
// Handles the first line of a NUL-terminated block. 1 when handled or not
// recognised, 0 when a required word was missing.
int handleCommand(char* block);
// Writes a NUL-terminated string to standard output in one write, no line end.
void writeOut(const char* text);
// Runs GO: searches and writes the answer.
void decideMove();

// Splits the byte stream of standard input into lines. Each complete line is
// handed to handleCommand; a line longer than a command can be is dropped
// whole rather than handled as a truncated command.
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
int runCommandLoop();

}  // namespace Kelvo
