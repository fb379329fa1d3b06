#include "server.h"

#include <poll.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

#include <dSFMT.h>

#include "kelvosim/fcv1/fcv1noise.h"
#include "dc3/lineio.h"
#include "record.h"
#include "referee.h"
#include "server/commands.h"
#include "server/process.h"
#include "referee/svg.h"
#include "dc3/turn.h"
#include "viewer/page.h"

namespace Kelvo::Dc3 {

namespace {

// A message to a client that does not go out by then never will.
constexpr double WRITE_SECONDS = 10;
// How long the clients get to close their connections after game_over, and
// a started client to leave after that.
constexpr double CLOSE_SECONDS = 5;
// How often the server looks at the clients it started while it waits for
// them to connect.
constexpr int PROCESS_CHECK_MS = 100;

// The game ends without a result because of a client.
struct Abort {
    int team;
    std::string why;
};

uint64_t splitMix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::string moveText(const Fcv1Move& m) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%s (%+.5f, %.5f)", m.ccw ? "ccw" : "cw", double(m.vx), double(m.vy));
    return buf;
}

// The shot's trajectory as last_move carries it: the stones before (the
// thrown one at the hack) and after, and every `steps` steps the stones
// whose position changed since the frame before. The trace is taken at a
// divisor of `steps`; a stone it no longer shows moving stays where it was
// last seen, or is taken off when it is not among the stones at rest.
Trajectory trajectoryOf(const ShotReport& r, int steps) {
    Trajectory t;
    t.secondsPerFrame = steps * 0.001;
    t.start = r.before.stones;
    t.start[size_t(r.team)][size_t(fcv1ThrownSlot(r.shot))] = Stone{};
    t.finish = r.after.stones;
    std::array<std::optional<Stone>, FCV1_STONES> shown, now;
    std::array<bool, FCV1_STONES> moving = {};
    for (int i = 0; i < FCV1_STONES; ++i)
        shown[size_t(i)] = now[size_t(i)] = t.start[size_t(i / STONES_PER_TEAM)][size_t(i % STONES_PER_TEAM)];
    for (const Fcv1TraceFrame& frame : r.trace.frames) {
        std::array<bool, FCV1_STONES> movingNow = {};
        for (const Fcv1TraceStone& stone : frame.moving) {
            movingNow[size_t(stone.index)] = true;
            now[size_t(stone.index)] = Stone{{stone.x, stone.y}, 0.0};
        }
        for (int i = 0; i < FCV1_STONES; ++i)
            if (moving[size_t(i)] && !movingNow[size_t(i)] && !r.trace.rest.present[i])
                now[size_t(i)].reset();
        moving = movingNow;
        // The first frame is one frame's time after the release.
        if (frame.step == 0 || frame.step % steps != 0)
            continue;
        std::vector<TrajectoryChange> changes;
        for (int i = 0; i < FCV1_STONES; ++i) {
            const std::optional<Stone>& a = shown[size_t(i)];
            const std::optional<Stone>& b = now[size_t(i)];
            if (a.has_value() != b.has_value() ||
                (a && (a->position.x != b->position.x || a->position.y != b->position.y)))
                changes.push_back(TrajectoryChange{i / STONES_PER_TEAM, i % STONES_PER_TEAM, b});
        }
        shown = now;
        t.frames.push_back(std::move(changes));
    }
    return t;
}

// A random version 4 UUID from the game's seed, so a replay sends the same.
std::string gameId(uint64_t seed) {
    const uint64_t a = splitMix(seed ^ 0x6761'6d65ULL), b = splitMix(a);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-%04x-%012" PRIx64, unsigned(a >> 32), unsigned(a >> 16) & 0xffff,
                  unsigned(a) & 0xfff, unsigned(0x8000 | ((b >> 48) & 0x3fff)), b & 0xffffffffffffULL);
    return buf;
}

std::string nowIso8601() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buf;
}

