// A short scripted session for a memory checker: start-up with the engine and
// its motion tables, a game's commands through the line assembler and the
// command handler, and one move request with a short budget through the
// engine.
// Prints the answer; exits 1 when there is none.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "engine.h"
#include "protocol.h"

int main(int argc, char** argv) {
    const int budgetMs = argc > 1 ? std::atoi(argv[1]) : 200;
    Kelvo::SearchSettings settings;
    settings.budgetMs = budgetMs;
    Kelvo::Engine engine(settings);

    const std::string session =
        "NEWGAME\nISREADY\n"
        "SETSTATE 0 0 8 0\nSCORE 1\nSETSTATE 0 1 8 0\nSCORE -2\n"
        "POSITION 2.2 8.9 2.4 4.7 2.6 9.6 1.6 4.2 2.9 5.3 2.1 6.1 0 0 0 0"
        " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\r\n"
        "SETSTATE 7 2 8 0\nISREADY\n";
    Kelvo::LineAssembler lines;
    // GO is left to the end, through the engine itself.
    auto handle = [](char* line) { Kelvo::handleCommand(line, Kelvo::MoveDecider()); };
    // In uneven pieces, as a pipe may deliver them.
    for (size_t at = 0; at < session.size(); at += 13)
        lines.feed(session.data() + at, std::min<size_t>(13, session.size() - at), handle);
    lines.flush(handle);
    Kelvo::writeOut("\n");

    const std::string answer = Kelvo::engineDecider(engine)(Kelvo::gameState);
    std::printf("%s\n", answer.c_str());
    return std::regex_match(answer, std::regex(R"(BESTSHOT -?\d+\.\d{6} -?\d+\.\d{6} [01])")) ? 0 : 1;
}
