// libFuzzer target on the command handling. Each input is handed over twice:
// whole, as one block to handleCommand, and then as a byte stream cut into
// uneven writes through the line assembler, the way the command loop does
// it. Whatever reaches standard output must be whole replies.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "kelvosim/classic/fastsimulator.h"
#include "protocol.h"
#include "search.h"

namespace {

// The tables the GO below simulates with, built at start-up.
std::unique_ptr<Kelvo::SimContext> simulation;

// GO without the timed search: the validity check, then everything the
// search starts from (the board, the strategy pair, the candidate set) and
// one simulated shot of the first candidate, which is answered.
std::string quickDecision(const Kelvo::_GAMESTATE& state) {
    using namespace Kelvo;
    if (!isPlayableState(state))
        return std::string();
    ThinkBoard kept;
    kept.sim = simulation.get();
    const SearchRoot root = prepareRoot(state, kept);
    Candidate shot;
    if (root.count > 0) {
        shot = root.candidates[0];
        ThinkBoard board = root.board;
        applyShot(board, simulateShot(board, shot));
        shot.y = -shot.y;
    }
    return formatAnswer(shot);
}

bool skipNumber(const std::string& s, size_t& i) {
    if (i < s.size() && s[i] == '-')
        ++i;
    const size_t digits = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    if (i == digits || i >= s.size() || s[i] != '.')
        return false;
    ++i;
    for (int k = 0; k < 6; ++k, ++i)
        if (i >= s.size() || s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

// Whether the text is a run of "READYOK" and "BESTSHOT %f %f %d" replies.
bool onlyReplies(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        if (s.compare(i, 7, "READYOK") == 0) {
            i += 7;
            continue;
        }
        if (s.compare(i, 9, "BESTSHOT ") != 0)
            return false;
        i += 9;
        if (!skipNumber(s, i) || i >= s.size() || s[i++] != ' ')
            return false;
        if (!skipNumber(s, i) || i >= s.size() || s[i++] != ' ')
            return false;
        if (i >= s.size() || (s[i] != '0' && s[i] != '1'))
            return false;
        ++i;
    }
    return true;
}

std::string takeOutput() {
    const off_t n = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (!out.empty() && pread(STDOUT_FILENO, &out[0], out.size(), 0) != n)
        out = "<unreadable>";
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0)
        std::abort();
    return out;
}

void startOfGame() {
    char newGame[] = "NEWGAME";
    Kelvo::handleCommand(newGame, quickDecision);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    simulation = std::make_unique<Kelvo::SimContext>(Kelvo::SimContext{Kelvo::makeIce(Kelvo::IceKind::CLASSIC)});
    // Standard output goes to a memory file that is checked after every input.
    const int fd = memfd_create("kelvo-stdout", 0);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0)
        std::abort();
    close(fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One block, NUL-terminated, as a single read would deliver it.
    startOfGame();
    std::vector<char> block(data, data + size);
    block.push_back('\0');
    Kelvo::handleCommand(block.data(), quickDecision);

    // The same bytes as a stream in writes of 1 to 64 bytes, then the end of
    // input with whatever is pending.
    startOfGame();
    Kelvo::LineAssembler lines;
    auto handle = [](char* line) { Kelvo::handleCommand(line, quickDecision); };
    uint32_t cut = static_cast<uint32_t>(size) * 2654435761u;
    for (size_t at = 0; at < size;) {
        cut = cut * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(size - at, 1 + (cut >> 16) % 64);
        lines.feed(reinterpret_cast<const char*>(data) + at, n, handle);
        at += n;
    }
    lines.flush(handle);

    const std::string out = takeOutput();
    if (!onlyReplies(out)) {
        std::fprintf(stderr, "standard output carries more than replies: \"%s\"\n", out.c_str());
        std::abort();
    }
    return 0;
}