// The address a started client connects to: a wildcard listens on loopback too.
std::string connectHost(const std::string& host) {
    if (host == "0.0.0.0")
        return "127.0.0.1";
    if (host == "::")
        return "::1";
    return host;
}

enum class Stage { Listening, DcOk, ReadyOk, Ready };

const char* awaitedReply(Stage stage) { return stage == Stage::DcOk ? "dc_ok" : "ready_ok"; }

struct Seat {
    Listener listener;
    std::unique_ptr<LineConnection> connection;
    Stage stage = Stage::Listening;
    Clock::time_point deadline;
    std::string name;
    std::array<int, PLAYERS_PER_TEAM> order = {0, 1, 2, 3};
    Server::PlayerProcess process;
    bool started = false;
};

class Game {
public:
    Game(const ServerOptions& options, FILE* out) : o_(options), out_(out), referee_(options.setting) {
        if (o_.trajectorySteps > 0)
            referee_.setTraceSteps(std::gcd(o_.trajectorySteps, TRACE_STEPS));
        for (int t = 0; t < TEAMS; ++t)
            for (int i = 0; i < PLAYERS_PER_TEAM; ++i) {
                PlayerModel& p = players_[size_t(t)][size_t(i)];
                p = o_.players[size_t(t)][size_t(i)];
                if (!p.seed)
                    p.seed = splitMix(o_.seed + uint64_t(t * PLAYERS_PER_TEAM + i)) & 0xffffffffULL;
                noise_.emplace_back(Fcv1ThrowNoise::PlayerSeed{uint32_t(*p.seed)}, toNoise(p));
            }
    }

    int run();

private:
    bool listen();
    bool startClients();
    void handshake();
    void acceptOrRead(int team, short revents);
    void onHandshakeLine(int team, const std::string& line);
    void startGame();
    void playGame();
    void playTurn(int team);
    std::optional<std::string> awaitMove(int team, Clock::time_point deadline);
    void readOrAbort(int team, bool mover, std::optional<std::string>* moveLine);
    void checkQuiet();
    void finishGame();
    void send(int team, const ServerMessage& message);
    void endWithoutResult(const Abort& abort);
    void closeAll();
    void reportClients();
    void printResult();
    void writeHeader();
    void recordMove(MoveEntry entry, const std::string& printed);
    bool writePage();

    const ServerOptions& o_;
    FILE* out_;
    Referee referee_;
    std::array<Seat, TEAMS> seats_;
    std::array<std::array<PlayerModel, PLAYERS_PER_TEAM>, TEAMS> players_;
    // Each player's noise, team 0's players first.
    std::vector<Fcv1ThrowNoise> noise_;
    GameRecord record_;
    bool headerWritten_ = false;
    std::optional<Abort> aborted_;
    // The move last played, as the next update shows it.
    std::optional<LastMove> lastMove_;
};

int Game::run() {
    const GameSetting& s = o_.setting;
    std::fprintf(out_,
                 "kelvo-dc3-server: seed %" PRIu64 " (replay with --seed %" PRIu64
                 "), %d end%s, thinking time %g s, %g s per extra end, five-rock rule %s\n",
                 o_.seed, o_.seed, s.maxEnd, s.maxEnd == 1 ? "" : "s", s.thinkingTime[0], s.extraEndThinkingTime[0],
                 s.fiveRockRule ? "on" : "off");
    if (!o_.recordPath.empty() && !record_.open(o_.recordPath)) {
        std::fprintf(out_, "cannot write the record %s\n", o_.recordPath.c_str());
        return 1;
    }
    if (!o_.htmlPath.empty()) {
        if (!Kelvo::Referee::writeTextFile(o_.htmlPath, "")) {
            std::fprintf(out_, "cannot write the page %s\n", o_.htmlPath.c_str());
            return 1;
        }
        record_.keepLines();
    }
    if (!listen() || !startClients())
        return 1;
    try {
        handshake();
        startGame();
        playGame();
        finishGame();
    } catch (const Abort& abort) {
        endWithoutResult(abort);
    }
    closeAll();
    reportClients();
    printResult();
    record_.close();
    return writePage() ? 0 : 1;
}

