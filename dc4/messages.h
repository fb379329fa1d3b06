// The records Digital Curling 4 sends over HTTP: the match to create, a
// team's configuration, a shot and the state the stream pushes. A reader
// checks a field only where this program uses it; a field it uses that is
// missing or of the wrong kind is a MessageError.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kelvosim/fcv1/fcv1model.h"

namespace Kelvo::Dc4 {

constexpr int TEAMS = 2;
constexpr int PLAYERS = 4;
constexpr int STONES_PER_TEAM = 8;
constexpr int SHOTS_PER_END = 16;

struct MessageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "team0" / "team1"; -1 for anything else.
int parseTeam(const std::string& name);
const char* teamName(int team);

struct MatchRequest {
    std::string gameMode = "standard";
    std::string tournament = "local";
    std::string simulator = "fcv1";
    std::string rule = "fgz_rule";
    double timeLimit = 600;
    double extraEndTimeLimit = 60;
    int ends = 8;
    std::string name = "kelvo";
};

struct PlayerConfig {
    double maxVelocity = 4.0;
    double shotStdDev = 0.0076;
    double angleStdDev = 0.0018;
    std::string name;
};

struct TeamConfig {
    bool useDefault = true;
    std::string teamName = "kelvo";
    std::array<PlayerConfig, PLAYERS> players;
};

struct ShotRequest {
    double velocity = 0;  // translational_velocity, m/s
    double angle = 0;     // shot_angle, rad, atan2(vy, vx) in the shot frame
    double spin = 0;      // angular_velocity, rad/s, + curls toward +x
};

struct Position {
    double x = 0, y = 0;
};

// A state as the stream and the REST answers show it.
struct State {
    int winner = -1;       // -1: none yet
    int end = 0;
    int totalShot = 0;     // stones thrown in this end
    int nextTeam = -1;     // -1: nobody (end or game over)
    std::array<std::string, TEAMS> names;
    std::array<double, TEAMS> remaining = {};       // regular clocks, s
    std::array<double, TEAMS> extraRemaining = {};  // extra-end clocks, s
    std::optional<ShotRequest> lastMove;            // as executed
    std::array<std::array<Position, STONES_PER_TEAM>, TEAMS> stones = {};  // (0, 0): not in play
    std::array<std::vector<int>, TEAMS> score;      // ends + 1 entries each
};

nlohmann::json toJson(const MatchRequest& m);
nlohmann::json toJson(const TeamConfig& c);
nlohmann::json toJson(const ShotRequest& s);
nlohmann::json toJson(const State& s);

MatchRequest parseMatchRequest(const nlohmann::json& j);
TeamConfig parseTeamConfig(const nlohmann::json& j);
ShotRequest parseShotRequest(const nlohmann::json& j);

// What the client uses of a state: the winner, the end and shot, the team
// to throw, the clocks, the stones and the score. Unknown and unused keys
// are never a reason to fail.
State parseState(const nlohmann::json& j);
State parseState(const std::string& text);

// Total points of a team in a state's score.
int totalScore(const State& s, int team);

// The error text of a {"detail": ...} body, or the body itself cut short.
std::string errorDetail(const std::string& body);

}  // namespace Kelvo::Dc4
