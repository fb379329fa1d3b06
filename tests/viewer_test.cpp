// The match viewer: the page maker's checks of a record, and the page in a
// real browser (headless Chromium, skipped where it cannot run).
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support.h"
#include "viewer/page.h"

namespace {

const std::string BIN_DIR = KELVO_BIN_DIR;

using KelvoTest::readFile;
using KelvoTest::runShell;

using KelvoTest::shellQuote;

class Viewer : public ::testing::Test {
protected:
    // One recorded one-end match of scripted players, made once.
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/kelvo-viewer-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        const std::string player = shellQuote(BIN_DIR + "/kelvo-scripted-player") + " " + shellQuote(dir + "/p.log") +
                                   " fixed -0.99074,-29.559775,0 0.6,-29.3,1 -0.3,-31,0 0.2,-32,0";
        status = runShell(shellQuote(BIN_DIR + "/kelvo-server") + " --player1 " + shellQuote(player) + " --player2 " +
                          shellQuote(player) + " --seed 3 --record " + shellQuote(dir + "/record.jsonl") + " --html " +
                          shellQuote(dir + "/server.html") + " > " + shellQuote(dir + "/out.txt") + " 2>&1");
        record = readFile(dir + "/record.jsonl");
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // The record with every object changed by `edit`.
    template <typename Edit>
    static std::string edited(Edit edit) {
        std::istringstream in(record);
        std::string out, line;
        while (std::getline(in, line)) {
            nlohmann::json o = nlohmann::json::parse(line);
            edit(o);
            out += o.dump() + "\n";
        }
        return out;
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
    EXPECT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo-view") + " " + shellQuote(dir + "/bad.jsonl") + " > " +
                       shellQuote(dir + "/bad.html") + " 2> " + shellQuote(dir + "/bad.txt")),
              2);
    EXPECT_EQ(readFile(dir + "/bad.html"), "");
    EXPECT_NE(readFile(dir + "/bad.txt").find("line 5: \"shot\" is not a whole number from 0 to 15"),
              std::string::npos)
        << readFile(dir + "/bad.txt");
}

TEST_F(Viewer, TheToolAndTheServerMakeTheSamePageAndOldRecordsStillWork) {
    ASSERT_EQ(status, 0) << readFile(dir + "/out.txt");
    ASSERT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo-view") + " " + shellQuote(dir + "/record.jsonl") + " > " +
                       shellQuote(dir + "/view.html")),
              0);
    const std::string page = readFile(dir + "/view.html");
    EXPECT_EQ(page, readFile(dir + "/server.html"));
    // Self-contained: nothing is fetched from anywhere.
    EXPECT_EQ(page.find("src="), std::string::npos);
    EXPECT_EQ(page.find("href=\"http"), std::string::npos);
    EXPECT_NE(page.find("\"paths\""), std::string::npos);

    // Text from the record cannot close the page's script early.
    std::string html, error;
    ASSERT_TRUE(Kelvo::Viewer::matchPage(
        edited([](nlohmann::json& o) {
            if (o["type"] == "match")
                o["players"][0] = "</script><!--<script>";
        }),
        html, error))
        << error;
    EXPECT_EQ(html.find("</script><!--"), std::string::npos);
    EXPECT_EQ(html.find("</script>"), html.rfind("</script>"));

    // A record from before paths were kept.
    const std::string old = edited([](nlohmann::json& o) { o.erase("paths"); });
    ASSERT_EQ(old.find("\"paths\""), std::string::npos);
    EXPECT_TRUE(Kelvo::Viewer::matchPage(old, html, error)) << error;
}

// ---------------------------------------------------------------------------
// In the browser

// The page as Chromium renders it at the fragment, after its script ran.
std::string renderedDom(const std::string& page, const std::string& fragment, const std::string& dir) {
    const std::string out = dir + "/dom.html";
    const std::string cmd = "timeout 60 chromium --headless --no-sandbox --disable-gpu --dump-dom " +
                            shellQuote("file://" + page + fragment) + " > " + shellQuote(out) + " 2> /dev/null";
    return runShell(cmd) == 0 ? readFile(out) : std::string();
}

// The text of the element with the id (through a <b> around it).
std::string cell(const std::string& dom, const std::string& id) {
    size_t at = dom.find("id=\"" + id + "\"");
    if (at == std::string::npos || (at = dom.find('>', at)) == std::string::npos)
        return "(no " + id + ")";
    ++at;
    if (dom.compare(at, 3, "<b>") == 0)
        at += 3;
    return dom.substr(at, dom.find('<', at) - at);
}

