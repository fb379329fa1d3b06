#include "match.h"

#include <chrono>
#include <cinttypes>
#include <memory>

#include "commands.h"
#include "process.h"
#include "record.h"
#include "referee/rules.h"
#include "referee/sheet.h"
#include "referee/svg.h"
#include "viewer/page.h"

namespace Kelvo::Server {

using namespace Referee;

namespace {

using Clock = std::chrono::steady_clock;

const char* const NAME[2] = {"player1", "player2"};
// How long a player gets to leave by itself once its input is closed.
constexpr double STOP_GRACE_SECONDS = 1.0;

std::string twoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

class Match {
public:
    Match(const MatchOptions& options, FILE* out)
        : options_(options),
          out_(out),
          noise_(sheetOf(options.ice).refereeNoise(options.seed, options.fcv1Noise)),
          course_(gameCourse(options.ends)) {}
    ~Match() { stopPlayers(); }

    int run();

private:
    bool startPlayers();
    void handshake();
    // Plays the course's end and scores it; false when a player died.
    bool playEnd();
    void playShot(int end, int shot, int firstSide, Position& position);
    void printShot(const ShotEntry& e);
    bool noteDeaths();  // true once somebody has died
    void finish();
    bool writePage();
    void stopPlayers();
    std::string picture(const std::string& name, const Position& position, int firstSide, const std::string& title);

