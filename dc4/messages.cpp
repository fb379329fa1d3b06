#include "messages.h"

#include <cmath>

namespace Kelvo::Dc4 {

namespace {

using Json = nlohmann::json;

const Json& field(const Json& j, const char* key) {
    if (!j.is_object())
        throw MessageError(std::string("an object was expected where ") + key + " should be");
    const auto it = j.find(key);
    if (it == j.end())
        throw MessageError(std::string("no ") + key);
    return *it;
}

double number(const Json& j, const char* key) {
    const Json& v = field(j, key);
    if (!v.is_number())
        throw MessageError(std::string(key) + " is not a number");
    const double d = v.get<double>();
    if (!std::isfinite(d))
        throw MessageError(std::string(key) + " is not finite");
    return d;
}

int integer(const Json& j, const char* key, int low, int high) {
    const double d = number(j, key);
    if (d != std::floor(d) || d < low || d > high)
        throw MessageError(std::string(key) + " is not a whole number from " + std::to_string(low) + " to " +
                           std::to_string(high));
    return int(d);
}

std::string text(const Json& j, const char* key) {
    const Json& v = field(j, key);
    if (!v.is_string())
        throw MessageError(std::string(key) + " is not a string");
    return v.get<std::string>();
}

// A team name or null.
int teamOrNone(const Json& j, const char* key) {
    const Json& v = field(j, key);
    if (v.is_null())
        return -1;
    if (!v.is_string() || parseTeam(v.get<std::string>()) < 0)
        throw MessageError(std::string(key) + " is neither team0, team1 nor null");
    return parseTeam(v.get<std::string>());
}

Json position(const Position& p) { return Json{{"x", p.x}, {"y", p.y}}; }

}  // namespace

int parseTeam(const std::string& name) { return name == "team0" ? 0 : name == "team1" ? 1 : -1; }
const char* teamName(int team) { return team == 0 ? "team0" : "team1"; }

Json toJson(const MatchRequest& m) {
    return Json{{"game_mode", m.gameMode},
                {"tournament", {{"tournament_name", m.tournament}}},
                {"simulator", {{"simulator_name", m.simulator}}},
                {"applied_rule", m.rule},
                {"time_limit", m.timeLimit},
                {"extra_end_time_limit", m.extraEndTimeLimit},
                {"standard_end_count", m.ends},
                {"match_name", m.name},
                {"positioned_stones_pattern", nullptr}};
}

Json toJson(const TeamConfig& c) {
    Json j{{"use_default_config", c.useDefault}, {"team_name", c.teamName}};
    for (int p = 0; p < PLAYERS; ++p) {
        const PlayerConfig& pc = c.players[size_t(p)];
        j["player" + std::to_string(p + 1)] = Json{{"max_velocity", pc.maxVelocity},
                                                    {"shot_std_dev", pc.shotStdDev},
                                                    {"angle_std_dev", pc.angleStdDev},
                                                    {"player_name", pc.name}};
    }
    return j;
}

Json toJson(const ShotRequest& s) {
    return Json{{"translational_velocity", s.velocity}, {"angular_velocity", s.spin}, {"shot_angle", s.angle}};
}

Json toJson(const State& s) {
    Json stones = Json::object(), score = Json::object();
    for (int t = 0; t < TEAMS; ++t) {
        Json list = Json::array();
        for (const Position& p : s.stones[size_t(t)])
            list.push_back(position(p));
        stones[teamName(t)] = list;
        score[teamName(t)] = s.score[size_t(t)];
    }
    const bool ended = s.nextTeam < 0;
    return Json{{"winner_team", s.winner < 0 ? Json(nullptr) : Json(teamName(s.winner))},
                {"first_team_name", s.names[0]},
                {"second_team_name", s.names[1]},
                {"end_number", s.end},
                {"team_shot_number", s.totalShot / 2},
                {"total_shot_number", s.totalShot},
                {"next_shot_team", ended ? Json(nullptr) : Json(teamName(s.nextTeam))},
                {"first_team_remaining_time", s.remaining[0]},
                {"second_team_remaining_time", s.remaining[1]},
                {"first_team_extra_end_remaining_time", s.extraRemaining[0]},
                {"second_team_extra_end_remaining_time", s.extraRemaining[1]},
                {"mixed_doubles_settings", nullptr},
                {"last_move", s.lastMove ? toJson(*s.lastMove) : Json(nullptr)},
                {"stone_coordinate", {{"data", stones}}},
                {"score", score}};
}

MatchRequest parseMatchRequest(const Json& j) {
    MatchRequest m;
    m.gameMode = text(j, "game_mode");
    m.tournament = text(field(j, "tournament"), "tournament_name");
    m.simulator = text(field(j, "simulator"), "simulator_name");
    m.rule = text(j, "applied_rule");
    m.timeLimit = number(j, "time_limit");
    m.extraEndTimeLimit = number(j, "extra_end_time_limit");
    m.ends = integer(j, "standard_end_count", 1, 100);
    m.name = text(j, "match_name");
    if (!(m.timeLimit > 0) || !(m.extraEndTimeLimit > 0))
        throw MessageError("a time limit is not above 0");
    return m;
}

TeamConfig parseTeamConfig(const Json& j) {
    TeamConfig c;
    const Json& d = field(j, "use_default_config");
    if (!d.is_boolean())
        throw MessageError("use_default_config is not true or false");
    c.useDefault = d.get<bool>();
    c.teamName = text(j, "team_name");
    if (c.useDefault)
        return c;
    for (int p = 0; p < PLAYERS; ++p) {
        const Json& pj = field(j, ("player" + std::to_string(p + 1)).c_str());
        PlayerConfig& pc = c.players[size_t(p)];
        pc.maxVelocity = number(pj, "max_velocity");
        pc.shotStdDev = number(pj, "shot_std_dev");
        pc.angleStdDev = number(pj, "angle_std_dev");
        pc.name = text(pj, "player_name");
        if (pc.maxVelocity < 0 || pc.shotStdDev < 0 || pc.angleStdDev < 0)
            throw MessageError("a player's parameter is below 0");
    }
    return c;
}

ShotRequest parseShotRequest(const Json& j) {
    ShotRequest s;
    s.velocity = number(j, "translational_velocity");
    s.spin = number(j, "angular_velocity");
    s.angle = number(j, "shot_angle");
    return s;
}

State parseState(const Json& j) {
    State s;
    s.winner = teamOrNone(j, "winner_team");
    s.end = integer(j, "end_number", 0, 1000);
    // Null in mixed doubles before the end-setup; a standard game has a number.
    s.totalShot = integer(j, "total_shot_number", 0, SHOTS_PER_END);
    s.nextTeam = teamOrNone(j, "next_shot_team");
    s.remaining = {number(j, "first_team_remaining_time"), number(j, "second_team_remaining_time")};
    s.extraRemaining = {number(j, "first_team_extra_end_remaining_time"),
                        number(j, "second_team_extra_end_remaining_time")};
    const Json& data = field(field(j, "stone_coordinate"), "data");
    const Json& score = field(j, "score");
    for (int t = 0; t < TEAMS; ++t) {
        const Json& list = field(data, teamName(t));
        if (!list.is_array() || list.size() > STONES_PER_TEAM)
            throw MessageError(std::string("the stones of ") + teamName(t) + " are not a list of up to 8");
        for (size_t k = 0; k < list.size(); ++k)
            s.stones[size_t(t)][k] = Position{number(list[k], "x"), number(list[k], "y")};
        const Json& points = field(score, teamName(t));
        if (!points.is_array())
            throw MessageError(std::string("the score of ") + teamName(t) + " is not a list");
        for (const Json& p : points) {
            if (p.is_null()) {  // an end not played yet may read null
                s.score[size_t(t)].push_back(0);
                continue;
            }
            if (!p.is_number_integer() && !(p.is_number() && p.get<double>() == std::floor(p.get<double>())))
                throw MessageError("a score entry is not a whole number");
            s.score[size_t(t)].push_back(int(p.get<double>()));
        }
    }
    for (const char* key : {"first_team_name", "second_team_name"}) {
        const auto it = j.find(key);
        if (it != j.end() && it->is_string())
            s.names[key[0] == 'f' ? 0 : 1] = it->get<std::string>();
    }
    return s;
}

State parseState(const std::string& text) {
    Json j = Json::parse(text, nullptr, false);
    if (j.is_discarded())
        throw MessageError("not JSON");
    return parseState(j);
}

int totalScore(const State& s, int team) {
    int total = 0;
    for (int p : s.score[size_t(team)])
        total += p;
    return total;
}

std::string errorDetail(const std::string& body) {
    const Json j = Json::parse(body, nullptr, false);
    if (j.is_object() && j.contains("detail")) {
        const Json& d = j["detail"];
        return d.is_string() ? d.get<std::string>() : d.dump();
    }
    return body.size() > 200 ? body.substr(0, 200) + "..." : body;
}

}  // namespace Kelvo::Dc4
