// The test support's shell quoting, which every test that runs the tools
// through the shell relies on.
#include <gtest/gtest.h>

#include <string>

#include "support.h"

using KelvoTest::readFile;
using KelvoTest::runShell;
using KelvoTest::shellQuote;

class Support : public KelvoTest::TempDirTest {};

TEST_F(Support, AQuotedWordReachesTheCommandIntact) {
    const std::string out = dir + "/it's out";
    for (const std::string word : {"plain", "two  words", "it's", "'", "''", "$HOME `id` \\ \"q\" *", ""}) {
        ASSERT_EQ(runShell("printf %s " + shellQuote(word) + " > " + shellQuote(out)), 0) << word;
        EXPECT_EQ(readFile(out), word);
    }
}
