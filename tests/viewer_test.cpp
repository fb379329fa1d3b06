// The match viewer: the page maker's checks of a record, and the page in a
// real browser (headless Chromium, skipped where it cannot run).
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "support.h"
#include "viewer/page.h"

namespace {

const std::string BIN_DIR = KELVO_BIN_DIR;

using KelvoTest::readFile;
using KelvoTest::runShell;

std::string quote(const std::string& s) { return KelvoTest::shellQuote(s); }

class Viewer : public ::testing::Test {
protected:
    // One recorded one-end match of scripted players, made once.
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/kelvo-viewer-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        const std::string player = quote(BIN_DIR + "/kelvo-scripted-player") + " " + quote(dir + "/p.log") +
                                   " fixed -0.99074,-29.559775,0 0.6,-29.3,1 -0.3,-31,0 0.2,-32,0";
        status = runShell(quote(BIN_DIR + "/kelvo-server") + " --player1 " + quote(player) + " --player2 " +
                          quote(player) + " --seed 3 --record " + quote(dir + "/record.jsonl") + " --html " +
                          quote(dir + "/server.html") + " > " + quote(dir + "/out.txt") + " 2>&1");
        record = readFile(dir + "/record.jsonl");
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // The record with line `number` (counted from 1) replaced.
    static std::string withLine(int number, const std::string& text) {
        std::istringstream in(record);
        std::string out, line;
        for (int n = 1; std::getline(in, line); ++n)
            out += (n == number ? text : line) + "\n";
        return out;
    }