bool Game::listen() {
    for (int t = 0; t < TEAMS; ++t) {
        std::string why;
        if (!seats_[size_t(t)].listener.open(o_.host, o_.port[size_t(t)], why)) {
            std::fprintf(out_, "%s: cannot listen on %s port %d: %s\n", teamName(t), o_.host.c_str(),
                         o_.port[size_t(t)], why.c_str());
            return false;
        }
        std::fprintf(out_, "%s: listening on %s port %d\n", teamName(t), o_.host.c_str(),
                     seats_[size_t(t)].listener.port());
    }
    std::fflush(out_);
    return true;
}

bool Game::startClients() {
    for (int t = 0; t < TEAMS; ++t) {
        const std::string& command = o_.client[size_t(t)];
        if (command.empty())
            continue;
        Seat& seat = seats_[size_t(t)];
        const std::string full =
            command + " " + connectHost(o_.host) + " " + std::to_string(seat.listener.port());
        if (!seat.process.start(full)) {
            std::fprintf(out_, "%s: cannot start %s\n", teamName(t), full.c_str());
            return false;
        }
        seat.started = true;
        std::fprintf(out_, "%s: %s\n", teamName(t), full.c_str());
    }
    std::fflush(out_);
    return true;
}

void Game::send(int team, const ServerMessage& message) {
    LineConnection& c = *seats_[size_t(team)].connection;
    if (!c.writeLine(toLine(message), deadlineIn(WRITE_SECONDS)))
        throw Abort{team, "does not take " + commandName(message) + " (" + c.error() + ")"};
}

// --- the start ------------------------------------------------------------------

void Game::handshake() {
    const Clock::time_point connectBy = deadlineIn(o_.connectSeconds);
    for (Seat& seat : seats_)
        seat.deadline = connectBy;
    for (;;) {
        pollfd fds[TEAMS];
        Clock::time_point wake = Clock::time_point::max();
        bool waiting = false;
        for (int t = 0; t < TEAMS; ++t) {
            const Seat& seat = seats_[size_t(t)];
            fds[t] = {seat.stage == Stage::Listening ? seat.listener.fd() : seat.connection->fd(), POLLIN, 0};
            if (seat.stage != Stage::Ready) {
                waiting = true;
                wake = std::min(wake, seat.deadline);
            }
        }
        if (!waiting)
            return;
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count() + 1;
        if (seats_[0].started || seats_[1].started)
            wait = std::min<long long>(wait, PROCESS_CHECK_MS);
        if (poll(fds, TEAMS, int(std::max<long long>(wait, 0))) < 0 && errno != EINTR)
            throw Abort{-1, std::string("cannot wait for the clients: ") + std::strerror(errno)};
        for (int t = 0; t < TEAMS; ++t)
            if (fds[t].revents)
                acceptOrRead(t, fds[t].revents);
        for (int t = 0; t < TEAMS; ++t) {
            Seat& seat = seats_[size_t(t)];
            if (seat.stage == Stage::Listening && seat.started && !seat.process.alive()) {
                seat.process.stop(0);
                throw Abort{t, "its client ended before it connected (" + seat.process.howItDied() + ")"};
            }
            if (seat.stage == Stage::Ready || Clock::now() < seat.deadline)
                continue;
            char why[160];
            if (seat.stage == Stage::Listening)
                std::snprintf(why, sizeof why, "did not connect within %g s", o_.connectSeconds);
            else
                std::snprintf(why, sizeof why, "did not answer with %s within %g s", awaitedReply(seat.stage),
                              o_.answerSeconds);
            throw Abort{t, why};
        }
    }
}

