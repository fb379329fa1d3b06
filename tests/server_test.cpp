// The stand-in game server: its rules and reply parsing as functions, the
// shot play with the free guard zone rule, and whole matches of the binary
// against scripted players that log every command they receive.
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "kelvosim/fcv1/fcv1shot.h"
#include "server/commands.h"
#include "kelvosim/classic/noise.h"
#include "kelvosim/fcv1/fcv1noise.h"
#include "referee/rules.h"
#include "referee/sheet.h"
#include "support.h"

namespace S = Kelvo::Server;
namespace R = Kelvo::Referee;

namespace {

// ---------------------------------------------------------------------------
// Rules

TEST(MatchRules, ShotOrderAndSignedScores) {
    EXPECT_EQ(R::sideOfShot(0, 0), 0);
    EXPECT_EQ(R::sideOfShot(0, 15), 1);
    EXPECT_EQ(R::sideOfShot(1, 0), 1);
    EXPECT_EQ(R::sideOfShot(1, 7), 0);
    // The count is positive for the side throwing first in the end.
    EXPECT_EQ(R::scoreForPlayer1(2, 0), 2);
    EXPECT_EQ(R::scoreForPlayer1(2, 1), -2);
    EXPECT_EQ(R::scoreForPlayer1(-1, 1), 1);
}

TEST(MatchRules, ScorerThrowsFirstAndBlankEndKeepsTheOrder) {
    EXPECT_EQ(R::firstSideOfNextEnd(0, 3), 0);
    EXPECT_EQ(R::firstSideOfNextEnd(1, 3), 0);
    EXPECT_EQ(R::firstSideOfNextEnd(0, -1), 1);
    EXPECT_EQ(R::firstSideOfNextEnd(0, 0), 0);
    EXPECT_EQ(R::firstSideOfNextEnd(1, 0), 1);
}

TEST(MatchRules, ExtraEndsWhileTiedUpToTheLimit) {
    EXPECT_TRUE(R::anotherEnd(0, 2, 5, 0));   // regular ends are all played
    EXPECT_FALSE(R::anotherEnd(1, 2, 1, 0));  // decided after the last one
    EXPECT_TRUE(R::anotherEnd(1, 2, 1, 1));   // tied: an extra end
    EXPECT_TRUE(R::anotherEnd(9, 1, 0, 0));   // past the ends the players keep
    EXPECT_TRUE(R::anotherEnd(9, 10, 2, 2));
    EXPECT_FALSE(R::anotherEnd(R::LAST_EXTRA_END_INDEX, 1, 0, 0));
    EXPECT_FALSE(R::anotherEnd(10, 10, 3, 2));
    EXPECT_EQ(R::finalEndOf(0, 3), 2);
    EXPECT_EQ(R::finalEndOf(2, 3), 2);
    EXPECT_EQ(R::finalEndOf(4, 3), 4);  // an extra end is the final one
    EXPECT_EQ(R::winnerOf(2, 1), R::Winner::Player1);
    EXPECT_EQ(R::winnerOf(0, 1), R::Winner::Player2);
    EXPECT_EQ(R::winnerOf(1, 1), R::Winner::Draw);
}

// The course every referee keeps: totals, the hammer, extra ends and the
// end of the game, with and without a last extra end.
TEST(MatchRules, GameCourseMovesTheHammerAndEndsTheGame) {
    R::GameCourse c = R::gameCourse(2, 3);
    EXPECT_EQ(R::finishEnd(c, 0, 2), -2);  // player 2 scores: throws first next
    EXPECT_EQ(c.firstSide, 1);
    EXPECT_EQ(c.end, 1);
    EXPECT_FALSE(c.over);
    R::finishEnd(c, 2, 0);  // tied after the regular ends: an extra end
    EXPECT_EQ(c.firstSide, 0);
    EXPECT_FALSE(c.over);
    R::finishEnd(c, 0, 0);  // blank: the order stays
    EXPECT_EQ(c.firstSide, 0);
    EXPECT_EQ(c.end, 3);
    R::finishEnd(c, 0, 0);  // still tied after the last extra end: a draw
    EXPECT_TRUE(c.over);
    EXPECT_EQ(c.end, 3);
    EXPECT_EQ(R::winnerOf(c), R::Winner::Draw);

    R::GameCourse open = R::gameCourse(1, R::NO_LAST_END);
    for (int i = 0; i < 30; ++i)
        R::finishEnd(open, 0, 0);
    EXPECT_FALSE(open.over);
    R::finishEnd(open, 0, 1);
    EXPECT_TRUE(open.over);
    EXPECT_EQ(R::winnerOf(open), R::Winner::Player2);

    int p1 = -1, p2 = -1;
    R::pointsOfCount(-2, 1, p1, p2);  // the side throwing second scores 2
    EXPECT_EQ(p1, 2);
    EXPECT_EQ(p2, 0);
}

// ---------------------------------------------------------------------------
// Replies

TEST(Replies, BestShotIsCompleteWithoutLineEndAndEveryPrefixWaits) {
    const std::string reply = "BESTSHOT 0.100000 -29.559999 1";
    S::BestShot shot;
    ASSERT_EQ(S::judgeBestShot(reply, &shot), S::ReadState::Complete);
    EXPECT_DOUBLE_EQ(shot.x, 0.1);
    EXPECT_DOUBLE_EQ(shot.y, -29.559999);
    EXPECT_EQ(shot.spin, 1);
    for (size_t n = 0; n < reply.size(); ++n)
        EXPECT_EQ(S::judgeBestShot(reply.substr(0, n)), S::ReadState::NeedMore) << reply.substr(0, n);
    EXPECT_EQ(S::judgeBestShot("  bestshot 1e-1 -2.9E1 0\r\n", &shot), S::ReadState::Complete);
    EXPECT_DOUBLE_EQ(shot.y, -29.0);
    EXPECT_EQ(shot.spin, 0);
    // A late reply and the next one, joined: the first is taken.
    EXPECT_EQ(S::judgeBestShot("BESTSHOT 0 -40 1BESTSHOT 0 -40 0", &shot), S::ReadState::Complete);
    EXPECT_EQ(shot.spin, 1);
    const S::BestShot thrown{0.5, -29.0, 1};
    EXPECT_EQ(S::toBoardShot(thrown).y, 29.0);  // forward is the negated server y
}

TEST(Replies, GarbageIsRejectedAsSoonAsItCannotBecomeAReply) {
    for (const char* text : {"HELLO", "BESTSHOTS", "BESTSHOT abc", "BESTSHOT 1 2 7", "BESTSHOT nan 1 0",
                             "BESTSHOT inf 1 0", "BESTSHOT 1 2 10", "BESTSHOT 1 2 0X", "BESTSHOT 1e 2 0", "BESTSHOT - 2 0",
                             "READYOK", "\x01\xff"})
        EXPECT_EQ(S::judgeBestShot(text), S::ReadState::Invalid) << text;
    EXPECT_EQ(S::judgeBestShot(std::string(300, ' ')), S::ReadState::Invalid);
    EXPECT_EQ(S::judgeReady("READY"), S::ReadState::NeedMore);
    EXPECT_EQ(S::judgeReady("readyok"), S::ReadState::Complete);
}

TEST(Replies, CommandsReadBackExactly) {
    R::Position p;
    p.xy[3][0] = 2.41234567f;
    p.xy[3][1] = 4.88f;
    const std::string line = S::positionCommand(p);
    std::istringstream words(line);
    std::string word;
    words >> word;
    EXPECT_EQ(word, "POSITION");
    std::vector<float> values;
    while (words >> word)
        values.push_back(std::strtof(word.c_str(), nullptr));
    ASSERT_EQ(values.size(), 32u);
    EXPECT_EQ(values[6], p.xy[3][0]);
    EXPECT_EQ(values[7], p.xy[3][1]);
    EXPECT_EQ(values[0], 0.0f);
    EXPECT_EQ(S::setStateCommand(3, 1, 8, 1), "SETSTATE 3 1 8 1");
    EXPECT_EQ(S::scoreCommand(-2), "SCORE -2");
}

// ---------------------------------------------------------------------------
// Noise

TEST(Noise, NoTargetErrorMeansNoChange) {
    const Kelvo::Vec2 d = Kelvo::velocityChange(0, 0);
    EXPECT_LT(std::fabs(d.x), 2e-7);
    EXPECT_LT(std::fabs(d.y), 2e-7);
}

TEST(Noise, SeededAndOfThePlayersSize) {
    Kelvo::TargetErrorNoise a(42), b(42), c(43);
    double sum = 0, sumSq = 0, sumDy = 0;
    const int n = 20000;
    bool differs = false;
    for (int i = 0; i < n; ++i) {
        const Kelvo::ThrowError x = a.next(), y = b.next(), z = c.next();
        ASSERT_EQ(x.dx, y.dx);
        ASSERT_EQ(x.dy, y.dy);
        differs = differs || x.dx != z.dx;
        sum += x.ex + x.ey;
        sumSq += x.ex * x.ex + x.ey * x.ey;
        sumDy += std::fabs(x.dy);
        const Kelvo::Vec2 d = Kelvo::velocityChange(x.ex, x.ey);
        EXPECT_EQ(d.x, x.dx);
    }
    EXPECT_TRUE(differs);
    EXPECT_NEAR(sum / (2 * n), 0.0, 0.005);
    EXPECT_NEAR(std::sqrt(sumSq / (2 * n)), 0.145, 0.004);
    // A 0.145 m length error of a 36 m draw is about 0.06 of forward speed.
    EXPECT_GT(sumDy / n, 0.02);
    EXPECT_LT(sumDy / n, 0.1);
}

// Every ice makes its referee's noise: a seed throws the same every time,
// the error moves the answer by its velocity change and the spin is kept.
TEST(Noise, TheIceMakesTheRefereesNoise) {
    for (const auto& [name, kind] : Kelvo::iceKindsByName()) {
        SCOPED_TRACE(name);
        const Kelvo::Ice& ice = Kelvo::sheetOf(kind);
        const bool classic = ice.noiseModel() == Kelvo::NoiseModel::TARGET_ERROR;
        // A draw to the tee as each protocol answers it; forward is -y on classic.
        const Kelvo::fMoveXY<double> answered = classic ? Kelvo::fMoveXY<double>{-0.99074, -29.559775, 1}
                                                        : Kelvo::fMoveXY<double>{0.1, 2.4, 1};
        const Kelvo::Fcv1PlayerNoise spread;
        const auto a = ice.refereeNoise(7, spread), b = ice.refereeNoise(7, spread);
        Kelvo::ThrowError ea, eb;
        const Kelvo::fMoveXY<double> ta = a->thrown(answered, ea), tb = b->thrown(answered, eb);
        EXPECT_EQ(ta.x, tb.x);
        EXPECT_EQ(ta.y, tb.y);
        EXPECT_NE(ea.dx, 0.0);
        EXPECT_EQ(ta.spin, 1);
        EXPECT_NEAR(ta.x, answered.x + ea.dx, 1e-6);
        EXPECT_NEAR(ta.y, (classic ? -answered.y : answered.y) + ea.dy, 1e-6);
    }
}

// ---------------------------------------------------------------------------
// Playing a shot

Kelvo::fMoveXY<double> shotOf(double x, double forward, int spin) {
    Kelvo::fMoveXY<double> s;
    s.x = x;
    s.y = forward;
    s.spin = spin;
    return s;
}

R::Position withStone(int slot, double X, double Y) {
    R::Position p;
    p.xy[slot][0] = float(X + Kelvo::FX_TEE);
    p.xy[slot][1] = float(Kelvo::FY_TEE - Y);
    return p;
}

TEST(PlayShot, StonesKeepTheirNumbers) {
    // A draw to the tee (spin 0, aimed 1.22 m to the side).
    const R::ShotOutcome draw = R::playShot(R::Position{}, 0, shotOf(-0.99073974, 29.559775, 0));
    ASSERT_TRUE(R::inPlay(draw.after, 0));
    EXPECT_EQ(R::stonesInPlay(draw.after), 1);
    const Kelvo::Vec2 rest = Kelvo::toBoardFrame(draw.after.xy[0][0], draw.after.xy[0][1]);
    EXPECT_LT(std::hypot(rest.x, rest.y), 0.5);
    // A stone thrown through the house leaves the other where it was.
    const R::ShotOutcome through = R::playShot(draw.after, 1, shotOf(0.8, 40, 1));
    EXPECT_EQ(through.change, 0);
    EXPECT_FALSE(through.voided);
    EXPECT_EQ(through.after.xy[0][0], draw.after.xy[0][0]);
    EXPECT_EQ(through.after.xy[0][1], draw.after.xy[0][1]);
    EXPECT_FALSE(R::inPlay(through.after, 1));
    EXPECT_EQ(R::countEnd(through.after), 1);
}

TEST(PlayShot, RemovingAProtectedGuardVoidsTheShot) {
    // A guard of the side throwing shot 0 well in front of the house.
    const R::Position guard = withStone(0, 0.0, -4.0);
    // Find a hard shot that takes it out when no rule protects it (shot 5).
    Kelvo::fMoveXY<double> takeout;
    bool found = false;
    for (int k = -60; k <= 60 && !found; ++k) {
        const Kelvo::fMoveXY<double> s = shotOf(k * 0.01, 31.0, 0);
        const R::ShotOutcome free = R::playShot(guard, 5, s);
        if (!R::inPlay(free.after, 0)) {
            takeout = s;
            found = true;
        }
    }
    ASSERT_TRUE(found);

    // Shot 1, by the other side: the guard is protected, the shot is void.
    const R::ShotOutcome protectedGuard = R::playShot(guard, 1, takeout);
    EXPECT_TRUE(protectedGuard.voided);
    EXPECT_EQ(protectedGuard.after.xy[0][0], guard.xy[0][0]);
    EXPECT_EQ(protectedGuard.after.xy[0][1], guard.xy[0][1]);
    EXPECT_EQ(R::stonesInPlay(protectedGuard.after), 1);

    // Shot 2, by the guard's own side: no protection, the guard goes.
    const R::ShotOutcome ownGuard = R::playShot(guard, 2, takeout);
    EXPECT_FALSE(ownGuard.voided);
    EXPECT_FALSE(R::inPlay(ownGuard.after, 0));
    EXPECT_NE(ownGuard.change, 0);
}

// ---------------------------------------------------------------------------
// Whole matches

const std::string BIN_DIR = KELVO_BIN_DIR;
const std::string DRAW = "-0.990740,-29.559775,0";  // to the tee
const std::string AWAY = "0,-40,0";                 // straight through, out of play

using KelvoTest::shellQuote;

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The words of a SETSTATE line as integers.
std::vector<int> setState(const std::string& line) {
    std::istringstream in(line.substr(9));
    std::vector<int> v;
    int n;
    while (in >> n)
        v.push_back(n);
    return v;
}

// One shot as a player saw it: the SETSTATE values and whether GO followed.
struct Seen {
    int shot, end, finalEnd, side;
    bool go;
};

// Checks the shape of a player's log (pid, NEWGAME, ISREADY, then POSITION
// and SETSTATE per shot with GO for its own, SCORE after each end, EOF) and
// returns the shots it saw and the scores it was sent.
void readLog(const std::vector<std::string>& log, std::vector<Seen>& seen, std::vector<int>& scores) {
    ASSERT_GE(log.size(), 3u);
    EXPECT_TRUE(startsWith(log[0], "pid "));
    EXPECT_EQ(log[1], "NEWGAME");
    EXPECT_EQ(log[2], "ISREADY");
    for (size_t i = 3; i < log.size(); ++i) {
        const std::string& l = log[i];
        if (startsWith(l, "POSITION ")) {
            std::istringstream words(l);
            std::string w;
            int n = -1;
            while (words >> w)
                ++n;
            EXPECT_EQ(n, 32) << l;
            ASSERT_LT(i + 1, log.size());
            ASSERT_TRUE(startsWith(log[i + 1], "SETSTATE ")) << log[i + 1];
            const std::vector<int> v = setState(log[i + 1]);
            ASSERT_EQ(v.size(), 4u);
            const bool go = i + 2 < log.size() && log[i + 2] == "GO";
            seen.push_back({v[0], v[1], v[2], v[3], go});
            i += go ? 2 : 1;
        } else if (startsWith(l, "SCORE ")) {
            scores.push_back(std::atoi(l.c_str() + 6));
        } else {
            EXPECT_TRUE(l == "EOF" && i + 1 == log.size()) << "unexpected line " << i << ": " << l;
        }
    }
}

// Parses every record line as JSON, checks the order of the objects, and
// that every picture is well-formed XML showing as many stones as the record
// has in play. Prints the number of pictures checked.
const char* const RECORD_CHECK = R"PY(
import json, sys, os, xml.etree.ElementTree as ET
rec, svgdir = sys.argv[1], sys.argv[2]
objs = [json.loads(l) for l in open(rec, encoding='utf-8')]
assert objs[0]['type'] == 'match', objs[0]
assert objs[-1]['type'] == 'result', objs[-1]
shots = 0
pictures = 0
struck = 0
for o in objs[1:-1]:
    assert o['type'] in ('shot', 'end'), o
    assert len(o['position']) == 16 and all(len(p) == 2 for p in o['position'])
    if o['type'] == 'shot':
        assert o['shot'] == shots % 16, (o['shot'], shots)
        shots += 1
        assert o['outcome'] in ('thrown', 'timeout', 'invalid', 'died')
        assert o['sent'][o['player']][-1] == 'GO'
        if o['outcome'] == 'thrown':
            assert set(o['noise']) == {'ex', 'ey', 'dx', 'dy'}
            # Paths: the thrown stone first, from the throw point; points
            # at most 0.05 m apart (plus the record's rounding), in time
            # order, ending where a stone in play rests.
            paths = o['paths']
            assert paths[0]['stone'] == o['shot'] and paths[0]['points'][0][:2] == [2.375, 41.28], paths[0]
            for p in paths:
                pts = p['points']
                assert len(pts) >= 2
                for a, b in zip(pts, pts[1:]):
                    assert ((a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2) ** 0.5 <= 0.0515, (o['shot'], p['stone'], a, b)
                    assert a[2] <= b[2]
                rest = o['position'][p['stone']]
                if rest != [0, 0] and not o['void']:
                    assert abs(pts[-1][0] - rest[0]) < 0.002 and abs(pts[-1][1] - rest[1]) < 0.002, (p, rest)
            struck += len(paths) > 1
    else:
        assert shots % 16 == 0 and shots > 0
    root = ET.parse(os.path.join(svgdir, o['picture'])).getroot()
    stones = root.findall('.//{http://www.w3.org/2000/svg}g[@class="stone"]')
    assert len(stones) == o['stonesInPlay'], (o['picture'], len(stones), o['stonesInPlay'])
    pictures += 1
assert pictures == len([f for f in os.listdir(svgdir) if f.endswith('.svg')])
assert struck > 0, 'no shot moved another stone'
print(pictures)
)PY";

class ServerMatch : public KelvoTest::TempDirTest {
protected:
    std::string player(const std::string& log, const std::string& mode, const std::string& shot) const {
        return shellQuote(BIN_DIR + "/kelvo-scripted-player") + " " + shellQuote(dir + "/" + log) + " " + mode + " " +
               shot;
    }