size_t stonesShown(const std::string& dom) {
    size_t n = 0;
    for (size_t at = dom.find("class=\"stone\""); at != std::string::npos; at = dom.find("class=\"stone\"", at + 1))
        ++n;
    return n;
}

TEST_F(Viewer, ChromiumShowsTheShotAtTheFragmentAndStepsOn) {
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
    std::vector<nlohmann::json> shots;
    nlohmann::json result;
    while (std::getline(in, line)) {
        nlohmann::json o = nlohmann::json::parse(line);
        if (o["type"] == "shot")
            shots.push_back(o);
        else if (o["type"] == "result")
            result = o;
    }
    ASSERT_EQ(shots.size(), 16u);
    auto inPlay = [&](size_t shot) { return shots[shot]["stonesInPlay"].get<size_t>(); };

    EXPECT_EQ(cell(at5, "d-end"), "0");
    EXPECT_EQ(cell(at5, "d-shot"), "5");
    EXPECT_EQ(cell(at5, "d-player"), "player2");
    EXPECT_EQ(cell(at5, "d-answer"), "BESTSHOT -0.300000 -31.000000 0");
    EXPECT_EQ(stonesShown(at5), inPlay(5));
    EXPECT_EQ(cell(at5, "score-p1-total"), result["total"]["player1"].dump());
    EXPECT_EQ(cell(at5, "score-p2-total"), result["total"]["player2"].dump());
    EXPECT_NE(at5.find("result: "), std::string::npos);

    // Stepping: the next button, then the right arrow key, from shot 5.
    std::string stepped = readFile(page);
    const size_t body = stepped.rfind("</body>");
    ASSERT_NE(body, std::string::npos);
    stepped.insert(body, "<script>document.getElementById('next').click();"
                         "document.dispatchEvent(new KeyboardEvent('keydown', {key: 'ArrowRight'}));</script>");
    std::ofstream(dir + "/stepped.html") << stepped;
    const std::string at7 = renderedDom(dir + "/stepped.html", "#e0s5", dir);
    EXPECT_EQ(cell(at7, "d-shot"), "7");
    EXPECT_EQ(cell(at7, "d-player"), "player2");
    EXPECT_EQ(cell(at7, "d-answer"), "BESTSHOT 0.200000 -32.000000 0");
    EXPECT_EQ(cell(at7, "link"), "#e0s7");
    EXPECT_EQ(stonesShown(at7), inPlay(7));
    EXPECT_NE(cell(at7, "d-noise"), cell(at5, "d-noise"));
}

TEST_F(Viewer, ChromiumShowsAGameOfTheFcv1IceOnItsSheet) {
    if (runShell("command -v chromium > /dev/null") != 0)
        GTEST_SKIP() << "chromium is not installed (scripts/setup --checks installs it): the page is not rendered";
    // One end of two draw players on the Digital Curling 3 stand-in.
    const std::string client = BIN_DIR + "/kelvo-dc3 --player draw";
    ASSERT_EQ(runShell(shellQuote(BIN_DIR + "/kelvo-dc3-server") + " --client0 " + shellQuote(client) +
                       " --client1 " + shellQuote(client) + " --ends 1 --seed 4 --record " +
                       shellQuote(dir + "/fcv1.jsonl") + " --html " + shellQuote(dir + "/fcv1.html") + " > " +
                       shellQuote(dir + "/fcv1.txt") + " 2>&1"),
              0)
        << readFile(dir + "/fcv1.txt");
    nlohmann::json shot;
    std::istringstream in(readFile(dir + "/fcv1.jsonl"));
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json o = nlohmann::json::parse(line);
        if (o["type"] == "shot" && o["shot"] == 9)
            shot = o;
    }
    ASSERT_TRUE(shot.is_object());
    const std::string dom = renderedDom(dir + "/fcv1.html", "#e0s9", dir);
    if (dom.find("id=\"d-shot\"") == std::string::npos)
        GTEST_SKIP() << "chromium could not render the page here: " << dom.substr(0, 200);
    EXPECT_EQ(cell(dom, "d-shot"), "9");
    EXPECT_EQ(cell(dom, "d-player"), "team1");
    EXPECT_EQ(cell(dom, "d-answer").rfind(shot["selected"]["rotation"].get<std::string>() + " (", 0), 0u);
    EXPECT_EQ(cell(dom, "l-noise"), "actual move");
    // The stones in play show: (0, 0), where a stone off the sheet is kept, is out of play here.
    EXPECT_EQ(stonesShown(dom), shot["stonesInPlay"].get<size_t>());
    EXPECT_NE(dom.find("fcv1 ice"), std::string::npos);
}

}  // namespace
