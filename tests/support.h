// Helpers shared by the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine.h"
#include "kelvosim/board/simcontext.h"
#include "kelvosim/classic/classicice.h"
#include "kelvosim/board/thinkboard.h"
#include "kelvosim/fcv1/fcv1model.h"
#include "settings.h"

namespace KelvoTest {

// The motion tables and a simulation context on them, built once per test
// program on first use.
const Kelvo::SimContext& simulation();
inline const Kelvo::MotionTables& tables() { return static_cast<const Kelvo::ClassicIce&>(*simulation().ice).tables(); }

// A board at the given turn with the given stones (board frame), flags and
// count recomputed as the search would see them, simulated with simulation().
struct StoneAt {
    int colour;
    double x;
    double y;
};
Kelvo::ThinkBoard makeBoard(int turn, const std::vector<StoneAt>& stones);

// The player's own settings with a shorter budget, for quick searches.
inline Kelvo::SearchSettings withBudget(int budgetMs) {
    Kelvo::SearchSettings settings;
    settings.budgetMs = budgetMs;
    return settings;
}

// An engine on the shared tables.
inline Kelvo::Engine engine(const Kelvo::SearchSettings& settings = {}) {
    return Kelvo::Engine(settings, simulation().ice);
}

// FNV-1a: bytes folded into a running 64-bit hash, for results that must
// stay bit for bit what they were.
uint64_t fnv1a(uint64_t hash, const void* data, size_t size);
template <typename T>
uint64_t fnv1a(uint64_t hash, const T& value) {
    return fnv1a(hash, &value, sizeof value);
}
// The standard start of a hash.
constexpr uint64_t FNV_BASIS = 0xcbf29ce484222325ULL;
// The start of the hashes kept by the tests (motion tables, candidate lists)
// and of kelvo-fidelity --fast-digest: the standard start's decimal digits
// without the last. It hashes as well as any start and keeps the stored
// values.
constexpr uint64_t FNV_KEPT_BASIS = 1469598103934665603ULL;

// A child process on pipes, for driving the real binaries.
struct Child {
    int pid = -1;
    int in = -1;   // write end of the child's standard input
    int out = -1;  // read end of the child's standard output
};
Child spawn(const std::string& path, const std::vector<std::string>& args = {});
void writeAll(int fd, const std::string& bytes);
// Reads what arrives within timeoutMs (stops early once `until` bytes came).
std::string readFor(int fd, int timeoutMs, size_t until = 0);
// Closes standard input and waits for the exit; returns the wait status.
int finish(Child& child, int timeoutMs = 10000);

// For tests that run the tools through the shell: a word quoted for it, a
// whole file's bytes (empty when missing), and a command's exit status (-1
// when it did not exit).
std::string shellQuote(const std::string& word);
std::string readFile(const std::string& path);
int runShell(const std::string& command);

// fcv1 stones from (shot number, x, y) in the shot frame; the rest absent.
Kelvo::Fcv1Stones stonesAt(std::initializer_list<std::tuple<int, float, float>> list);

// A fixture with a fresh folder under /tmp for the test's files, removed
// with all it holds when the test ends.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir;
};

}  // namespace KelvoTest
