#include "gamelog.h"

#include <sstream>

#include <nlohmann/json.hpp>

#include "kelvosim/fcv1/fcv1rules.h"
#include "record.h"
#include "referee.h"

namespace Kelvo::Dc3 {

namespace {

using Json = nlohmann::json;

struct BadLog {
    std::string why;
};

int teamOf(const Json& log) {
    const auto it = log.find("team");
    if (it == log.end() || (*it != "team0" && *it != "team1"))
        throw BadLog{"the entry names no team"};
    return *it == "team0" ? 0 : 1;
}

// The players' seeds folded into one number: equal for two games played
// with the same configuration, whatever the teams' names.
uint64_t seedOf(const IsReadyMessage& game) {
    uint64_t h = 1469598103934665603ULL;
    for (const auto& team : game.players)
        for (const PlayerModel& p : team) {
            h = (h ^ p.seed.value_or(0)) * 1099511628211ULL;
            h ^= h >> 29;
        }
    // 32 bits: shown whole wherever numbers are doubles.
    return h >> 32;
}

double clockOf(const GameState& s, int team) { return s.thinkingTimeRemaining[size_t(team)]; }

void take(const Json& log, GameLog& out, std::optional<UpdateMessage>& asking, std::optional<Move>& move) {
    const Json* cmd = log.contains("cmd") ? &log["cmd"] : nullptr;
    if (!cmd || !cmd->is_string())
        throw BadLog{"the entry has no cmd"};
    if (*cmd == "dc_ok") {
        out.names[size_t(teamOf(log))] = std::get<DcOkMessage>(parseClientMessage(log.dump())).name;
    } else if (*cmd == "is_ready") {
        // The log keeps the game's is_ready, sent to no team in particular.
        Json copy = log;
        copy["team"] = "team0";
        out.game = std::get<IsReadyMessage>(parseServerMessage(copy.dump()));
    } else if (*cmd == "ready_ok") {
        const ClientMessage m = parseClientMessage(log.dump());
        if (const auto* ready = std::get_if<ReadyOkMessage>(&m))
            out.order[size_t(teamOf(log))] = ready->playerOrder;
    } else if (*cmd == "new_game") {
        out.names = std::get<NewGameMessage>(parseServerMessage(log.dump())).names;
    } else if (*cmd == "move") {
        const ClientMessage m = parseClientMessage(log.dump());
        if (asking && asking->nextTeam == teamOf(log))
            move = std::get<MoveMessage>(m).move;
    } else if (*cmd == "update") {
        const UpdateMessage u = std::get<UpdateMessage>(parseServerMessage(log.dump()));
        if (asking)
            out.turns.push_back(LoggedTurn{*asking, move, u});
        asking.reset();
        move.reset();
        if (u.nextTeam >= 0 && !u.state.result)
            asking = u;
        out.last = u.state;
    }
    // dc, meta and game_over carry nothing the record needs.
}

}  // namespace

bool isGameLog(const std::string& text) {
    const Json first = Json::parse(text.substr(0, text.find('\n')), nullptr, false);
    return first.is_object() && first.contains("tag") && first.contains("log");
}

bool readGameLog(const std::string& text, GameLog& log, std::string& error) {
    log = GameLog();
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::optional<UpdateMessage> asking;
    std::optional<Move> move;
    try {
        while (std::getline(in, line)) {
            ++number;
            if (line.find_first_not_of(" \t\r") == std::string::npos)
                continue;
            const Json o = Json::parse(line, nullptr, false);
            // A last line without its end is one the server was writing.
            if (o.is_discarded() && in.eof() && number > 1)
                break;
            if (!o.is_object() || !o.contains("log") || !o["log"].is_object())
                throw BadLog{"not an entry of the server's game log"};
            // Shot files share the frame; only the game's entries count here.
            if (o.value("tag", Json("gam")) != "gam")
                continue;
            take(o["log"], log, asking, move);
        }
    } catch (const BadLog& e) {
        error = "line " + std::to_string(number) + ": " + e.why;
        return false;
    } catch (const MessageError& e) {
        error = "line " + std::to_string(number) + ": " + e.what();
        return false;
    } catch (const Json::exception& e) {
        error = "line " + std::to_string(number) + ": " + e.what();
        return false;
    }
    if (number == 0) {
        error = "the log is empty";
        return false;
    }
    return true;
}

std::string gameLogRecord(const GameLog& log) {
    GameRecord record;
    record.keepLines();
    GameHeader header;
    header.players = log.names;
    header.names = log.names;
    header.seed = seedOf(log.game);
    header.setting = log.game.setting;
    header.noise = log.game.players;
    header.order = log.order;
    record.write(header);

    // One world for the game, as the server keeps it.
    const std::unique_ptr<Kelvo::Referee::SlotJudge> judge = dc3Judge(log.game.setting.fiveRockRule);
    std::array<int, TEAMS> total = {};
    for (const LoggedTurn& turn : log.turns) {
        const GameState& before = turn.asked.state;
        const GameState& after = turn.after.state;
        const int team = turn.asked.nextTeam;
        MoveEntry entry;
        entry.end = before.end;
        entry.shot = before.shot;
        entry.team = team;
        entry.thrower = log.order[size_t(team)][size_t(before.shot / 4)];
        entry.timeLeft = clockOf(after, team);
        // A clock reset for an extra end hides the move's time.
        entry.seconds = std::max(0.0, clockOf(before, team) - clockOf(after, team));
        entry.state = &before;
        const bool played = turn.selected && !turn.selected->concede && turn.after.lastMove &&
                            !(after.result && after.result->reason == "time_limit");
        if (!played) {
            entry.outcome = turn.selected && turn.selected->concede ? "conceded" : "timeout";
            record.write(entry);
            continue;
        }
        ShotReport report;
        report.end = before.end;
        report.shot = before.shot;
        report.team = team;
        report.actual = toFcv1Move(turn.after.lastMove->actualMove);
        report.foul = turn.after.lastMove->freeGuardZoneFoul;
        report.before = before;
        report.trace.every = TRACE_STEPS;
        const Fcv1ShotResult simulated = judge->play(slotShotOf(before, report.actual), &report.trace);
        report.after = before;
        const bool endsTheEnd = before.shot == SHOTS_PER_END - 1;
        if (endsTheEnd)
            setStones(report.after, simulated.stones);
        else
            report.after.stones = after.stones;
        entry.outcome = "thrown";
        entry.selected = *turn.selected;
        entry.report = &report;
        entry.state = nullptr;
        record.write(entry);
        if (!endsTheEnd)
            continue;
        EndEntry end;
        end.end = before.end;
        const size_t e = size_t(before.end);
        if (e < after.scores[0].size() && e < after.scores[1].size() && after.scores[0][e] && after.scores[1][e])
            end.points = {*after.scores[0][e], *after.scores[1][e]};
        else if (after.extraEndScore[0] && after.extraEndScore[1])
            end.points = {*after.extraEndScore[0], *after.extraEndScore[1]};
        else
            end.points = scoreFcv1End(simulated.stones);
        total[0] += end.points[0];
        total[1] += end.points[1];
        end.total = total;
        end.hammer = before.hammer;
        end.nextHammer = 1 - Kelvo::Referee::firstSideOfNextEnd(1 - before.hammer, end.points[0] - end.points[1]);
        end.stones = &report.after;
        record.write(end);
    }
    if (log.last && log.last->result) {
        OutcomeEntry outcome;
        outcome.winner = log.last->result->winner;
        outcome.reason = log.last->result->reason;
        if (outcome.reason == "time_limit" && outcome.winner >= 0)
            outcome.culprit = 1 - outcome.winner;
        outcome.total = {totalScore(*log.last, 0), totalScore(*log.last, 1)};
        record.write(outcome);
    }
    return record.keptLines();
}

bool gameLogTurn(const GameLog& log, int end, int shot, Turn& turn, std::string& error) {
    for (const LoggedTurn& t : log.turns)
        if (t.asked.state.end == end && t.asked.state.shot == shot) {
            IsReadyMessage ready = log.game;
            ready.team = t.asked.nextTeam;
            turn = makeTurn(ready, log.order[size_t(ready.team)], t.asked.state, ready.team, 0);
            return true;
        }
    error = "no shot " + std::to_string(shot) + " of end " + std::to_string(end) + " in the log";
    return false;
}

}  // namespace Kelvo::Dc3
