// Hostile input through the real binary: whatever arrives, the player never
// dies by a signal, writes nothing but its replies, and still answers ISREADY.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support.h"

namespace {

const std::regex REPLIES("^(READYOK|BESTSHOT -?[0-9]+\\.[0-9]{6} -?[0-9]+\\.[0-9]{6} [01])*$");

// Makes every later GO in a mix ask for an impossible state, so the mix
// never starts a full-length search.
const char* const IMPOSSIBLE = "SETSTATE 16 0 0 0\n";

std::string randomBytes(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xff);
    return s;
}

std::string randomCommand(std::mt19937& rng) {
    static const std::vector<std::string> words = {
        "NEWGAME", "ISREADY", "POSITION", "SETSTATE", "SCORE", "GO", "go", "Position", "ISREADY2", "", "BESTSHOT"};
    static const std::vector<std::string> numbers = {
        "0", "-0", "1", "15", "16", "-1", "9", "10", "nan", "-nan", "inf", "1e400", "-1e400", "4.88", "2.375",
        "99999999999999999999", "-99999999999999999999", "0x10", "1e-400", "abc", "", "3.5.6", "+7", "\t"};
    std::string line = words[rng() % words.size()];
    const int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i)
        line += std::string(1 + rng() % 2, ' ') + numbers[rng() % numbers.size()];
    if (line.rfind("GO", 0) == 0 || line.rfind("go", 0) == 0)
        line = IMPOSSIBLE + line;
    return line + (rng() % 3 == 0 ? "\r\n" : "\n");
}

class Abuse : public ::testing::Test {
protected:
    void SetUp() override {
        child = KelvoTest::spawn(KELVO_BIN);
        // The tables are built before the first read; wait for the player.
        KelvoTest::writeAll(child.in, "ISREADY\n");
        ASSERT_EQ(KelvoTest::readFor(child.out, 10000, 7), "READYOK");
    }
    void TearDown() override {
        if (child.pid > 0)
            KelvoTest::finish(child);
        RecordProperty("inputs", inputs);
        std::printf("[ inputs   ] %d hostile inputs sent\n", inputs);
    }

    // Sends the bytes (optionally one write per byte), then checks that the
    // player answers ISREADY and wrote nothing but replies.
    void sendAndCheck(const std::string& bytes, bool byteByByte = false) {
        if (byteByByte) {
            for (char c : bytes)
                KelvoTest::writeAll(child.in, std::string(1, c));
        } else {
            KelvoTest::writeAll(child.in, bytes);
        }
        ++inputs;
        KelvoTest::writeAll(child.in, "\nNEWGAME\nISREADY\n");
        std::string out;
        const auto endsReady = [&] { return out.size() >= 7 && out.compare(out.size() - 7, 7, "READYOK") == 0; };
        for (int waited = 0; !endsReady() && waited < 150; ++waited)
            out += KelvoTest::readFor(child.out, 100, 1);
        ASSERT_TRUE(endsReady()) << "no READYOK after input " << inputs << "; got: " << out;
        ASSERT_TRUE(std::regex_match(out, REPLIES)) << out;
        ASSERT_EQ(waitpid(child.pid, nullptr, WNOHANG), 0) << "player died";
    }

    KelvoTest::Child child;
    int inputs = 0;
};

}  // namespace

TEST_F(Abuse, RandomBytes) {
    std::mt19937 rng(7);
    for (int i = 0; i < 150; ++i)
        sendAndCheck(std::string(IMPOSSIBLE) + randomBytes(rng, 1 + rng() % 3000));
}

TEST_F(Abuse, RandomMixesOfValidAndInvalidCommands) {
    std::mt19937 rng(11);
    for (int i = 0; i < 150; ++i) {
        std::string mix;
        const int n = 1 + static_cast<int>(rng() % 30);
        for (int j = 0; j < n; ++j)
            mix += randomCommand(rng);
        sendAndCheck(mix, i % 10 == 0);
    }
}

TEST_F(Abuse, CommandsWithNulAndControlBytesInside) {
    std::mt19937 rng(13);
    static const char odd[] = {'\0', '\t', '\x7f', '\xff', '\x80', '\x1b', '\r', '\v'};
    for (int i = 0; i < 100; ++i) {
        std::string mix;
        for (int j = 0; j < 8; ++j)
            mix += randomCommand(rng);
        // Overwrite bytes anywhere but in the SETSTATE lines that make the
        // GOs impossible, so that no full-length search starts.
        for (int k = 0; k < 6; ++k) {
            const size_t at = rng() % mix.size();
            const size_t lineStart = mix.rfind('\n', at) == std::string::npos ? 0 : mix.rfind('\n', at) + 1;
            if (mix.compare(lineStart, 8, "SETSTATE") != 0 && mix[at] != '\n')
                mix[at] = odd[rng() % sizeof odd];
        }
        sendAndCheck(std::string(IMPOSSIBLE) + mix, i % 8 == 0);
    }
}

TEST_F(Abuse, LongLinesNulBytesAndOutOfRangeNumbers) {
    sendAndCheck(std::string(10 * 1024, 'A') + "\nISREADY\n");
    sendAndCheck("POSITION " + std::string(10 * 1024, '1') + "\n");
    sendAndCheck(std::string("ISRE\0ADY\nSETSTATE 1\0 2 3 4\n", 27));
    sendAndCheck("POSITION nan nan inf -inf 1e400 -1e400 -0 -0 2.375 4.88\n");
    sendAndCheck("SETSTATE 2147483648 -2147483649 99999999999999999999 -0\nSCORE 99999999999999999999\n");
    sendAndCheck("SETSTATE 0 -1 0 0\nGO\nSETSTATE 0 10 0 0\nGO\nSETSTATE -1 0 0 0\nGO\n");
    // Three BLACK stones in the house before shot 2: more than can have been thrown.
    sendAndCheck("POSITION 2.375 4.88 0 0 2.0 4.88 0 0 2.7 4.88 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
                 "SETSTATE 2 0 0 0\nGO\n");
    sendAndCheck("SCORE 3\nSETSTATE 0 12 0 0\nSCORE 4\n", true);
}

TEST_F(Abuse, EndOfInputInTheMiddleOfALine) {
    KelvoTest::writeAll(child.in, "POSITION 1 2 3");
    ++inputs;
    const int status = KelvoTest::finish(child);
    child.pid = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
