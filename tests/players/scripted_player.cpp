// A stand-in player for the server tests. It logs every line it receives
// (after a first line "pid N", and "EOF" when its input ends) and answers
// ISREADY with READYOK and GO according to its mode, both without a line end.
//
//   kelvo-scripted-player LOG MODE [SHOT...]     SHOT is x,y,spin (cycled)
//   MODE fixed    answers the shots in turn
//        trickle  the same, written in three pieces with pauses between
//        garbage  answers things that are not a BESTSHOT reply
//        sleep:MS sleeps MS milliseconds before its first answer
//        exit     exits with status 3 at its first GO, without answering
//        slowstart:MS  sleeps MS milliseconds before it reads anything (a
//                 slow start-up), then answers like fixed
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

void say(const std::string& text) {
    // One write, no line end, like a real player.
    if (write(STDOUT_FILENO, text.data(), text.size()) < 0)
        std::exit(4);
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string bestShot(const std::string& fields) {
    std::string text = "BESTSHOT " + fields;
    for (char& c : text)
        if (c == ',')
            c = ' ';
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    FILE* log = std::fopen(argv[1], "a");
    if (!log)
        return 2;
    const std::string mode = argv[2];
    std::vector<std::string> shots;
    for (int i = 3; i < argc; ++i)
        shots.push_back(argv[i]);
    if (shots.empty())
        shots.push_back("0,-40,0");
    const std::vector<std::string> garbage = {"HELLO", "BESTSHOT abc 1 0", "BESTSHOT nan -29 0",
                                              "BESTSHOT 0.1 -29.5 7", "\x01\xff junk"};

    std::fprintf(log, "pid %d\n", int(getpid()));
    std::fflush(log);
    if (mode.rfind("slowstart:", 0) == 0)
        pause(std::atoi(mode.c_str() + 10));
    std::string line;
    size_t goCount = 0;
    while (std::getline(std::cin, line)) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
        if (line == "ISREADY") {
            say("READYOK");
        } else if (line == "GO") {
            const std::string reply = bestShot(shots[goCount % shots.size()]);
            if (mode == "fixed" || mode.rfind("slowstart:", 0) == 0) {
                say(reply);
            } else if (mode == "trickle") {
                say(reply.substr(0, 5));
                pause(30);
                say(reply.substr(5, 8));
                pause(30);
                say(reply.substr(13));
            } else if (mode == "garbage") {
                say(garbage[goCount % garbage.size()]);
            } else if (mode.rfind("sleep:", 0) == 0) {
                if (goCount == 0)
                    pause(std::atoi(mode.c_str() + 6));
                say(reply);
            } else if (mode == "exit") {
                std::fprintf(log, "exit\n");
                std::fclose(log);
                return 3;
            }
            ++goCount;
        }
    }
    std::fprintf(log, "EOF\n");
    std::fclose(log);
    return 0;
}