void Game::acceptOrRead(int team, short revents) {
    Seat& seat = seats_[size_t(team)];
    if (seat.stage == Stage::Listening) {
        if (!(revents & POLLIN))
            return;
        seat.connection = seat.listener.accept(Clock::now());
        if (!seat.connection)
            return;
        // One connection per port.
        seat.listener.close();
        seat.stage = Stage::DcOk;
        seat.deadline = deadlineIn(o_.answerSeconds);
        std::fprintf(out_, "%s: connected from %s\n", teamName(team), seat.connection->peer().c_str());
        std::fflush(out_);
        send(team, DcMessage{1, 0, gameId(o_.seed), nowIso8601()});
        return;
    }
    readOrAbort(team, false, nullptr);
}

void Game::onHandshakeLine(int team, const std::string& line) {
    Seat& seat = seats_[size_t(team)];
    ClientMessage message;
    try {
        message = parseClientMessage(line);
    } catch (const MessageError& e) {
        throw Abort{team, std::string("sent a bad message (") + e.what() + "): " + Server::printable(line, 200)};
    }
    if (seat.stage == Stage::DcOk && std::holds_alternative<DcOkMessage>(message)) {
        seat.name = std::get<DcOkMessage>(message).name;
        IsReadyMessage ready;
        ready.team = team;
        ready.setting = o_.setting;
        ready.players = players_;
        send(team, ready);
        seat.stage = Stage::ReadyOk;
        seat.deadline = deadlineIn(o_.answerSeconds);
        return;
    }
    if (seat.stage == Stage::ReadyOk && std::holds_alternative<ReadyOkMessage>(message)) {
        seat.order = std::get<ReadyOkMessage>(message).playerOrder;
        seat.stage = Stage::Ready;
        std::fprintf(out_, "%s: \"%s\" ready, player order %d %d %d %d\n", teamName(team),
                     Server::printable(seat.name, 60).c_str(), seat.order[0], seat.order[1], seat.order[2],
                     seat.order[3]);
        std::fflush(out_);
        return;
    }
    throw Abort{team, "sent " + commandName(message) + " out of turn"};
}

// Reads what a client sent. The mover's line comes back in moveLine; any
// other line is out of turn, and a closed connection ends the game.
void Game::readOrAbort(int team, bool mover, std::optional<std::string>* moveLine) {
    Seat& seat = seats_[size_t(team)];
    const ReadStatus status = seat.connection->receive();
    std::string line;
    while (seat.connection->takeLine(line)) {
        if (seat.stage == Stage::DcOk || seat.stage == Stage::ReadyOk) {
            onHandshakeLine(team, line);
            continue;
        }
        if (mover && moveLine && !*moveLine) {
            *moveLine = line;
            return;
        }
        throw Abort{team, "sent a message out of turn: " + Server::printable(line, 200)};
    }
    if (status == ReadStatus::Closed)
        throw Abort{team, "closed the connection"};
    if (status == ReadStatus::TooLong)
        throw Abort{team, "sent a line of more than " + std::to_string(MAX_LINE_BYTES) + " bytes"};
    if (status == ReadStatus::Failed)
        throw Abort{team, "lost the connection (" + seat.connection->error() + ")"};
}

void Game::startGame() {
    NewGameMessage m;
    for (int t = 0; t < TEAMS; ++t)
        m.names[size_t(t)] = seats_[size_t(t)].name;
    for (int t = 0; t < TEAMS; ++t)
        send(t, m);
    writeHeader();
    std::fprintf(out_, "new game: team0 \"%s\" v team1 \"%s\"\n", Server::printable(m.names[0], 60).c_str(),
                 Server::printable(m.names[1], 60).c_str());
    std::fflush(out_);
}

