#include "client.h"

#include <cmath>
#include <memory>

#include "lineio.h"
#include "order.h"
#include "server/commands.h"

namespace Kelvo::Dc3 {

namespace {

// How long the server may take to answer a move or a greeting: the
// simulation of a shot and the way there and back.
constexpr double SERVER_SLACK_SECONDS = 60;
// Writes to the server are small; one that does not go out by then never will.
constexpr double WRITE_SECONDS = 10;

enum class Phase { Dc, IsReady, NewGame, Play, GameOver };

const char* awaited(Phase phase) {
    switch (phase) {
    case Phase::Dc: return "dc";
    case Phase::IsReady: return "is_ready";
    case Phase::NewGame: return "new_game";
    case Phase::Play: return "update";
    case Phase::GameOver: return "game_over";
    }
    return "?";
}

struct Failure {
    std::string why;
};

class Client {
public:
    Client(const ClientOptions& options, const Decide& decide, FILE* out, FILE* err)
        : o_(options), decide_(decide), out_(out), err_(err) {}

    int run() {
        try {
            play();
            return 0;
        } catch (const Failure& f) {
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
            throw Failure{"cannot connect to " + o_.host + ":" + std::to_string(o_.port) + ": " + why};
        Phase phase = Phase::Dc;
        Clock::time_point deadline = deadlineIn(o_.waitSeconds);
        for (;;) {
            const std::string line = readLine(phase, deadline);
            ServerMessage message;
            try {
                message = parseServerMessage(line);
            } catch (const MessageError& e) {
                throw Failure{std::string("bad message from the server (") + e.what() + "): " +
                              Server::printable(line, 200)};
            }
            // The phases are in the order of the server's messages: each awaits the next one.
            const bool expected = message.index() == size_t(phase);
            // game_over ends the game in any phase after the start.
            const bool over = std::holds_alternative<GameOverMessage>(message) && phase >= Phase::Play;
            if (!expected && !over)
                throw Failure{"message out of turn: " + commandName(message) + " while waiting for " +
                              awaited(phase)};
            switch (phase) {
            case Phase::Dc:
                send(DcOkMessage{o_.name});
                phase = Phase::IsReady;
                deadline = deadlineIn(SERVER_SLACK_SECONDS);
                break;
            case Phase::IsReady:
                ready_ = std::get<IsReadyMessage>(message);
                order_ = choosePlayerOrder(ready_.players[size_t(ready_.team)]);
                send(ReadyOkMessage{order_});
                phase = Phase::NewGame;
                deadline = deadlineIn(o_.waitSeconds);
                break;
            case Phase::NewGame:
                names_ = std::get<NewGameMessage>(message).names;
                phase = Phase::Play;
                deadline = deadlineIn(SERVER_SLACK_SECONDS);
                break;
            case Phase::Play:
                if (over) {
                    report();
                    return;
                }
                deadline = onUpdate(std::get<UpdateMessage>(message), phase);
                break;
            case Phase::GameOver:
                report();
                return;
            }
        }
    }

    std::string readLine(Phase phase, Clock::time_point deadline) {
        std::string line;
        const double waited = std::chrono::duration<double>(deadline - Clock::now()).count();
        switch (connection_->readLine(line, deadline)) {
        case ReadStatus::Line: return line;
        case ReadStatus::TimedOut: {
            char text[160];
            std::snprintf(text, sizeof text, "the server sent nothing for %.0f s while we waited for %s", waited,
                          awaited(phase));
            throw Failure{text};
        }
        case ReadStatus::Closed:
            throw Failure{std::string("the server closed the connection while we waited for ") + awaited(phase)};
        case ReadStatus::TooLong:
            throw Failure{"the server sent a line of more than " + std::to_string(MAX_LINE_BYTES) + " bytes"};
        case ReadStatus::Failed: break;
        }
        throw Failure{"cannot read from the server: " + connection_->error()};
    }

    void send(const ClientMessage& message) {
        if (!connection_->writeLine(toLine(message), deadlineIn(WRITE_SECONDS)))
            throw Failure{"cannot send " + commandName(message) + " to the server: " + connection_->error()};
    }

    // Plays when asked; returns the deadline of the next message.
    Clock::time_point onUpdate(const UpdateMessage& update, Phase& phase) {
        last_ = update.state;
        if (update.state.result) {
            if (update.nextTeam >= 0)
                throw Failure{"an update names the next team after the game's result"};
            phase = Phase::GameOver;
            return deadlineIn(SERVER_SLACK_SECONDS);
        }
        const int me = ready_.team;
        if (update.nextTeam != me) {
            const int other = update.nextTeam < 0 ? 1 - me : update.nextTeam;
            return deadlineIn(update.state.thinkingTimeRemaining[size_t(other)] + SERVER_SLACK_SECONDS);
        }
        const Clock::time_point asked = Clock::now();
        ClockState clock;
        clock.remaining = update.state.thinkingTimeRemaining[size_t(me)];
        clock.end = update.state.end;
        clock.shot = update.state.shot;
        clock.maxEnd = ready_.setting.maxEnd;
        clock.clockStart = clock.end < clock.maxEnd ? ready_.setting.thinkingTime[size_t(me)]
                                                    : ready_.setting.extraEndThinkingTime[size_t(me)];
        const double budget = shotBudget(clock, o_.plan);
        const Turn turn = makeTurn(ready_, order_, update.state, me, budget);
        const Fcv1Move move = decideSafely(turn);
        Move m;
        m.vx = move.vx;
        m.vy = move.vy;
        m.ccw = move.ccw;
        send(MoveMessage{m});
        if (o_.verbose) {
            const double used = std::chrono::duration<double>(Clock::now() - asked).count();
            std::fprintf(err_, "%s: end %d shot %d: budget %.3f s, used %.3f s, %.3f s on the clock\n",
                         o_.program.c_str(), turn.end, turn.shot, budget, used, clock.remaining);
            std::fflush(err_);
        }
        return deadlineIn(SERVER_SLACK_SECONDS);
    }

    // The decision's move; the rule-based draw if the decision fails.
    Fcv1Move decideSafely(const Turn& turn) {
        std::string why;
        try {
            const Fcv1Move move = decide_(turn);
            if (std::isfinite(move.vx) && std::isfinite(move.vy))
                return move;
            why = "a velocity that is not a number";
        } catch (const std::exception& e) {
            why = e.what();
        }
        std::fprintf(err_, "%s: the decision failed (%s); drawing to the tee instead\n", o_.program.c_str(),
                     why.c_str());
        return decideDraw(turn);
    }

    void report() {
        const int me = ready_.team;
        const std::string name = names_[size_t(me)].empty() ? o_.name : names_[size_t(me)];
        if (!last_ || !last_->result) {
            std::fprintf(out_, "result: none, the game ended without one; we played %s (%s)\n", teamName(me),
                         name.c_str());
        } else {
            std::fprintf(out_, "result: %s, team0 %d : %d team1; we played %s (%s)\n",
                         resultText(*last_->result).c_str(), totalScore(*last_, 0), totalScore(*last_, 1),
                         teamName(me), name.c_str());
        }
        std::fflush(out_);
    }

    const ClientOptions& o_;
    const Decide& decide_;
    FILE* out_;
    FILE* err_;
    std::unique_ptr<LineConnection> connection_;
    IsReadyMessage ready_;
    std::array<int, PLAYERS_PER_TEAM> order_ = {0, 1, 2, 3};
    std::array<std::string, TEAMS> names_;
    std::optional<GameState> last_;
};

}  // namespace

int runClient(const ClientOptions& options, const Decide& decide, FILE* out, FILE* err) {
    return Client(options, decide, out, err).run();
}

}  // namespace Kelvo::Dc3
