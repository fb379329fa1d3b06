#include "messages.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace Kelvo::Dc3 {

namespace {

using Json = nlohmann::ordered_json;

[[noreturn]] void fail(const std::string& what) { throw MessageError(what); }

std::string named(const std::string& path) { return "\"" + path + "\""; }

std::string join(const std::string& path, const std::string& name) { return path.empty() ? name : path + "." + name; }

// The fields of one JSON object, each error naming the field's whole path.
class Fields {
public:
    Fields(const Json& object, std::string path) : o_(object), path_(std::move(path)) {
        if (!o_.is_object())
            fail("field " + named(path_) + " is not an object");
    }

    bool has(const char* name) const { return o_.contains(name); }
    std::string path(const char* name) const { return join(path_, name); }

    const Json& at(const char* name) const {
        const auto it = o_.find(name);
        if (it == o_.end())
            fail("missing field " + named(path(name)));
        return *it;
    }
    Fields object(const char* name) const { return Fields(at(name), path(name)); }
    const Json& array(const char* name, size_t size = 0) const {
        const Json& v = at(name);
        if (!v.is_array() || (size > 0 && v.size() != size))
            fail("field " + named(path(name)) + " is not a list" +
                 (size > 0 ? " of " + std::to_string(size) : std::string()));
        return v;
    }
    std::string text(const char* name) const {
        const Json& v = at(name);
        if (!v.is_string())
            fail("field " + named(path(name)) + " is not a string");
        return v.get<std::string>();
    }
    bool flag(const char* name) const {
        const Json& v = at(name);
        if (!v.is_boolean())
            fail("field " + named(path(name)) + " is not true or false");
        return v.get<bool>();
    }
    double number(const char* name) const { return numberValue(at(name), path(name)); }
    int whole(const char* name, long long low, long long high) const {
        return wholeValue(at(name), path(name), low, high);
    }
    int team(const char* name) const {
        const std::optional<int> t = teamOrNull(name);
        if (!t)
            fail("field " + named(path(name)) + " is neither \"team0\" nor \"team1\"");
        return *t;
    }
    std::optional<int> teamOrNull(const char* name) const {
        const Json& v = at(name);
        if (v.is_null())
            return std::nullopt;
        if (v == "team0")
            return 0;
        if (v == "team1")
            return 1;
        fail("field " + named(path(name)) + " is neither \"team0\", \"team1\" nor null");
    }
    // {"team0": ..., "team1": ...}
    template <typename Read>
    void perTeam(const char* name, Read read) const {
        const Fields teams = object(name);
        for (int t = 0; t < TEAMS; ++t)
            read(teams, teamName(t), t);
    }