void Game::writeHeader() {
    GameHeader h;
    for (int t = 0; t < TEAMS; ++t) {
        const Seat& seat = seats_[size_t(t)];
        h.names[size_t(t)] = seat.name;
        h.players[size_t(t)] = !o_.client[size_t(t)].empty() ? o_.client[size_t(t)]
                               : !seat.name.empty()          ? seat.name
                                                             : teamName(t);
        h.order[size_t(t)] = seat.order;
    }
    h.seed = o_.seed;
    h.setting = o_.setting;
    h.noise = players_;
    record_.write(h);
    headerWritten_ = true;
}

// --- the game ----------------------------------------------------------------------

void Game::checkQuiet() {
    for (int t = 0; t < TEAMS; ++t)
        readOrAbort(t, false, nullptr);
}

void Game::playGame() {
    while (!referee_.over()) {
        const GameState& s = referee_.state();
        if (s.shot == 0) {
            std::fprintf(out_, "end %d%s: %s throws first, %s has the hammer\n", s.end,
                         s.end >= o_.setting.maxEnd ? " (extra end)" : "", teamName(1 - s.hammer), teamName(s.hammer));
            std::fflush(out_);
        }
        playTurn(referee_.nextTeam());
    }
}

std::optional<std::string> Game::awaitMove(int team, Clock::time_point deadline) {
    std::optional<std::string> line;
    for (;;) {
        pollfd fds[TEAMS];
        for (int t = 0; t < TEAMS; ++t)
            fds[t] = {seats_[size_t(t)].connection->fd(), POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0)
            return std::nullopt;
        if (poll(fds, TEAMS, int(std::min<long long>(left + 1, 1 << 30))) < 0 && errno != EINTR)
            throw Abort{-1, std::string("cannot wait for the clients: ") + std::strerror(errno)};
        // The other team first: a message of its own during this turn is out of turn.
        if (fds[1 - team].revents)
            readOrAbort(1 - team, false, nullptr);
        if (fds[team].revents)
            readOrAbort(team, true, &line);
        if (line)
            return line;
    }
}