    // Runs the server; returns its exit status and keeps what it printed.
    int run(const std::string& p1, const std::string& p2, const std::string& extra) {
        const std::string cmd = shellQuote(BIN_DIR + "/kelvo-server") + " --player1 " + shellQuote(p1) + " --player2 " +
                                shellQuote(p2) + " " + extra + " > " + shellQuote(dir + "/out.txt") + " 2>&1";
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(cmd.c_str());
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        out = KelvoTest::readFile(dir + "/out.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Runs the record and picture check; returns its last line of output.
    std::string checkRecord(const std::string& recordPath, const std::string& svgDir, int& status) const {
        const std::string script = dir + "/check.py";
        std::ofstream(script) << RECORD_CHECK;
        const std::string cmd = "python3 " + shellQuote(script) + " " + shellQuote(recordPath) + " " +
                                shellQuote(svgDir) + " > " + shellQuote(dir + "/check.txt") + " 2>&1";
        status = std::system(cmd.c_str());
        const std::vector<std::string> lines = readLines(dir + "/check.txt");
        return lines.empty() ? "" : lines.back();
    }

    std::string record() const { return KelvoTest::readFile(dir + "/record.jsonl"); }

    std::string out;
    double seconds = 0;
};


TEST_F(ServerMatch, CommandSequenceScoringHammerRecordAndPictures) {
    const std::string recordPath = dir + "/record.jsonl", svgDir = dir + "/pictures";
    ASSERT_EQ(run(player("p1.log", "fixed", DRAW), player("p2.log", "fixed", AWAY),
                  "--ends 2 --seed 11 --time-limit 5 --record " + shellQuote(recordPath) + " --svg-dir " +
                      shellQuote(svgDir)),
              0)
        << out;
    EXPECT_NE(out.find("seed 11"), std::string::npos);
    EXPECT_NE(out.find(", step 0.00015625 s\n"), std::string::npos) << out;
    EXPECT_NE(out.find("result: player1 wins"), std::string::npos) << out;

    std::vector<Seen> seen[2];
    std::vector<int> scores[2];
    for (int p = 0; p < 2; ++p)
        readLog(readLines(dir + (p == 0 ? "/p1.log" : "/p2.log")), seen[p], scores[p]);
    for (int p = 0; p < 2; ++p) {
        ASSERT_EQ(seen[p].size(), 32u);
        for (size_t k = 0; k < 32; ++k) {
            const Seen& s = seen[p][k];
            EXPECT_EQ(s.shot, int(k % 16));
            EXPECT_EQ(s.end, int(k / 16));
            EXPECT_EQ(s.finalEnd, 1);
            EXPECT_EQ(s.side, p);
            // Player 1 scores end 0 with every stone (player 2 throws its
            // away), so it throws first in end 1 as well.
            EXPECT_EQ(s.go, (s.shot % 2 == 0) == (p == 0)) << "player " << p + 1 << " shot " << k;
        }
        ASSERT_EQ(scores[p].size(), 2u);
        EXPECT_GT(scores[p][0], 0);
        EXPECT_GT(scores[p][1], 0);
    }
    EXPECT_EQ(scores[0], scores[1]);
    // Shot 0 sees an empty sheet, shot 1 the stone of shot 0.
    const std::vector<std::string> log2 = readLines(dir + "/p2.log");
    EXPECT_EQ(log2[3], "POSITION 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
    EXPECT_FALSE(startsWith(log2[5], "POSITION 0 0 ")) << log2[5];

    int status = 0;
    const std::string checked = checkRecord(recordPath, svgDir, status);
    ASSERT_EQ(status, 0) << checked;
    EXPECT_EQ(checked, "34");  // 32 shots and 2 ends
    EXPECT_EQ(countOf(record(), "\"outcome\":\"thrown\""), 32u);
    EXPECT_EQ(countOf(record(), "\"step\":0.000156249997,"), 1u);
}

TEST_F(ServerMatch, BlankEndsKeepTheOrderAndTiesGoToExtraEndsUpToTheLimit) {
    ASSERT_EQ(run(player("p1.log", "fixed", AWAY), player("p2.log", "fixed", AWAY), "--ends 1 --seed 3 --step 0.01"), 0) << out;
    EXPECT_NE(out.find(", step 0.01 s\n"), std::string::npos) << out;
    std::vector<Seen> seen;
    std::vector<int> scores;
    readLog(readLines(dir + "/p1.log"), seen, scores);
    const size_t ends = R::LAST_EXTRA_END_INDEX + 1;
    ASSERT_EQ(seen.size(), 16 * ends);
    for (size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k].end, int(k / 16));
        EXPECT_EQ(seen[k].finalEnd, int(k / 16));  // each extra end is the final one
        EXPECT_EQ(seen[k].go, seen[k].shot % 2 == 0);
    }
    EXPECT_EQ(scores, std::vector<int>(ends, 0));
    EXPECT_NE(out.find("extra ends up to end index " + std::to_string(R::LAST_EXTRA_END_INDEX)), std::string::npos);
    EXPECT_NE(out.find("end " + std::to_string(R::LAST_EXTRA_END_INDEX) + " (extra end)"), std::string::npos);
    EXPECT_NE(out.find("result: draw"), std::string::npos) << out;
}

TEST_F(ServerMatch, TheSideThatScoresThrowsFirstInTheNextEnd) {
    const std::string recordPath = dir + "/record.jsonl";
    ASSERT_EQ(run(player("p1.log", "fixed", AWAY), player("p2.log", "fixed", DRAW),
                  "--ends 2 --seed 5 --record " + shellQuote(recordPath)),
              0)
        << out;
    std::vector<Seen> seen;
    std::vector<int> scores;
    readLog(readLines(dir + "/p2.log"), seen, scores);
    ASSERT_EQ(seen.size(), 32u);
    for (size_t k = 0; k < 32; ++k)
        EXPECT_EQ(seen[k].go, k < 16 ? seen[k].shot % 2 == 1 : seen[k].shot % 2 == 0) << k;
    ASSERT_EQ(scores.size(), 2u);
    EXPECT_LT(scores[0], 0);  // signed from player 1's view
    EXPECT_LT(scores[1], 0);
    EXPECT_NE(out.find("result: player2 wins"), std::string::npos) << out;
    EXPECT_NE(record().find("\"first\":\"player2\""), std::string::npos);
}

TEST_F(ServerMatch, GarbageLosesTheShotAtOnceAndPiecemealRepliesAreRead) {
    const std::string recordPath = dir + "/record.jsonl", svgDir = dir + "/pictures";
    ASSERT_EQ(run(player("p1.log", "trickle", DRAW), player("p2.log", "garbage", DRAW),
                  "--seed 8 --time-limit 5 --record " + shellQuote(recordPath) + " --svg-dir " + shellQuote(svgDir)),
              0)
        << out;
    // Not one wait ran into the limit.
    EXPECT_LT(seconds, 5.0);
    const std::string rec = record();
    EXPECT_EQ(countOf(rec, "\"outcome\":\"invalid\""), 8u);
    EXPECT_EQ(countOf(rec, "\"outcome\":\"thrown\""), 8u);
    EXPECT_EQ(countOf(out, "not a BESTSHOT reply"), 8u);
    EXPECT_NE(out.find("result: player1 wins"), std::string::npos) << out;
    // The raw garbage bytes still make valid JSON and the pictures hold.
    int status = 0;
    const std::string checked = checkRecord(recordPath, svgDir, status);
    EXPECT_EQ(status, 0) << checked;
}

TEST_F(ServerMatch, ALateAnswerLosesTheShotAndTheMatchGoesOn) {
    const std::string recordPath = dir + "/record.jsonl";
    ASSERT_EQ(run(player("p1.log", "fixed", DRAW), player("p2.log", "sleep:1500", AWAY),
                  "--seed 9 --time-limit 1 --record " + shellQuote(recordPath)),
              0)
        << out;
    const std::string rec = record();
    EXPECT_EQ(countOf(rec, "\"outcome\":\"timeout\""), 1u);
    EXPECT_NE(rec.find("\"shot\":1,\"player\":\"player2\""), std::string::npos);
    EXPECT_EQ(countOf(rec, "\"outcome\":\"thrown\""), 15u);
    EXPECT_NE(out.find("no answer within 1 s: shot lost"), std::string::npos) << out;
    EXPECT_NE(out.find("result: "), std::string::npos) << out;
}

TEST_F(ServerMatch, AReadyokOwedFromASlowStartIsNotTakenForTheShot) {
    // Player 1 starts too slowly for the handshake; its READYOK comes in
    // front of its first BESTSHOT, which still counts.
    const std::string recordPath = dir + "/record.jsonl";
    ASSERT_EQ(run(player("p1.log", "slowstart:1300", DRAW), player("p2.log", "fixed", AWAY),
                  "--seed 9 --time-limit 1 --record " + shellQuote(recordPath)),
              0)
        << out;
    EXPECT_NE(out.find("player1 did not answer ISREADY"), std::string::npos) << out;
    const std::string rec = record();
    EXPECT_EQ(countOf(rec, "\"outcome\":\"thrown\""), 16u) << out;
    EXPECT_EQ(countOf(rec, "\"reply\":\"READYOKBESTSHOT"), 1u);
}

TEST_F(ServerMatch, APlayerThatDiesForfeitsAndTheOtherIsEnded) {
    const std::string recordPath = dir + "/record.jsonl";
    ASSERT_EQ(run(player("p1.log", "fixed", DRAW), player("p2.log", "exit", DRAW),
                  "--ends 3 --record " + shellQuote(recordPath)),
              0)
        << out;
    EXPECT_NE(out.find("player2 died (exited with status 3)"), std::string::npos) << out;
    EXPECT_NE(out.find("result: player1 wins by forfeit"), std::string::npos) << out;
    const std::string rec = record();
    EXPECT_EQ(countOf(rec, "\"outcome\":\"died\""), 1u);
    EXPECT_NE(rec.find("\"forfeit\":\"player2\""), std::string::npos);
    // Player 1 saw its input closed and is gone.
    const std::vector<std::string> log1 = readLines(dir + "/p1.log");
    ASSERT_FALSE(log1.empty());
    EXPECT_EQ(log1.back(), "EOF");
    const int pid1 = std::atoi(log1[0].c_str() + 4);
    EXPECT_NE(kill(pid1, 0), 0);

    // A command that cannot run is a player that died before the first shot.
    ASSERT_EQ(run(player("p3.log", "fixed", DRAW), dir + "/no-such-player", ""), 0) << out;
    EXPECT_NE(out.find("player2 died (exited with status 127)"), std::string::npos) << out;
    EXPECT_NE(out.find("result: player1 wins by forfeit"), std::string::npos) << out;
    EXPECT_EQ(out.find("shot  0"), std::string::npos) << out;
}

TEST_F(ServerMatch, APlayerThatNeverAnswersLosesEveryShotAndIsKilledAtTheEnd) {
    const std::string pidFile = dir + "/silent.pid";
    const std::string silent = "echo $$ > " + shellQuote(pidFile) + "; exec sleep 60";
    ASSERT_EQ(run(player("p1.log", "fixed", DRAW), silent, "--time-limit 0.2"), 0) << out;
    EXPECT_NE(out.find("player2 did not answer ISREADY"), std::string::npos) << out;
    EXPECT_EQ(countOf(out, "no answer within 0.2 s: shot lost"), 8u) << out;
    EXPECT_NE(out.find("result: player1 wins"), std::string::npos) << out;
    const std::vector<std::string> pid = readLines(pidFile);
    ASSERT_EQ(pid.size(), 1u);
    EXPECT_NE(kill(std::atoi(pid[0].c_str()), 0), 0);
}

// Running: the process exists and is no zombie (the players' parent is
// gone, so their exit is reaped by whoever adopted them).
bool running(pid_t pid) {
    if (pid <= 0 || kill(pid, 0) != 0)
        return false;
    const std::string stat = KelvoTest::readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return paren == std::string::npos || stat.compare(paren, 4, ") Z ") != 0;
}

TEST_F(ServerMatch, StoppingTheServerEndsBothPlayersAndWhatTheyStarted) {
    for (const int sig : {SIGINT, SIGTERM}) {
        // Each player leaves a process of its own behind in its group; player
        // 2 keeps the match waiting for its first answer.
        std::string p[2];
        for (int i = 0; i < 2; ++i) {
            const std::string n = std::to_string(i + 1) + "-" + std::to_string(sig);
            p[i] = "sleep 300 & echo $! > " + shellQuote(dir + "/child" + n) + "; exec " +
                   player("p" + n + ".log", i == 0 ? "fixed" : "sleep:300000", i == 0 ? DRAW : AWAY);
        }
        const std::string log2 = dir + "/p2-" + std::to_string(sig) + ".log";
        std::fflush(stdout);  // the child would write out what is buffered again
        const pid_t server = fork();
        ASSERT_GE(server, 0);
        if (server == 0) {
            const std::string output = dir + "/out-" + std::to_string(sig) + ".txt";
            freopen(output.c_str(), "w", stdout);
            execl((BIN_DIR + "/kelvo-server").c_str(), "kelvo-server", "--player1", p[0].c_str(), "--player2",
                  p[1].c_str(), "--time-limit", "600", static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (countOf(KelvoTest::readFile(log2), "\nGO\n") == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        kill(server, sig);
        int status = 0;
        waitpid(server, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << strsignal(sig);
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);

        std::vector<pid_t> pids;
        for (int i = 0; i < 2; ++i) {
            const std::string n = std::to_string(i + 1) + "-" + std::to_string(sig);
            const std::vector<std::string> log = readLines(dir + "/p" + n + ".log");
            ASSERT_FALSE(log.empty()) << n;
            pids.push_back(std::atoi(log[0].c_str() + 4));
            pids.push_back(std::atoi(KelvoTest::readFile(dir + "/child" + n).c_str()));
        }
        // SIGKILL went to both groups before the server left; give the
        // kernel a moment to finish them.
        const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        auto left = [&] {
            std::string text;
            for (pid_t pid : pids)
                if (running(pid))
                    text += " " + std::to_string(pid);
            return text;
        };
        while (!left().empty() && std::chrono::steady_clock::now() < gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(left(), "") << strsignal(sig) << ": still running";
        std::printf("%s: server exited with status %d; players %d, %d and their children %d, %d: none left\n",
                    strsignal(sig), WEXITSTATUS(status), pids[0], pids[2], pids[1], pids[3]);
        for (pid_t pid : pids)
            EXPECT_GT(pid, 0);
    }
}

TEST_F(ServerMatch, BadOptionsAreRefused) {
    EXPECT_EQ(run("true", "true", "--ends 11"), 2);
    EXPECT_NE(out.find("--ends"), std::string::npos);
    EXPECT_EQ(run("true", "true", "--time-limit 0"), 2);
    EXPECT_EQ(run("true", "true", "--bogus 1"), 2);
    // A bad step starts nothing and says so in one line.
    const std::string started = dir + "/started";
    for (const char* step : {"--step 0", "--step 0.0101", "--step -1", "--step abc", "--step 1e-60", "--step"}) {
        EXPECT_EQ(run("touch " + shellQuote(started), "true", step), 2) << step;
        EXPECT_NE(out.find("--step"), std::string::npos) << out;
        EXPECT_EQ(countOf(out, "\n"), 1u) << out;
    }
    EXPECT_FALSE(std::filesystem::exists(started));
}

}  // namespace

// ---------------------------------------------------------------------------
// The fcv1 ice

namespace {

R::Position fcv1Position(std::initializer_list<std::tuple<int, float, float>> stones) {
    R::Position p;
    p.ice = Kelvo::IceKind::FCV1;
    for (const auto& [i, x, y] : stones) {
        p.xy[i][0] = x;
        p.xy[i][1] = y;
    }
    return p;
}

TEST(Fcv1Sheet, AKnockedOutGuardIsAFoulAndTheCountIsFromTheFirstThrower) {
    // Player 1's guard (stone 0) in the free guard zone, player 2 (shot 1)
    // takes it out at peel weight: the position stays, the thrown stone goes.
    const R::Position before = fcv1Position({{0, 0.0f, 35.0f}});
    const R::ShotOutcome foul = R::playShot(before, 1, Kelvo::shotOfFcv1Move(Kelvo::Fcv1Move{0.045f, 3.9f, true}), Kelvo::REFERENCE_DT, 0);
    EXPECT_TRUE(foul.voided);
    EXPECT_EQ(foul.after.xy[0][1], 35.0f);
    EXPECT_FALSE(R::inPlay(foul.after, 1));
    EXPECT_FALSE(foul.paths.empty());
    // From shot 5 on the same hit is allowed.
    const R::ShotOutcome hit = R::playShot(before, 5, Kelvo::shotOfFcv1Move(Kelvo::Fcv1Move{0.045f, 3.9f, true}), Kelvo::REFERENCE_DT, 0);
    EXPECT_FALSE(hit.voided);
    EXPECT_FALSE(R::inPlay(hit.after, 0));

    // Stone 1 (second thrower) on the tee, stone 0 behind it: -1 for the
    // side that threw first; stone 2 nearer still makes it +1.
    EXPECT_EQ(R::countEnd(fcv1Position({{1, 0.0f, 38.405f}, {0, 0.5f, 39.0f}})), -1);
    EXPECT_EQ(R::countEnd(fcv1Position({{1, 0.2f, 38.405f}, {2, 0.0f, 38.4f}})), 1);
    // Short of the hog line is not in play.
    EXPECT_FALSE(R::inPlay(fcv1Position({{3, 0.0f, 32.1f}}), 3));
    EXPECT_TRUE(R::inPlay(fcv1Position({{3, 0.0f, 32.2f}}), 3));
}

}  // namespace

TEST_F(ServerMatch, AnFcv1MatchIsPlayedInTheShotFrameWithItsNoise) {
    const std::string recordPath = dir + "/record.jsonl";
    // Draws to the tee from both sides, each curling in from its own side.
    ASSERT_EQ(run(player("p1.log", "fixed", "0.131729,2.399838,1"), player("p2.log", "fixed", "-0.131729,2.399838,0"),
                  "--ice fcv1 --seed 5 --time-limit 5 --record " + shellQuote(recordPath) + " --svg-dir " +
                      shellQuote(dir + "/pictures")),
              0)
        << out;
    EXPECT_NE(out.find("fcv1 ice, noise 0.0076 m/s 0.0018 rad"), std::string::npos) << out;
    EXPECT_NE(out.find("end 0 shot  0 player1  BESTSHOT 0.131729 2.399838 1"), std::string::npos) << out;
    EXPECT_NE(out.find("result: "), std::string::npos) << out;
    // Every draw stays in play near the tee, and the record says which ice.
    EXPECT_EQ(countOf(out, "out of play"), 0u) << out;
    EXPECT_EQ(countOf(record(), "\"ice\":\"fcv1\""), 1u);
    EXPECT_NE(KelvoTest::readFile(dir + "/pictures/e00-end.svg").find("hog-line"), std::string::npos);
    // Options of the other ice are refused.
    EXPECT_EQ(run("true", "true", "--ice fcv1 --step 0.01"), 2);
    EXPECT_EQ(run("true", "true", "--noise-speed 0.01"), 2);
    EXPECT_EQ(run("true", "true", "--ice ice"), 2);
}
