#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "kelvosim/classic/fastsimulator.h"

namespace KelvoTest {

const Kelvo::SimContext& simulation() {
    static const Kelvo::SimContext sim{Kelvo::makeIce(Kelvo::IceKind::CLASSIC)};
    return sim;
}

Kelvo::ThinkBoard makeBoard(int turn, const std::vector<StoneAt>& stones) {
    Kelvo::ThinkBoard board;
    board.sim = &simulation();
    Kelvo::resetBoard(board);
    board.turn = turn;
    for (const StoneAt& s : stones)
        Kelvo::addStone(board, s.colour, s.x, s.y);
    Kelvo::recomputeStates(board);
    return board;
}

uint64_t fnv1a(uint64_t hash, const void* data, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

Child spawn(const std::string& path, const std::vector<std::string>& args) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0)
        return Child{};
    signal(SIGPIPE, SIG_IGN);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    return Child{pid, toChild[1], fromChild[0]};
}

void writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string readFor(int fd, int timeoutMs, size_t until) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (until > 0 && got.size() >= until)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

int finish(Child& child, int timeoutMs) {
    if (child.in >= 0)
        close(child.in);
    child.in = -1;
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (waitpid(child.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (child.out >= 0)
        close(child.out);
    child.out = -1;
    return status;
}

std::string shellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int runShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void TempDirTest::SetUp() {
    char pattern[] = "/tmp/kelvo-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
}

void TempDirTest::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

Kelvo::Fcv1Stones stonesAt(std::initializer_list<std::tuple<int, float, float>> list) {
    Kelvo::Fcv1Stones s;
    for (const auto& [i, x, y] : list) {
        s.present[i] = true;
        s.x[i] = x;
        s.y[i] = y;
    }
    return s;
}

}  // namespace KelvoTest