    static double numberValue(const Json& v, const std::string& path) {
        if (!v.is_number() || !std::isfinite(v.get<double>()))
            fail("field " + named(path) + " is not a number");
        return v.get<double>();
    }
    static int wholeValue(const Json& v, const std::string& path, long long low, long long high) {
        if (!v.is_number_integer())
            fail("field " + named(path) + " is not a whole number");
        const long long n = v.is_number_unsigned() && v.get<unsigned long long>() > (1ULL << 62)
                                ? high + 1
                                : v.get<long long>();
        if (n < low || n > high)
            fail("field " + named(path) + " is " + v.dump() + ", not from " + std::to_string(low) + " to " +
                 std::to_string(high));
        return int(n);
    }

private:
    const Json& o_;
    std::string path_;
};

// Positions and speeds beyond this are no stone on any sheet; they would
// also turn into infinities in single precision.
constexpr double COORDINATE_LIMIT = 1e6;

double coordinate(const Fields& f, const char* name) {
    const double v = f.number(name);
    if (std::fabs(v) > COORDINATE_LIMIT)
        fail("field " + named(f.path(name)) + " is out of range");
    return v;
}

Json parseJson(const std::string& line) {
    try {
        return Json::parse(line);
    } catch (const Json::exception&) {
        fail("not JSON");
    }
}

// A server line without the trajectory of last_move: nothing reads it, and
// at fine frames it holds megabytes that would otherwise be built as values.
Json parseServerJson(const std::string& line) {
    const Json::parser_callback_t skipTrajectory = [](int depth, Json::parse_event_t event, Json& parsed) {
        return !(event == Json::parse_event_t::key && depth == 2 && parsed == "trajectory");
    };
    try {
        return Json::parse(line, skipTrajectory);
    } catch (const Json::exception&) {
        fail("not JSON");
    }
}

// Reads a field with `read`. A field that is needed stops the reading with
// its error; one that is not is taken as far as it can be read.
template <typename Read>
void readField(bool needed, Read read) {
    if (needed) {
        read();
        return;
    }
    try {
        read();
    } catch (const MessageError&) {
    }
}

Json teams(const Json& team0, const Json& team1) { return Json{{"team0", team0}, {"team1", team1}}; }

// --- players --------------------------------------------------------------

PlayerModel readPlayer(const Json& v, const std::string& path) {
    if (!v.is_object())
        fail("field " + named(path) + " is not an object");
    PlayerModel p;
    // The server may hide or alter fields: what is missing keeps its default.
    const auto type = v.find("type");
    p.identical = type != v.end() && *type == "identical";
    const auto number = [&](const char* name, double& into) {
        const auto it = v.find(name);
        if (it != v.end() && it->is_number() && std::isfinite(it->get<double>()) && it->get<double>() >= 0)
            into = it->get<double>();
    };
    number("max_speed", p.maxSpeed);
    number("stddev_speed", p.stddevSpeed);
    number("stddev_angle", p.stddevAngle);
    const auto seed = v.find("seed");
    if (seed != v.end() && seed->is_number_unsigned())
        p.seed = seed->get<unsigned long long>();
    return p;
}

// --- moves ------------------------------------------------------------------

Move readMove(const Fields& f) {
    Move m;
    const std::string type = f.text("type");
    if (type == "concede") {
        m.concede = true;
        return m;
    }
    if (type != "shot")
        fail("field " + named(f.path("type")) + " is neither \"shot\" nor \"concede\"");
    const Fields velocity = f.object("velocity");
    m.vx = coordinate(velocity, "x");
    m.vy = coordinate(velocity, "y");
    // Any text other than "cw" is read as "ccw", as the framework's server does.
    m.ccw = f.text("rotation") != "cw";
    return m;
}

Json moveJson(const Move& m) {
    if (m.concede)
        return Json{{"type", "concede"}};
    return Json{{"type", "shot"}, {"velocity", {{"x", m.vx}, {"y", m.vy}}}, {"rotation", m.ccw ? "ccw" : "cw"}};
}

// --- the game state -----------------------------------------------------------

std::optional<int> optionalScore(const Json& v, const std::string& path) {
    if (v.is_null())
        return std::nullopt;
    return Fields::wholeValue(v, path, 0, STONES_PER_TEAM);
}

// What a reader uses of an update's state.
struct StateNeeds {
    bool move = false;    // the state of its own move: end, shot, hammer, stones, scores
    bool result = false;  // the result line: scores and the extra end
    int clock = -1;       // the team whose clock it needs, or -1
};

void readStones(const Fields& f, GameState& s) {
    f.perTeam("stones", [&](const Fields& teams, const char* name, int t) {
        const Json& list = teams.array(name, STONES_PER_TEAM);
        for (int k = 0; k < STONES_PER_TEAM; ++k) {
            const std::string path = teams.path(name) + "[" + std::to_string(k) + "]";
            if (list[size_t(k)].is_null())
                continue;
            const Fields stone(list[size_t(k)], path);
            const Fields position = stone.object("position");
            Stone st;
            st.position = {coordinate(position, "x"), coordinate(position, "y")};
            // Nothing here depends on the stone's angle; a server that leaves it out is fine.
            if (stone.has("angle"))
                st.angle = stone.number("angle");
            s.stones[size_t(t)][size_t(k)] = st;
        }
    });
}

GameState readState(const Fields& f, const StateNeeds& needs) {
    GameState s;
    // The result tells every reader whether the game goes on.
    if (!f.at("game_result").is_null()) {
        const Fields r = f.object("game_result");
        GameResult result;
        result.winner = r.teamOrNull("winner").value_or(-1);
        result.reason = r.text("reason");
        s.result = result;
    }
    const bool move = needs.move && !s.result;
    readField(move, [&] { s.end = f.whole("end", 0, 1000); });
    readField(move, [&] { s.shot = f.whole("shot", 0, SHOTS_PER_END - 1); });
    s.hammer = -1;
    readField(move, [&] { s.hammer = f.team("hammer"); });
    readField(move, [&] { readStones(f, s); });
    readField(move || (needs.result && s.result), [&] {
        f.perTeam("scores", [&](const Fields& teams, const char* name, int t) {
            const Json& list = teams.array(name);
            for (size_t e = 0; e < list.size(); ++e)
                s.scores[size_t(t)].push_back(
                    optionalScore(list[e], teams.path(name) + "[" + std::to_string(e) + "]"));
        });
    });
    readField(needs.result && s.result, [&] {
        f.perTeam("extra_end_score", [&](const Fields& teams, const char* name, int t) {
            s.extraEndScore[size_t(t)] = optionalScore(teams.at(name), teams.path(name));
        });
    });
    for (int t = 0; t < TEAMS; ++t)
        readField(t == needs.clock && !s.result, [&] {
            s.thinkingTimeRemaining[size_t(t)] = f.object("thinking_time_remaining").number(teamName(t));
        });
    return s;
}

Json scoreJson(const std::optional<int>& score) { return score ? Json(*score) : Json(nullptr); }

Json stoneJson(const Stone& st) {
    return Json{{"position", {{"x", st.position.x}, {"y", st.position.y}}}, {"angle", st.angle}};
}

Json stateJson(const GameState& s) {
    Json stones[TEAMS], scores[TEAMS];
    for (int t = 0; t < TEAMS; ++t) {
        stones[t] = Json::array();
        for (const std::optional<Stone>& st : s.stones[size_t(t)])
            stones[t].push_back(st ? stoneJson(*st) : Json(nullptr));
        scores[t] = Json::array();
        for (const std::optional<int>& score : s.scores[size_t(t)])
            scores[t].push_back(scoreJson(score));
    }
    Json result = nullptr;
    if (s.result)
        result = Json{{"winner", s.result->winner < 0 ? Json(nullptr) : Json(teamName(s.result->winner))},
                      {"reason", s.result->reason}};
    return Json{{"end", s.end},
                {"shot", s.shot},
                {"hammer", s.hammer < 0 ? Json(nullptr) : Json(teamName(s.hammer))},
                {"stones", teams(stones[0], stones[1])},
                {"scores", teams(scores[0], scores[1])},
                {"extra_end_score", teams(scoreJson(s.extraEndScore[0]), scoreJson(s.extraEndScore[1]))},
                {"thinking_time_remaining", teams(s.thinkingTimeRemaining[0], s.thinkingTimeRemaining[1])},
                {"game_result", result}};
}

// --- whole messages -------------------------------------------------------------

// The client uses its team, the number of ends, its clocks and its players.
IsReadyMessage readIsReady(const Fields& f) {
    IsReadyMessage m;
    m.team = f.team("team");
    const Fields game = f.object("game");
    readField(false, [&] { m.rule = game.text("rule"); });
    const Fields setting = game.object("setting");
    m.setting.maxEnd = setting.whole("max_end", 1, 1000);
    readField(false, [&] { m.setting.sheetWidth = setting.number("sheet_width"); });
    readField(false, [&] { m.setting.fiveRockRule = setting.flag("five_rock_rule"); });
    for (int t = 0; t < TEAMS; ++t) {
        readField(t == m.team, [&] {
            m.setting.thinkingTime[size_t(t)] = setting.object("thinking_time").number(teamName(t));
        });
        readField(t == m.team, [&] {
            m.setting.extraEndThinkingTime[size_t(t)] =
                setting.object("extra_end_thinking_time").number(teamName(t));
        });
    }
    readField(false, [&] {
        const Fields simulator = game.object("simulator");
        m.simulator = simulator.text("type");
        m.secondsPerFrame = simulator.number("seconds_per_frame");
    });
    for (int t = 0; t < TEAMS; ++t)
        readField(t == m.team, [&] {
            const Fields teams = game.object("players");
            const Json& list = teams.array(teamName(t), PLAYERS_PER_TEAM);
            for (int i = 0; i < PLAYERS_PER_TEAM; ++i)
                m.players[size_t(t)][size_t(i)] =
                    readPlayer(list[size_t(i)], teams.path(teamName(t)) + "[" + std::to_string(i) + "]");
        });
    return m;
}

UpdateMessage readUpdate(const Fields& f, int reader) {
    UpdateMessage m;
    m.nextTeam = f.teamOrNull("next_team").value_or(-1);
    StateNeeds needs;
    needs.move = m.nextTeam >= 0 && (reader == EVERY_TEAM || reader == m.nextTeam);
    needs.result = true;
    // The clock of the team to throw: the mover's budget, the other's wait.
    needs.clock = m.nextTeam;
    m.state = readState(f.object("state"), needs);
    readField(false, [&] {
        if (f.at("last_move").is_null())
            return;
        const Fields last = f.object("last_move");
        LastMove lm;
        lm.actualMove = readMove(last.object("actual_move"));
        lm.freeGuardZoneFoul = last.flag("free_guard_zone_foul");
        m.lastMove = lm;
    });
    return m;
}

Json stonesJson(const std::array<std::array<std::optional<Stone>, STONES_PER_TEAM>, TEAMS>& stones) {
    Json out = Json::object();
    for (int t = 0; t < TEAMS; ++t) {
        Json list = Json::array();
        for (const std::optional<Stone>& st : stones[size_t(t)])
            list.push_back(st ? stoneJson(*st) : Json(nullptr));
        out[teamName(t)] = list;
    }
    return out;
}

Json trajectoryJson(const Trajectory& t) {
    Json frames = Json::array();
    for (const std::vector<TrajectoryChange>& frame : t.frames) {
        Json changes = Json::array();
        for (const TrajectoryChange& c : frame)
            changes.push_back(Json{{"team", teamName(c.team)},
                                   {"index", c.index},
                                   {"value", c.value ? stoneJson(*c.value) : Json(nullptr)}});
        frames.push_back(std::move(changes));
    }
    return Json{{"seconds_per_frame", t.secondsPerFrame},
                {"start", stonesJson(t.start)},
                {"frames", std::move(frames)},
                {"finish", stonesJson(t.finish)}};
}

struct ServerJson {
    Json operator()(const DcMessage& m) const {
        return Json{{"cmd", "dc"},
                    {"version", {{"major", m.major}, {"minor", m.minor}}},
                    {"game_id", m.gameId},
                    {"date_time", m.dateTime}};
    }
    Json operator()(const IsReadyMessage& m) const {
        const GameSetting& s = m.setting;
        Json players[TEAMS];
        for (int t = 0; t < TEAMS; ++t) {
            players[t] = Json::array();
            for (const PlayerModel& p : m.players[size_t(t)])
                players[t].push_back(playerModelJson(p));
        }
        return Json{{"cmd", "is_ready"},
                    {"team", teamName(m.team)},
                    {"game",
                     {{"rule", m.rule},
                      {"setting",
                       {{"max_end", s.maxEnd},
                        {"sheet_width", s.sheetWidth},
                        {"five_rock_rule", s.fiveRockRule},
                        {"thinking_time", teams(s.thinkingTime[0], s.thinkingTime[1])},
                        {"extra_end_thinking_time", teams(s.extraEndThinkingTime[0], s.extraEndThinkingTime[1])}}},
                      {"simulator", {{"type", m.simulator}, {"seconds_per_frame", m.secondsPerFrame}}},
                      {"players", teams(players[0], players[1])}}}};
    }
    Json operator()(const NewGameMessage& m) const {
        return Json{{"cmd", "new_game"}, {"name", teams(m.names[0], m.names[1])}};
    }
    Json operator()(const UpdateMessage& m) const {
        Json last = nullptr;
        if (m.lastMove) {
            last = Json{{"actual_move", moveJson(m.lastMove->actualMove)},
                        {"free_guard_zone_foul", m.lastMove->freeGuardZoneFoul}};
            if (m.lastMove->trajectory)
                last["trajectory"] = trajectoryJson(*m.lastMove->trajectory);
        }
        return Json{{"cmd", "update"},
                    {"next_team", m.nextTeam < 0 ? Json(nullptr) : Json(teamName(m.nextTeam))},
                    {"state", stateJson(m.state)},
                    {"last_move", last}};
    }
    Json operator()(const GameOverMessage&) const { return Json{{"cmd", "game_over"}}; }
};

struct ClientJson {
    Json operator()(const DcOkMessage& m) const { return Json{{"cmd", "dc_ok"}, {"name", m.name}}; }
    Json operator()(const ReadyOkMessage& m) const {
        return Json{{"cmd", "ready_ok"}, {"player_order", m.playerOrder}};
    }
    Json operator()(const MoveMessage& m) const { return Json{{"cmd", "move"}, {"move", moveJson(m.move)}}; }
};

// The object and its cmd; an object without a string cmd is refused here.
std::string commandOf(const Json& o) {
    if (!o.is_object())
        fail("not a JSON object");
    return Fields(o, "").text("cmd");
}

// Names and text from the other side may be any bytes: never throw on them.
std::string dump(const Json& o) { return o.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

const char* teamName(int team) { return team == 0 ? "team0" : "team1"; }

int totalScore(const GameState& s, int team) {
    int sum = s.extraEndScore[size_t(team)].value_or(0);
    for (const std::optional<int>& score : s.scores[size_t(team)])
        sum += score.value_or(0);
    return sum;
}

Json playerModelJson(const PlayerModel& p) {
    if (p.identical)
        return Json{{"type", "identical"}};
    Json o{{"type", "normal_dist"},
           {"max_speed", p.maxSpeed},
           {"stddev_speed", p.stddevSpeed},
           {"stddev_angle", p.stddevAngle}};
    if (p.seed)
        o["seed"] = *p.seed;
    return o;
}

std::string resultText(const GameResult& r) {
    if (r.winner < 0)
        return "draw";
    const std::string wins = std::string(teamName(r.winner)) + " wins ";
    if (r.reason == "score")
        return wins + "by score";
    if (r.reason == "concede")
        return wins + "by concession";
    if (r.reason == "time_limit")
        return wins + "on time";
    return wins + "(" + r.reason + ")";
}

ServerMessage parseServerMessage(const std::string& line, int reader) {
    const Json o = parseServerJson(line);
    const std::string cmd = commandOf(o);
    const Fields f(o, "");
    if (cmd == "dc") {
        // The greeting carries nothing a client needs.
        DcMessage m;
        readField(false, [&] {
            const Fields version = f.object("version");
            m.major = version.whole("major", 0, 1 << 30);
            m.minor = version.whole("minor", 0, 1 << 30);
        });
        readField(false, [&] { m.gameId = f.text("game_id"); });
        readField(false, [&] { m.dateTime = f.text("date_time"); });
        return m;
    }
    if (cmd == "is_ready")
        return readIsReady(f);
    if (cmd == "new_game") {
        // The names only label the result line.
        NewGameMessage m;
        for (int t = 0; t < TEAMS; ++t)
            readField(false, [&] { m.names[size_t(t)] = f.object("name").text(teamName(t)); });
        return m;
    }
    if (cmd == "update")
        return readUpdate(f, reader);
    if (cmd == "game_over")
        return GameOverMessage{};
    fail("unknown cmd \"" + cmd + "\"");
}

ClientMessage parseClientMessage(const std::string& line) {
    const Json o = parseJson(line);
    const std::string cmd = commandOf(o);
    const Fields f(o, "");
    if (cmd == "dc_ok")
        return DcOkMessage{f.text("name")};
    if (cmd == "ready_ok") {
        ReadyOkMessage m;
        const Json& order = f.array("player_order");
        if (order.size() != PLAYERS_PER_TEAM)
            fail("field \"player_order\" does not hold 4 entries");
        for (int k = 0; k < PLAYERS_PER_TEAM; ++k)
            m.playerOrder[size_t(k)] = Fields::wholeValue(order[size_t(k)], "player_order[" + std::to_string(k) + "]",
                                                          0, PLAYERS_PER_TEAM - 1);
        for (int a = 0; a < PLAYERS_PER_TEAM; ++a)
            for (int b = a + 1; b < PLAYERS_PER_TEAM; ++b)
                if (m.playerOrder[size_t(a)] == m.playerOrder[size_t(b)])
                    fail("field \"player_order\" names player " + std::to_string(m.playerOrder[size_t(a)]) + " twice");
        return m;
    }
    if (cmd == "move")
        return MoveMessage{readMove(f.object("move"))};
    fail("unknown cmd \"" + cmd + "\"");
}

std::string commandName(const ServerMessage& message) {
    static constexpr const char* NAMES[] = {"dc", "is_ready", "new_game", "update", "game_over"};
    return NAMES[message.index()];
}

std::string commandName(const ClientMessage& message) {
    static constexpr const char* NAMES[] = {"dc_ok", "ready_ok", "move"};
    return NAMES[message.index()];
}

std::string toLine(const ServerMessage& message) { return dump(std::visit(ServerJson{}, message)); }
std::string toLine(const ClientMessage& message) { return dump(std::visit(ClientJson{}, message)); }

}  // namespace Kelvo::Dc3