void Game::playTurn(int team) {
    checkQuiet();
    UpdateMessage update;
    update.nextTeam = team;
    update.state = referee_.state();
    update.lastMove = lastMove_;
    // A move without a move played after it (a time loss) shows none.
    lastMove_.reset();
    send(1 - team, update);
    send(team, update);
    const Clock::time_point asked = Clock::now();
    const int64_t remaining = referee_.remainingMs(team);
    const std::optional<std::string> line =
        awaitMove(team, asked + std::chrono::milliseconds(remaining));
    const int64_t elapsed =
        line ? std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count() : remaining;

    const GameState before = referee_.state();
    MoveEntry entry;
    entry.end = before.end;
    entry.shot = before.shot;
    entry.team = team;
    entry.thrower = seats_[size_t(team)].order[size_t(before.shot / 4)];
    entry.seconds = double(elapsed) / 1000.0;
    entry.state = &before;
    char head[96];
    std::snprintf(head, sizeof head, "end %d shot %2d %s p%d  ", before.end, before.shot, teamName(team),
                  entry.thrower);
    const std::string prefix = head;

    if (!line) {
        referee_.charge(team, elapsed);
        entry.outcome = "timeout";
        char text[160];
        std::snprintf(text, sizeof text, "no move within its %.3f s: %s loses on time", double(remaining) / 1000.0,
                      teamName(team));
        recordMove(entry, prefix + text);
        return;
    }
    ClientMessage message;
    try {
        message = parseClientMessage(*line);
    } catch (const MessageError& e) {
        entry.outcome = "invalid";
        entry.reply = *line;
        recordMove(entry, prefix + "not a move (" + e.what() + ")");
        throw Abort{team, std::string("sent a bad message (") + e.what() + "): " + Server::printable(*line, 200)};
    }
    if (!std::holds_alternative<MoveMessage>(message)) {
        entry.outcome = "invalid";
        entry.reply = *line;
        recordMove(entry, prefix + commandName(message) + " instead of a move");
        throw Abort{team, "sent " + commandName(message) + " out of turn"};
    }
    const Move selected = std::get<MoveMessage>(message).move;
    const bool inTime = referee_.charge(team, elapsed);
    entry.timeLeft = double(referee_.remainingMs(team)) / 1000.0;
    if (!inTime) {
        entry.outcome = "timeout";
        char text[160];
        std::snprintf(text, sizeof text, "move after %.3f s, its %.3f s used up: %s loses on time",
                      double(elapsed) / 1000.0, double(remaining) / 1000.0, teamName(team));
        recordMove(entry, prefix + text);
        return;
    }
    if (selected.concede) {
        referee_.concede(team);
        lastMove_ = LastMove{selected, false, std::nullopt};
        entry.outcome = "conceded";
        recordMove(entry, prefix + "concedes");
        return;
    }
    ThrowError noise;
    const Fcv1Move actual = noise_[size_t(team * PLAYERS_PER_TEAM + entry.thrower)].play(toFcv1Move(selected), noise);
    const ShotReport report = referee_.play(actual);
    entry.outcome = "thrown";
    entry.selected = selected;
    entry.report = &report;
    entry.state = nullptr;
    std::string text = moveText(toFcv1Move(selected)) + "  actual " + moveText(actual) + "  ";
    const std::optional<Stone>& thrown = report.after.stones[size_t(team)][size_t(report.shot / 2)];
    char rest[80];
    if (report.foul)
        text += "foul (free guard zone): stone removed, stones restored";
    else if (thrown) {
        std::snprintf(rest, sizeof rest, "rest (%.3f, %.3f)", thrown->position.x, thrown->position.y);
        text += rest;
    } else
        text += "out of play";
    recordMove(entry, prefix + text);
    lastMove_ = LastMove{toMove(actual), report.foul, std::nullopt};
    if (o_.trajectorySteps > 0)
        lastMove_->trajectory = trajectoryOf(report, o_.trajectorySteps);

    if (!report.endScore)
        return;
    EndEntry end;
    end.end = report.end;
    end.points = *report.endScore;
    end.total = referee_.totals();
    end.hammer = report.before.hammer;
    // The hammer of the next end, also after the last (the state shows none then).
    end.nextHammer = end.points[0] > 0 ? 1 : end.points[1] > 0 ? 0 : end.hammer;
    end.stones = &report.after;
    record_.write(end);
    const int scorer = end.points[0] > 0 ? 0 : end.points[1] > 0 ? 1 : -1;
    const std::string scored = scorer < 0 ? std::string("blank end")
                                          : std::string(teamName(scorer)) + " scores " +
                                                std::to_string(end.points[size_t(scorer)]);
    std::fprintf(out_, "end %d: %s; team0 %d : %d team1\n", end.end, scored.c_str(), end.total[0], end.total[1]);
    std::fflush(out_);
}

void Game::recordMove(MoveEntry entry, const std::string& printed) {
    if (entry.outcome != "thrown" && entry.outcome != "conceded")
        entry.timeLeft = double(referee_.remainingMs(entry.team)) / 1000.0;
    record_.write(entry);
    std::fprintf(out_, "%s  %.3f s, %.3f s left\n", printed.c_str(), entry.seconds, entry.timeLeft);
    std::fflush(out_);
}

// --- the end -------------------------------------------------------------------------

