#include "client.h"

#include <chrono>
#include <cmath>
#include <memory>

#include "dc3/lineio.h"
#include "dc3/order.h"
#include "server/commands.h"

namespace Kelvo::Dc3 {

namespace {

// How long the server may take to answer a move or a greeting: the
// simulation of a shot and the way there and back.
constexpr double SERVER_SLACK_SECONDS = 60;
// Writes to the server are small; one that does not go out by then never will.
constexpr double WRITE_SECONDS = 10;

}  // namespace

const char* ClientSession::awaited() const {
    switch (phase_) {
    case Phase::Dc: return "dc";
    case Phase::IsReady: return "is_ready";
    case Phase::NewGame: return "new_game";
    case Phase::Play: return "update";
    case Phase::GameOver:
    case Phase::Done: return "game_over";
    }
    return "?";
}

std::optional<ClientMessage> ClientSession::take(const std::string& line) {
    if (phase_ == Phase::Done)
        throw ClientFailure{"a message after game_over"};
    ServerMessage message;
    try {
        // Before is_ready the team is not known; no update is awaited then.
        message = parseServerMessage(line, phase_ >= Phase::NewGame ? ready_.team : EVERY_TEAM);
    } catch (const MessageError& e) {
        throw ClientFailure{std::string("bad message from the server (") + e.what() + "): " +
                            Server::printable(line, 200)};
    }
    // The phases are in the order of the server's messages: each awaits the next one.
    const bool expected = message.index() == size_t(phase_);
    // game_over ends the game in any phase after the start.
    const bool over = std::holds_alternative<GameOverMessage>(message) && phase_ >= Phase::Play;
    if (!expected && !over)
        throw ClientFailure{"message out of turn: " + commandName(message) + " while waiting for " + awaited()};
    if (over) {
        phase_ = Phase::Done;
        return std::nullopt;
    }
    switch (phase_) {
    case Phase::Dc:
        phase_ = Phase::IsReady;
        wait_ = SERVER_SLACK_SECONDS;
        return DcOkMessage{o_.name};
    case Phase::IsReady:
        ready_ = std::get<IsReadyMessage>(message);
        order_ = choosePlayerOrder(ready_.players[size_t(ready_.team)]);
        phase_ = Phase::NewGame;
        wait_ = o_.waitSeconds;
        return ReadyOkMessage{order_};
    case Phase::NewGame:
        names_ = std::get<NewGameMessage>(message).names;
        phase_ = Phase::Play;
        wait_ = SERVER_SLACK_SECONDS;
        return std::nullopt;
    case Phase::Play: return onUpdate(std::get<UpdateMessage>(message));
    case Phase::GameOver:
    case Phase::Done: break;
    }
    return std::nullopt;
}

// Plays when asked; sets the wait for the next message.
std::optional<ClientMessage> ClientSession::onUpdate(const UpdateMessage& update) {
    last_ = update.state;
    // A result ends the game whatever else the update says: nobody throws again.
    if (update.state.result) {
        phase_ = Phase::GameOver;
        wait_ = o_.waitSeconds;
        return std::nullopt;
    }
    const int me = ready_.team;
    if (update.nextTeam != me) {
        const int other = update.nextTeam < 0 ? 1 - me : update.nextTeam;
        wait_ = update.state.thinkingTimeRemaining[size_t(other)] + SERVER_SLACK_SECONDS;
        return std::nullopt;
    }
    const auto asked = std::chrono::steady_clock::now();
    ClockState clock;
    clock.remaining = update.state.thinkingTimeRemaining[size_t(me)];
    clock.end = update.state.end;
    clock.shot = update.state.shot;
    clock.maxEnd = ready_.setting.maxEnd;
    clock.clockStart = clock.end < clock.maxEnd ? ready_.setting.thinkingTime[size_t(me)]
                                                : ready_.setting.extraEndThinkingTime[size_t(me)];
    const double budget = shotBudget(clock, o_.plan);
    const Turn turn = makeTurn(ready_, order_, update.state, me, budget);
    const Fcv1Move move = decideSafely(decide_, turn, err_, o_.program);
    if (o_.verbose) {
        const double used = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        std::fprintf(err_, "%s: end %d shot %d: budget %.3f s, used %.3f s, %.3f s on the clock\n",
                     o_.program.c_str(), turn.end, turn.shot, budget, used, clock.remaining);
        std::fflush(err_);
    }
    wait_ = SERVER_SLACK_SECONDS;
    return MoveMessage{toMove(move)};
}

std::string ClientSession::resultLine() const {
    const int me = ready_.team;
    const std::string name = names_[size_t(me)].empty() ? o_.name : names_[size_t(me)];
    const std::string us = std::string("we played ") + teamName(me) + " (" + name + ")";
    if (!last_ || !last_->result)
        return "result: none, the game ended without one; " + us;
    return "result: " + resultText(*last_->result) + ", team0 " + std::to_string(totalScore(*last_, 0)) + " : " +
           std::to_string(totalScore(*last_, 1)) + " team1; " + us;
}

namespace {

// The session over one connection.
class Client {
public:
    Client(const ClientOptions& options, const Decide& decide, FILE* out, FILE* err)
        : o_(options), session_(options, decide, err), out_(out), err_(err) {}

