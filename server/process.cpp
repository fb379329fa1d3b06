#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

namespace Kelvo::Server {

namespace {

using Clock = std::chrono::steady_clock;

// Process groups to end when the server is interrupted. Plain words written
// before a handler can run and read only by it.
constexpr int MAX_GROUPS = 8;
volatile sig_atomic_t liveGroups[MAX_GROUPS] = {};

void rememberGroup(pid_t group) {
    for (int i = 0; i < MAX_GROUPS; ++i)
        if (liveGroups[i] == 0) {
            liveGroups[i] = group;
            return;
        }
}

void forgetGroup(pid_t group) {
    for (int i = 0; i < MAX_GROUPS; ++i)
        if (liveGroups[i] == group)
            liveGroups[i] = 0;
}

extern "C" void endGroupsAndLeave(int sig) {
    for (int i = 0; i < MAX_GROUPS; ++i)
        if (liveGroups[i] > 0)
            kill(-pid_t(liveGroups[i]), SIGKILL);
    _exit(128 + sig);
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(left);
}

}  // namespace

void installSignalCleanup() {
    // A player that dies while a command is written to it must not take the
    // server with it: the write reports EPIPE instead.
    signal(SIGPIPE, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = endGroupsAndLeave;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}

PlayerProcess::~PlayerProcess() { stop(0.0); }

bool PlayerProcess::start(const std::string& command) {
    int toChild[2], fromChild[2];
    // Close-on-exec keeps each player's pipe ends out of the other player,
    // which would otherwise hold this player's input open after stop().
    if (pipe2(toChild, O_CLOEXEC) != 0)
        return false;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return false;
    }
    // The stop signals wait until the new group is remembered: one that came
    // in between would leave this player running after the server.
    sigset_t stopSignals, before;
    sigemptyset(&stopSignals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, sig);
    sigprocmask(SIG_BLOCK, &stopSignals, &before);
    const pid_t pid = fork();
    if (pid < 0) {
        sigprocmask(SIG_SETMASK, &before, nullptr);
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
            close(fd);
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        // Ignored signals and the signal mask survive exec; the player gets
        // the usual defaults.
        signal(SIGPIPE, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        sigprocmask(SIG_SETMASK, &before, nullptr);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Set the group from both sides so it exists before anyone signals it.
    setpgid(pid, pid);
    close(toChild[0]);
    close(fromChild[1]);
    pid_ = pid;
    in_ = toChild[1];
    out_ = fromChild[0];
    fcntl(in_, F_SETFL, fcntl(in_, F_GETFL) | O_NONBLOCK);
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
    outbox_.clear();
    outputClosed_ = false;
    inputClosed_ = false;
    reaped_ = false;
    status_ = 0;
    rememberGroup(pid);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return true;
}

bool PlayerProcess::flushOutbox() {
    while (!outbox_.empty() && in_ >= 0) {
        const ssize_t n = write(in_, outbox_.data(), outbox_.size());
        if (n > 0) {
            outbox_.erase(0, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        // EPIPE: nobody reads the player's input any more.
        outbox_.clear();
        inputClosed_ = true;
        return false;
    }
    return true;
}

void PlayerProcess::send(const std::string& line) {
    if (in_ < 0)
        return;
    outbox_ += line;
    outbox_ += '\n';
    flushOutbox();
}

void PlayerProcess::discardPending() {
    if (out_ < 0)
        return;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            outputClosed_ = true;
        return;
    }
}

WaitResult PlayerProcess::waitFor(const std::function<ReadState(const std::string&)>& judge, double seconds,
                                  std::string& received) {
    received.clear();
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    for (;;) {
        if (out_ < 0 || outputClosed_ || inputClosed_)
            return WaitResult::Died;
        pollfd fds[2] = {{out_, POLLIN, 0}, {in_, POLLOUT, 0}};
        const int nfds = (!outbox_.empty() && in_ >= 0) ? 2 : 1;
        const int wait = millisecondsUntil(deadline);
        const int ready = poll(fds, nfds, wait);
        if (ready < 0 && errno != EINTR)
            return WaitResult::Died;
        if (nfds == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)))
            flushOutbox();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n == 0) {
                outputClosed_ = true;
                return WaitResult::Died;
            }
            if (n > 0) {
                received.append(buf, size_t(n));
                const ReadState state = judge(received);
                if (state == ReadState::Complete)
                    return WaitResult::Complete;
                if (state == ReadState::Invalid)
                    return WaitResult::Invalid;
            } else if (errno != EAGAIN && errno != EINTR) {
                outputClosed_ = true;
                return WaitResult::Died;
            }
        }
        if (ready == 0 && wait == 0)
            return WaitResult::TimedOut;
        if (Clock::now() >= deadline && ready == 0)
            return WaitResult::TimedOut;
    }
}

bool PlayerProcess::reap(bool block) {
    if (pid_ < 0 || reaped_)
        return true;
    int status = 0;
    pid_t got;
    do {
        got = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == pid_ || (got < 0 && errno == ECHILD)) {
        reaped_ = true;
        status_ = status;
        return true;
    }
    return false;
}

bool PlayerProcess::alive() {
    if (pid_ < 0)
        return false;
    if (reap(false))
        return false;
    return !outputClosed_ && !inputClosed_;
}

std::string PlayerProcess::howItDied() const {
    if (reaped_) {
        if (WIFEXITED(status_))
            return "exited with status " + std::to_string(WEXITSTATUS(status_));
        if (WIFSIGNALED(status_))
            return "killed by signal " + std::to_string(WTERMSIG(status_));
    }
    if (outputClosed_)
        return "closed its output";
    if (inputClosed_)
        return "stopped reading its input";
    return "running";
}

void PlayerProcess::closeInput() {
    if (in_ >= 0) {
        flushOutbox();
        close(in_);
        in_ = -1;
    }
}

void PlayerProcess::stop(double graceSeconds) {
    if (pid_ < 0)
        return;
    closeInput();
    // A player that reads its input to the end leaves by itself.
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(graceSeconds));
    while (!reap(false) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!reaped_) {
        kill(-pid_, SIGTERM);
        const auto termDeadline = Clock::now() + std::chrono::milliseconds(500);
        while (!reap(false) && Clock::now() < termDeadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Whatever is left of the group (a pipeline's other members, a process
    // the player left behind) goes too.
    kill(-pid_, SIGKILL);
    reap(true);
    forgetGroup(pid_);
    if (out_ >= 0) {
        close(out_);
        out_ = -1;
    }
    pid_ = -1;
}

}  // namespace Kelvo::Server
