// kelvo-dc3-server: the stand-in Digital Curling 3 server; plays one game
// between two clients, printing its course, with an optional record.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "dc3/commandline.h"
#include "player/options.h"
#include "server.h"
#include "server/process.h"

namespace {

const char USAGE[] =
    "usage: kelvo-dc3-server [--port0 P] [--port1 Q] [--host ADDRESS] [--client0 CMD] [--client1 CMD]\n"
    "                        [--seed S] [--ends N] [--thinking-time T] [--extra-end-thinking-time T]\n"
    "                        [--noise LIST] [--record FILE] [--html FILE]\n"
    "                        [--connect-timeout T] [--answer-timeout T]\n"
    "                        [--send-trajectory [--steps-per-trajectory-frame N]]\n"
    "  --port0, --port1        the ports of team0 and team1 (default 10000 and 10001;\n"
    "                          0 takes a free port, printed); team0 throws first\n"
    "  --host ADDRESS          the address to listen on (default 127.0.0.1)\n"
    "  --client0, --client1    start the team's client as the shell command `CMD HOST PORT`\n"
    "                          (its ports default to 0); the record names the commands\n"
    "  --seed S                seed of the players' noise (default: from the clock)\n"
    "  --ends N                regular ends, 1 to 10 (default 10); a tie goes on with\n"
    "                          extra ends up to end index 19, then it is a draw\n"
    "  --thinking-time T       seconds on each team's clock for the regular ends (default 600)\n"
    "  --extra-end-thinking-time T  seconds for each extra end (default 60)\n"
    "  --noise LIST            the players' noise: 1, 4 (each team's players 0..3) or 8\n"
    "                          (team0's, then team1's) comma-separated models, each\n"
    "                          identical, normal (max speed 4, 0.0076 m/s, 0.0018 rad) or\n"
    "                          normal:SPEED_SD:ANGLE_SD[:MAX_SPEED] (default normal)\n"
    "  --record FILE           write the game record as JSON Lines\n"
    "  --html FILE             write the viewer page of the game at the end\n"
    "  --connect-timeout T     seconds for both clients to connect (default 60)\n"
    "  --answer-timeout T      seconds to answer dc and is_ready (default 10)\n"
    "  --send-trajectory       every update's last_move carries the shot's trajectory\n"
    "  --steps-per-trajectory-frame N  simulation steps of 1 ms between its frames,\n"
    "                          1 to 10000 (default 100)\n";

int usageError(const std::string& message) { return Kelvo::Dc3::usageError("kelvo-dc3-server", message); }

bool parseModel(const std::string& text, Kelvo::Dc3::PlayerModel& p) {
    p = Kelvo::Dc3::PlayerModel();
    if (text == "identical") {
        p.identical = true;
        return true;
    }
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ':');)
        parts.push_back(part);
    if (parts.empty() || parts[0] != "normal" || parts.size() == 2 || parts.size() > 4)
        return false;
    double* fields[3] = {&p.stddevSpeed, &p.stddevAngle, &p.maxSpeed};
    for (size_t i = 1; i < parts.size(); ++i) {
        char* end = nullptr;
        const double v = std::strtod(parts[i].c_str(), &end);
        if (parts[i].empty() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 100)
            return false;
        *fields[i - 1] = v;
    }
    return true;
}

// 1, 4 or 8 models, comma-separated.
bool parseNoise(const std::string& text, Kelvo::Dc3::ServerOptions& options) {
    std::vector<Kelvo::Dc3::PlayerModel> models;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        models.emplace_back();
        if (!parseModel(item, models.back()))
            return false;
    }
    if (models.size() != 1 && models.size() != 4 && models.size() != 8)
        return false;
    for (size_t t = 0; t < 2; ++t)
        for (size_t i = 0; i < 4; ++i)
            options.players[t][i] = models[models.size() == 1 ? 0 : models.size() == 4 ? i : 4 * t + i];
    return true;
}

bool validSeconds(double t) { return std::isfinite(t) && t > 0 && t <= 1e6; }

}  // namespace

int main(int argc, char** argv) {
    Kelvo::Dc3::ServerOptions options;
    options.seed = uint64_t(std::chrono::system_clock::now().time_since_epoch().count());
    options.setting.thinkingTime = {600, 600};
    options.setting.extraEndThinkingTime = {60, 60};

    CLI::App app("kelvo-dc3-server");
    app.set_help_flag();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    bool help = false;
    double thinking = 600, extra = 60;
    std::string noise;
    app.add_flag("-h,--help", help);
    CLI::Option* port0 = app.add_option("--port0", options.port[0]);
    CLI::Option* port1 = app.add_option("--port1", options.port[1]);
    app.add_option("--host", options.host);
    app.add_option("--client0", options.client[0]);
    app.add_option("--client1", options.client[1]);
    app.add_option("--seed", options.seed)->check(Kelvo::wholeNumber());
    app.add_option("--ends", options.setting.maxEnd);
    app.add_option("--thinking-time", thinking);
    app.add_option("--extra-end-thinking-time", extra);
    CLI::Option* noiseOption = app.add_option("--noise", noise);
    app.add_option("--record", options.recordPath);
    app.add_option("--html", options.htmlPath);
    app.add_option("--connect-timeout", options.connectSeconds);
    app.add_option("--answer-timeout", options.answerSeconds);
    bool sendTrajectory = false;
    int trajectorySteps = 100;
    app.add_flag("--send-trajectory", sendTrajectory);
    CLI::Option* stepsOption = app.add_option("--steps-per-trajectory-frame", trajectorySteps);
    if (const int status = Kelvo::Dc3::parseCommandLine(app, help, argc, argv, USAGE); status >= 0)
        return status;
    for (int t = 0; t < 2; ++t) {
        if (options.port[t] < 0 || options.port[t] > 65535)
            return usageError("--port0 and --port1 take a whole number from 0 to 65535");
        // A started client finds its port however it was taken.
        if (!options.client[t].empty() && (t == 0 ? port0 : port1)->count() == 0)
            options.port[t] = 0;
    }
    if (options.port[0] != 0 && options.port[0] == options.port[1])
        return usageError("--port0 and --port1 must differ");
    if (options.setting.maxEnd < 1 || options.setting.maxEnd > 10)
        return usageError("--ends takes a whole number from 1 to 10");
    if (!validSeconds(thinking) || !validSeconds(extra))
        return usageError("--thinking-time and --extra-end-thinking-time take a number of seconds above 0");
    options.setting.thinkingTime = {thinking, thinking};
    options.setting.extraEndThinkingTime = {extra, extra};
    if (noiseOption->count() > 0 && !parseNoise(noise, options))
        return usageError("--noise takes 1, 4 or 8 comma-separated models: identical, normal or "
                          "normal:SPEED_SD:ANGLE_SD[:MAX_SPEED]");
    if (!validSeconds(options.connectSeconds) || !validSeconds(options.answerSeconds))
        return usageError("--connect-timeout and --answer-timeout take a number of seconds above 0");

    if (trajectorySteps < 1 || trajectorySteps > 10000)
        return usageError("--steps-per-trajectory-frame takes a whole number from 1 to 10000");
    if (stepsOption->count() > 0 && !sendTrajectory)
        return usageError("--steps-per-trajectory-frame has no effect without --send-trajectory");
    options.trajectorySteps = sendTrajectory ? trajectorySteps : 0;

    // Line by line even into a pipe, so a watcher sees each shot as it ends.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Ends the started clients on an interrupt, and ignores SIGPIPE.
    Kelvo::Server::installSignalCleanup();
    return Kelvo::Dc3::runServer(options, stdout);
}