    int run() {
        try {
            play();
            return 0;
        } catch (const ClientFailure& f) {
            std::fprintf(err_, "%s: %s\n", o_.program.c_str(), f.why.c_str());
            std::fflush(err_);
            return 1;
        }
    }

private:
    void play() {
        std::string why;
        connection_ = connectTo(o_.host, o_.port, o_.connectSeconds, why);
        if (!connection_)
            throw ClientFailure{"cannot connect to " + o_.host + ":" + std::to_string(o_.port) + ": " + why};
        connection_->setMaxLine(MAX_SERVER_LINE_BYTES);
        Clock::time_point deadline = deadlineIn(o_.waitSeconds);
        while (!session_.finished()) {
            if (const std::optional<ClientMessage> reply = session_.take(readLine(deadline)))
                send(*reply);
            deadline = deadlineIn(session_.waitSeconds());
        }
        std::fprintf(out_, "%s\n", session_.resultLine().c_str());
        std::fflush(out_);
    }

    std::string readLine(Clock::time_point deadline) {
        std::string line;
        const double waited = std::chrono::duration<double>(deadline - Clock::now()).count();
        switch (connection_->readLine(line, deadline)) {
        case ReadStatus::Line: return line;
        case ReadStatus::TimedOut: {
            char text[160];
            std::snprintf(text, sizeof text, "the server sent nothing for %.0f s while we waited for %s", waited,
                          session_.awaited());
            throw ClientFailure{text};
        }
        case ReadStatus::Closed:
            throw ClientFailure{std::string("the server closed the connection while we waited for ") +
                                session_.awaited()};
        case ReadStatus::TooLong:
            throw ClientFailure{"the server sent a line of more than " + std::to_string(connection_->maxLine()) +
                                " bytes"};
        case ReadStatus::Failed: break;
        }
        throw ClientFailure{"cannot read from the server: " + connection_->error()};
    }

    void send(const ClientMessage& message) {
        if (!connection_->writeLine(toLine(message), deadlineIn(WRITE_SECONDS)))
            throw ClientFailure{"cannot send " + commandName(message) + " to the server: " + connection_->error()};
    }

    const ClientOptions& o_;
    ClientSession session_;
    FILE* out_;
    FILE* err_;
    std::unique_ptr<LineConnection> connection_;
};

}  // namespace

int runClient(const ClientOptions& options, const Decide& decide, FILE* out, FILE* err) {
    return Client(options, decide, out, err).run();
}

}  // namespace Kelvo::Dc3