void Game::finishGame() {
    UpdateMessage update;
    update.nextTeam = -1;
    update.state = referee_.state();
    update.lastMove = lastMove_;
    // The game is decided; a client that has gone by now changes nothing.
    for (int t = 0; t < TEAMS; ++t) {
        LineConnection& c = *seats_[size_t(t)].connection;
        if (c.writeLine(toLine(update), deadlineIn(WRITE_SECONDS)))
            c.writeLine(toLine(GameOverMessage{}), deadlineIn(WRITE_SECONDS));
    }
    // The server leaves once both clients have closed, or after a grace.
    const Clock::time_point by = deadlineIn(CLOSE_SECONDS);
    bool open[TEAMS] = {true, true};
    while ((open[0] || open[1]) && Clock::now() < by) {
        pollfd fds[TEAMS];
        for (int t = 0; t < TEAMS; ++t)
            fds[t] = {open[t] ? seats_[size_t(t)].connection->fd() : -1, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(by - Clock::now()).count();
        poll(fds, TEAMS, int(std::max<long long>(left, 0)) + 1);
        for (int t = 0; t < TEAMS; ++t) {
            if (!open[t] || !fds[t].revents)
                continue;
            const ReadStatus status = seats_[size_t(t)].connection->receive();
            std::string ignored;
            while (seats_[size_t(t)].connection->takeLine(ignored)) {
            }
            open[t] = status == ReadStatus::Line;
        }
    }
}

void Game::endWithoutResult(const Abort& abort) {
    aborted_ = abort;
    const std::string who = abort.team < 0 ? std::string("the server") : std::string(teamName(abort.team));
    std::fprintf(out_, "%s %s: the game ends without a result\n", who.c_str(), abort.why.c_str());
    std::fflush(out_);
}

void Game::closeAll() {
    for (Seat& seat : seats_) {
        seat.connection.reset();
        seat.listener.close();
    }
}

void Game::reportClients() {
    for (int t = 0; t < TEAMS; ++t) {
        Seat& seat = seats_[size_t(t)];
        if (!seat.started)
            continue;
        std::string said;
        const auto lineEnd = [](const std::string& text) {
            return text.find('\n') != std::string::npos ? Server::ReadState::Complete : Server::ReadState::NeedMore;
        };
        seat.process.waitFor(lineEnd, aborted_ ? 0.5 : CLOSE_SECONDS, said);
        seat.process.stop(aborted_ ? 0.5 : CLOSE_SECONDS);
        said = said.substr(0, said.find('\n'));
        std::fprintf(out_, "%s client: %s\n", teamName(t),
                     said.empty() ? ("no result line; " + seat.process.howItDied()).c_str()
                                  : Server::printable(said, 200).c_str());
    }
    std::fflush(out_);
}

void Game::printResult() {
    const std::array<int, TEAMS> total = referee_.totals();
    OutcomeEntry outcome;
    outcome.total = total;
    std::string how;
    if (aborted_) {
        outcome.result = false;
        outcome.culprit = aborted_->team;
        outcome.reason = (aborted_->team < 0 ? std::string("the server") : std::string(teamName(aborted_->team))) +
                         " " + aborted_->why;
        how = "no result (" + outcome.reason + ")";
    } else {
        const GameResult& r = *referee_.state().result;
        outcome.winner = r.winner;
        outcome.reason = r.reason;
        if (r.reason == "time_limit")
            outcome.culprit = 1 - r.winner;
        how = resultText(r);
    }
    if (!headerWritten_)
        writeHeader();
    record_.write(outcome);
    std::fprintf(out_, "result: %s, team0 %d : %d team1\n", how.c_str(), total[0], total[1]);
    std::fflush(out_);
}

bool Game::writePage() {
    if (o_.htmlPath.empty())
        return true;
    std::string html, error;
    if (!Viewer::matchPage(record_.keptLines(), html, error) || !Kelvo::Referee::writeTextFile(o_.htmlPath, html)) {
        std::fprintf(out_, "cannot write the page %s%s%s\n", o_.htmlPath.c_str(), error.empty() ? "" : ": ",
                     error.c_str());
        return false;
    }
    std::fprintf(out_, "page: %s\n", o_.htmlPath.c_str());
    return true;
}

}  // namespace

int runServer(const ServerOptions& options, FILE* out) {
    auto game = std::make_unique<Game>(options, out);
    return game->run();
}

}  // namespace Kelvo::Dc3