    const MatchOptions& options_;
    FILE* out_;
    PlayerProcess players_[2];
    bool dead_[2] = {false, false};
    // A player that did not answer ISREADY in time may still write READYOK
    // in front of its first reply to GO.
    bool owesReady_[2] = {false, false};
    std::unique_ptr<ThrowNoise> noise_;
    RecordWriter record_;
    GameCourse course_;
    int endsPlayed_ = 0;
};

int Match::run() {
    std::fprintf(out_, "kelvo-server: seed %" PRIu64 " (replay with --seed %" PRIu64 "), %d end%s, %g s per shot, ",
                 options_.seed, options_.seed, options_.ends, options_.ends == 1 ? "" : "s", options_.timeLimit);
    if (sheetOf(options_.ice).noiseModel() == NoiseModel::SPEED_AND_ANGLE)
        std::fprintf(out_, "%s ice, noise %g m/s %g rad\n", iceName(options_.ice),
                     double(options_.fcv1Noise.stddevSpeed), double(options_.fcv1Noise.stddevAngle));
    else
        std::fprintf(out_, "step %g s\n", options_.step);
    for (int p = 0; p < 2; ++p)
        std::fprintf(out_, "%s: %s\n", NAME[p], options_.player[p].c_str());
    std::fprintf(out_, "a tie goes on with extra ends up to end index %d, then it is a draw\n", LAST_EXTRA_END_INDEX);
    if (!options_.recordPath.empty() && !record_.open(options_.recordPath)) {
        std::fprintf(out_, "cannot write the record %s\n", options_.recordPath.c_str());
        return 1;
    }
    if (!options_.htmlPath.empty()) {
        // Checked before the match, so a page that cannot be written is
        // known before anybody waits for it.
        if (!writeTextFile(options_.htmlPath, "")) {
            std::fprintf(out_, "cannot write the page %s\n", options_.htmlPath.c_str());
            return 1;
        }
        record_.keepLines();
    }
    if (!startPlayers())
        return 1;
    handshake();
    bool playing = !noteDeaths();
    while (playing && !course_.over)
        playing = playEnd();
    finish();
    return writePage() ? 0 : 1;
}

bool Match::writePage() {
    if (options_.htmlPath.empty())
        return true;
    std::string html, error;
    if (!Viewer::matchPage(record_.keptLines(), html, error) || !writeTextFile(options_.htmlPath, html)) {
        std::fprintf(out_, "cannot write the page %s%s%s\n", options_.htmlPath.c_str(), error.empty() ? "" : ": ",
                     error.c_str());
        return false;
    }
    std::fprintf(out_, "page: %s\n", options_.htmlPath.c_str());
    return true;
}

bool Match::startPlayers() {
    for (int p = 0; p < 2; ++p)
        if (!players_[p].start(options_.player[p])) {
            std::fprintf(out_, "cannot start %s\n", NAME[p]);
            return false;
        }
    return true;
}

void Match::handshake() {
    MatchEntry entry;
    for (int p = 0; p < 2; ++p) {
        entry.players[p] = options_.player[p];
        for (const char* command : {"NEWGAME", "ISREADY"}) {
            players_[p].send(command);
            entry.sent[p].push_back(command);
        }
    }
    for (int p = 0; p < 2; ++p) {
        const WaitResult r = players_[p].waitFor(judgeReady, options_.timeLimit, entry.ready[p]);
        // A player that is slow to get ready still plays; it may lose shots.
        owesReady_[p] = r == WaitResult::TimedOut;
        if (r == WaitResult::TimedOut)
            std::fprintf(out_, "%s did not answer ISREADY within %g s\n", NAME[p], options_.timeLimit);
        else if (r == WaitResult::Invalid)
            std::fprintf(out_, "%s answered ISREADY with \"%s\"\n", NAME[p], printable(entry.ready[p]).c_str());
    }
    entry.seed = options_.seed;
    entry.ends = options_.ends;
    entry.timeLimit = options_.timeLimit;
    entry.step = options_.step;
    entry.ice = options_.ice;
    entry.fcv1Noise = options_.fcv1Noise;
    record_.write(entry);
    std::fflush(out_);
}

bool Match::noteDeaths() {
    for (int p = 0; p < 2; ++p)
        if (!dead_[p] && !players_[p].alive()) {
            dead_[p] = true;
            // Reaped (or ended) now, so the message can say how it went.
            players_[p].stop(0.5);
            std::fprintf(out_, "%s died (%s)\n", NAME[p], players_[p].howItDied().c_str());
        }
    return dead_[0] || dead_[1];
}

std::string Match::picture(const std::string& name, const Position& position, int firstSide,
                           const std::string& title) {
    if (options_.svgDir.empty())
        return "";
    if (!writeTextFile(options_.svgDir, name, houseSvg(position, firstSide, title))) {
        std::fprintf(out_, "cannot write %s/%s\n", options_.svgDir.c_str(), name.c_str());
        return "";
    }
    return name;
}

bool Match::playEnd() {
    const int end = course_.end, firstSide = course_.firstSide;
    std::fprintf(out_, "end %d%s: %s throws first\n", end, end >= options_.ends ? " (extra end)" : "",
                 NAME[firstSide]);
    Position position;
    position.ice = options_.ice;
    for (int shot = 0; shot < SHOTS_PER_END; ++shot) {
        playShot(end, shot, firstSide, position);
        if (noteDeaths())
            return false;
    }

    EndEntry entry;
    entry.end = end;
    int points1 = 0, points2 = 0;
    pointsOfCount(countEnd(position), firstSide, points1, points2);
    entry.score = finishEnd(course_, points1, points2);
    entry.command = scoreCommand(entry.score);
    for (int p = 0; p < 2; ++p)
        players_[p].send(entry.command);
    ++endsPlayed_;
    entry.total[0] = course_.total[0];
    entry.total[1] = course_.total[1];
    entry.firstSide = firstSide;
    entry.nextFirstSide = course_.firstSide;
    entry.position = position;
    const std::string scored = entry.score == 0 ? std::string("blank end")
                                                : std::string(NAME[entry.score > 0 ? 0 : 1]) + " scores " +
                                                      std::to_string(entry.score > 0 ? entry.score : -entry.score);
    char title[160];
    std::snprintf(title, sizeof title, "end %d finished: %s; player1 %d : %d player2", end, scored.c_str(),
                  course_.total[0], course_.total[1]);
    entry.picture = picture("e" + twoDigits(end) + "-end.svg", position, firstSide, title);
    record_.write(entry);
    std::fprintf(out_, "end %d: %s; match player1 %d : %d player2\n", end, scored.c_str(), course_.total[0],
                 course_.total[1]);
    std::fflush(out_);
    return true;
}

void Match::playShot(int end, int shot, int firstSide, Position& position) {
    ShotEntry e;
    e.end = end;
    e.shot = shot;
    e.side = sideOfShot(firstSide, shot);
    const int finalEnd = finalEndOf(end, options_.ends);
    for (int p = 0; p < 2; ++p) {
        // The side flag tells each player whether it is player 1 (0), the side
        // from whose view the SCORE values are signed, or player 2 (1).
        e.sent[p] = {positionCommand(position), setStateCommand(shot, end, finalEnd, p)};
        for (const std::string& line : e.sent[p])
            players_[p].send(line);
    }
    PlayerProcess& mover = players_[e.side];
    mover.discardPending();
    mover.send("GO");
    e.sent[e.side].push_back("GO");

    const auto start = Clock::now();
    const bool owesReady = owesReady_[e.side];
    auto judge = [owesReady](const std::string& text, BestShot* shot = nullptr) {
        return owesReady ? judgeBestShotAfterReady(text, shot) : judgeBestShot(text, shot);
    };
    const WaitResult r = mover.waitFor([&](const std::string& text) { return judge(text); }, options_.timeLimit, e.reply);
    e.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Whatever came, the handshake's answer is no longer expected after it.
    owesReady_[e.side] = false;
    switch (r) {
    case WaitResult::Complete: {
        judge(e.reply, &e.answered);
        const fMoveXY<double> answered{e.answered.x, e.answered.y, e.answered.spin};
        const ThrownShot played = throwShot(position, shot, end, answered, *noise_, options_.step);
        e.noise = played.noise;
        e.thrown = played.thrown;
        position = played.outcome.after;
        e.voided = played.outcome.voided;
        e.paths = played.outcome.paths;
        e.outcome = "thrown";
        break;
    }
    case WaitResult::Invalid: e.outcome = "invalid"; break;
    case WaitResult::TimedOut: e.outcome = "timeout"; break;
    case WaitResult::Died: e.outcome = "died"; break;
    }
    e.after = position;
    char title[160];
    std::snprintf(title, sizeof title, "end %d after shot %d (%s); player1 %d : %d player2", end, shot,
                  NAME[e.side], course_.total[0], course_.total[1]);
    e.picture = picture("e" + twoDigits(end) + "-s" + twoDigits(shot) + ".svg", position, firstSide, title);
    record_.write(e);
    printShot(e);
}

void Match::printShot(const ShotEntry& e) {
    std::fprintf(out_, "end %d shot %2d %s  ", e.end, e.shot, NAME[e.side]);
    if (e.outcome == "thrown") {
        std::fprintf(out_, "BESTSHOT %f %f %d  noise %+.4f %+.4f  ", e.answered.x, e.answered.y, e.answered.spin,
                     e.noise.dx, e.noise.dy);
        if (e.voided)
            std::fprintf(out_, "void (free guard zone): stone removed, position restored");
        else if (inPlay(e.after, e.shot))
            std::fprintf(out_, "rest (%.3f, %.3f)", double(e.after.xy[e.shot][0]), double(e.after.xy[e.shot][1]));
        else
            std::fprintf(out_, "out of play");
    } else if (e.outcome == "timeout") {
        std::fprintf(out_, "no answer within %g s: shot lost", options_.timeLimit);
    } else if (e.outcome == "invalid") {
        std::fprintf(out_, "not a BESTSHOT reply \"%s\": shot lost", printable(e.reply).c_str());
    } else {
        std::fprintf(out_, "died before answering: shot lost");
    }
    std::fprintf(out_, "  %.2f s\n", e.seconds);
    std::fflush(out_);
}

void Match::finish() {
    ResultEntry result;
    result.total[0] = course_.total[0];
    result.total[1] = course_.total[1];
    if (dead_[0] && dead_[1]) {
        result.winner = "none";
        result.forfeit = "both";
        result.reason = "both players died";
    } else if (dead_[0] || dead_[1]) {
        const int loser = dead_[0] ? 0 : 1;
        result.winner = NAME[1 - loser];
        result.forfeit = NAME[loser];
        result.reason = std::string(NAME[loser]) + " died (" + players_[loser].howItDied() + ")";
    } else {
        const Winner w = winnerOf(course_);
        result.winner = w == Winner::Player1 ? "player1" : w == Winner::Player2 ? "player2" : "draw";
        result.reason = std::to_string(endsPlayed_) + (endsPlayed_ == 1 ? " end" : " ends") + " played";
        if (w == Winner::Draw && endsPlayed_ > LAST_EXTRA_END_INDEX)
            result.reason += ", the last extra end allowed";
    }
    if (result.forfeit == "both")
        std::fprintf(out_, "result: no winner, both players died; player1 %d : %d player2\n", course_.total[0],
                     course_.total[1]);
    else if (!result.forfeit.empty())
        std::fprintf(out_, "result: %s wins by forfeit, %s; player1 %d : %d player2\n", result.winner.c_str(),
                     result.reason.c_str(), course_.total[0], course_.total[1]);
    else if (result.winner == "draw")
        std::fprintf(out_, "result: draw, player1 %d : %d player2 after %s\n", course_.total[0], course_.total[1],
                     result.reason.c_str());
    else
        std::fprintf(out_, "result: %s wins, player1 %d : %d player2 after %s\n", result.winner.c_str(),
                     course_.total[0], course_.total[1], result.reason.c_str());
    record_.write(result);
    record_.close();
    std::fflush(out_);
    stopPlayers();
}

void Match::stopPlayers() {
    // Both inputs first, so the two players leave side by side.
    for (PlayerProcess& p : players_)
        p.closeInput();
    for (PlayerProcess& p : players_)
        p.stop(STOP_GRACE_SECONDS);
}

}  // namespace

int runMatch(const MatchOptions& options, FILE* out) {
    Match match(options, out);
    return match.run();
}

}  // namespace Kelvo::Server
