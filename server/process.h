// A player process on pipes: started through the shell, fed command lines
// without ever blocking the server, read with a deadline, and ended with its
// whole process group.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace Kelvo::Server {

// What a reader makes of the bytes received so far.
enum class ReadState { NeedMore, Complete, Invalid };

enum class WaitResult { Complete, Invalid, TimedOut, Died };

class PlayerProcess {
public:
    PlayerProcess() = default;
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    // Runs `/bin/sh -c command` in a process group of its own. False when the
    // pipes or the fork fail (a command that cannot be run shows up as a
    // player that died at once).
    bool start(const std::string& command);

    // Queues one command line (a line end is added) and writes what the pipe
    // takes now; the rest goes out while the server waits for replies, so a
    // player that stops reading cannot stall the match.
    void send(const std::string& line);

    // Drops output the player wrote without being asked (a late reply to an
    // earlier request), so it is not taken as the answer to the next one.
    void discardPending();

    // Reads until judge calls the received text complete or invalid, the
    // player closes its output or exits, or `seconds` pass. `received` gets
    // every byte read in this wait.
    WaitResult waitFor(const std::function<ReadState(const std::string&)>& judge, double seconds,
                       std::string& received);

    // False once the process has exited or closed its output.
    bool alive();
    // "exited with status 3", "killed by signal 9", "closed its output",
    // "stopped reading its input".
    std::string howItDied() const;

    // Closes the player's input: a player that reads it to the end leaves.
    void closeInput();

    // Closes the player's input, gives it `graceSeconds` to leave, then ends
    // its process group and reaps it. Safe to call more than once.
    void stop(double graceSeconds);

    pid_t pid() const { return pid_; }

private:
    bool flushOutbox();
    bool reap(bool block);

    pid_t pid_ = -1;
    int in_ = -1;   // write end of the player's standard input
    int out_ = -1;  // read end of the player's standard output
    std::string outbox_;
    bool outputClosed_ = false;
    bool inputClosed_ = false;  // a write found nobody reading
    bool reaped_ = false;
    int status_ = 0;
};

// On SIGINT, SIGTERM or SIGHUP the server ends every player group it started
// before it leaves, so no player outlives an interrupted match.
void installSignalCleanup();

}  // namespace Kelvo::Server