    static std::string dir;
    static std::string record;
    static int status;
};

std::string Viewer::dir;
std::string Viewer::record;
int Viewer::status = -1;

TEST_F(Viewer, BadRecordsNameTheLineAndWhatIsWrong) {
    ASSERT_EQ(status, 0) << readFile(dir + "/out.txt");
    std::string html, error;
    ASSERT_TRUE(Kelvo::Viewer::matchPage(record, html, error)) << error;

    const struct {
        std::string record;
        std::string error;
    } cases[] = {
        {withLine(3, "not json"), "line 3: not a JSON object"},
        {record.substr(0, record.size() / 2), "(the record is cut short)"},
        {withLine(4, "{\"type\":\"shot\",\"end\":0}"), "line 4: no \"shot\" field"},
        {withLine(1, "{\"type\":\"shot\"}"), "line 1: the record does not open with a \"match\" object"},
        {std::string(), "line 1: the record is empty"},
    };
    for (const auto& c : cases) {
        html.clear();
        error.clear();
        EXPECT_FALSE(Kelvo::Viewer::matchPage(c.record, html, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_TRUE(html.empty());
    }
    // A record cut after a whole line still lacks its result.
    const std::string firstLines = record.substr(0, record.find('\n', record.find('\n') + 1) + 1);
    EXPECT_FALSE(Kelvo::Viewer::matchPage(firstLines, html, error));
    EXPECT_NE(error.find("line 3: the record ends without a \"result\""), std::string::npos) << error;

    // The tool: exit 2, the line on standard error, nothing on standard output.
    std::ofstream(dir + "/bad.jsonl") << withLine(5, "{\"type\":\"shot\",\"end\":0,\"shot\":99}");
    EXPECT_EQ(runShell(quote(BIN_DIR + "/kelvo-view") + " " + quote(dir + "/bad.jsonl") + " > " +
                       quote(dir + "/bad.html") + " 2> " + quote(dir + "/bad.txt")),
              2);
    EXPECT_EQ(readFile(dir + "/bad.html"), "");
    EXPECT_NE(readFile(dir + "/bad.txt").find("line 5: \"shot\" is not a whole number from 0 to 15"),
              std::string::npos)
        << readFile(dir + "/bad.txt");
}

TEST_F(Viewer, TheToolAndTheServerMakeTheSamePageAndOldRecordsStillWork) {
    ASSERT_EQ(status, 0) << readFile(dir + "/out.txt");
    ASSERT_EQ(runShell(quote(BIN_DIR + "/kelvo-view") + " " + quote(dir + "/record.jsonl") + " > " +
                       quote(dir + "/view.html")),
              0);
    const std::string page = readFile(dir + "/view.html");
    EXPECT_EQ(page, readFile(dir + "/server.html"));
    // Self-contained: nothing is fetched from anywhere.
    EXPECT_EQ(page.find("src="), std::string::npos);
    EXPECT_EQ(page.find("href=\"http"), std::string::npos);
    EXPECT_NE(page.find("\"paths\""), std::string::npos);

    // A record from before paths were kept.
    const std::string old = std::regex_replace(record, std::regex(",\"paths\":\\[[^\\n]*?\\]\\]\\}\\]"), "");
    ASSERT_EQ(old.find("\"paths\""), std::string::npos);
    std::string html, error;
    EXPECT_TRUE(Kelvo::Viewer::matchPage(old, html, error)) << error;
}

// ---------------------------------------------------------------------------
// In the browser

// The page as Chromium renders it at the fragment, after its script ran.
std::string renderedDom(const std::string& page, const std::string& fragment, const std::string& dir) {
    const std::string out = dir + "/dom.html";
    const std::string cmd = "timeout 60 chromium --headless --no-sandbox --disable-gpu --dump-dom " +
                            quote("file://" + page + fragment) + " > " + quote(out) + " 2> /dev/null";
    return runShell(cmd) == 0 ? readFile(out) : std::string();
}

std::string cell(const std::string& dom, const std::string& id) {
    std::smatch m;
    return std::regex_search(dom, m, std::regex("id=\"" + id + "\"[^>]*>(?:<b>)?([^<]*)<")) ? m[1].str()
                                                                                          : "(no " + id + ")";
}

size_t stonesShown(const std::string& dom) {
    size_t n = 0;
    for (size_t at = dom.find("class=\"stone\""); at != std::string::npos; at = dom.find("class=\"stone\"", at + 1))
        ++n;
    return n;
}

TEST_F(Viewer, ChromiumShowsTheShotAtTheFragmentAndTheNextOne) {
    ASSERT_EQ(status, 0) << readFile(dir + "/out.txt");
    if (runShell("command -v chromium > /dev/null") != 0)
        GTEST_SKIP() << "chromium is not installed (scripts/setup --checks installs it): the page is not rendered";
    const std::string page = dir + "/server.html";
    const std::string at5 = renderedDom(page, "#e0s5", dir);
    if (at5.find("id=\"d-shot\"") == std::string::npos)
        GTEST_SKIP() << "chromium could not render the page here: " << at5.substr(0, 200);

    // The record tells what each shot must show.
    std::istringstream in(record);
    std::string line;
    std::vector<std::string> shotLines;
    while (std::getline(in, line))
        if (line.find("\"type\":\"shot\"") != std::string::npos)
            shotLines.push_back(line);
    ASSERT_EQ(shotLines.size(), 16u);
    auto inPlay = [](const std::string& shotLine) {
        std::smatch m;
        std::regex_search(shotLine, m, std::regex("\"stonesInPlay\":(\\d+)"));
        return size_t(std::stoi(m[1].str()));
    };

    EXPECT_EQ(cell(at5, "d-end"), "0");
    EXPECT_EQ(cell(at5, "d-shot"), "5");
    EXPECT_EQ(cell(at5, "d-player"), "player2");
    EXPECT_EQ(cell(at5, "d-answer"), "BESTSHOT -0.300000 -31.000000 0");
    EXPECT_EQ(stonesShown(at5), inPlay(shotLines[5]));
    std::smatch total;
    ASSERT_TRUE(std::regex_search(record, total, std::regex("\"type\":\"result\".*\"player1\":(\\d+),\"player2\":(\\d+)")));
    EXPECT_EQ(cell(at5, "score-p1-total"), total[1].str());
    EXPECT_EQ(cell(at5, "score-p2-total"), total[2].str());
    EXPECT_NE(at5.find("result: "), std::string::npos);

    const std::string at6 = renderedDom(page, "#e0s6", dir);
    EXPECT_EQ(cell(at6, "d-shot"), "6");
    EXPECT_EQ(cell(at6, "d-player"), "player1");
    EXPECT_EQ(cell(at6, "d-answer"), "BESTSHOT 0.200000 -32.000000 0");
    EXPECT_EQ(stonesShown(at6), inPlay(shotLines[6]));
    EXPECT_NE(cell(at6, "d-noise"), cell(at5, "d-noise"));
}

}  // namespace
