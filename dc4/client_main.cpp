// kelvo-dc4: plays one match on a Digital Curling 4 server.
//   kelvo-dc4 URL (--match ID | --create) [--user U] [--password P] ...
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "client.h"
#include "dc3/commandline.h"
#include "kelvosim/fcv1/fcv1dc4.h"
#include "player/engine.h"
#include "player/options.h"

namespace {

constexpr char DC4_ICE[] = "fcv1";

const char USAGE[] =
    "usage: kelvo-dc4 URL (--match ID | --create | --create-only) [--user U] [--password P]\n"
    "                 [--team team0|team1] [--team-name NAME] [--noise SPEED_SD:ANGLE_SD[:MAX_SPEED]]\n"
    "                 [--ends N] [--time-limit S] [--extra-end-time-limit S] [--rule R] [--match-name NAME]\n"
    "                 [--player search|draw|takeout] [--connect-timeout S] [--wait S] [--reconnects N]\n"
    "                 [--move-overhead S] [--verbose] [search options]\n"
    "  URL                    the server, as http://HOST:PORT\n"
    "  --match ID             join this match\n"
    "  --create               create a match, print its id and play it\n"
    "  --create-only          create a match, print its id and stop\n"
    "  --user U, --password P the account (default user0, pass0)\n"
    "  --team T               the team asked for (default team0; the free one if taken)\n"
    "  --team-name NAME       the team's name (default kelvo)\n"
    "  --noise SD:SD[:MAX]    the four players' speed and angle spreads and top speed;\n"
    "                         default: the server's default players (assumed 0.0076:0.0018:4)\n"
    "  --ends N, --time-limit S, --extra-end-time-limit S, --rule R, --match-name NAME\n"
    "                         the match to create (default 8 ends, 600 s, 60 s, fgz_rule\n"
    "                         or no_tick_rule, kelvo); the search plays by --rule's free\n"
    "                         guard zone, in a match it joins too\n"
    "  --player P             search (default): the player's search within each shot's\n"
    "                         budget, with the noise of the player due; draw: every stone\n"
    "                         a draw to the tee; takeout: kelvo-dc3's takeout player\n"
    "  --connect-timeout S    seconds to connect (default 10)\n"
    "  --wait S               seconds the stream may stay silent before the match starts\n"
    "                         (default 600); during play the clock of the team due\n"
    "  --reconnects N         times in a row to open a dropped stream again (default 5)\n"
    "  --move-overhead S      seconds kept back for every stone still to throw (default 0.15)\n"
    "  --verbose              one line per own shot and per reconnect on standard error\n"
    "Prints one result line and exits 0 once the match has a winner; a refused\n"
    "connection, bad credentials, a body not as described or a stream silent past the\n"
    "clock of the team due gives one line on standard error and exit status 1.\n"
    "The search options (without a --preset the game preset's):\n";

int usageError(const std::string& message) { return Kelvo::Dc3::usageError("kelvo-dc4", message); }

bool parseNoise(const std::string& text, Kelvo::Dc4::PlayerConfig& p) {
    double sd = 0, angle = 0, top = p.maxVelocity;
    char extra = 0;
    const int n = std::sscanf(text.c_str(), "%lf:%lf:%lf%c", &sd, &angle, &top, &extra);
    if (n != 2 && n != 3)
        return false;
    if (!(sd >= 0 && sd <= 1) || !(angle >= 0 && angle <= 1) || !(top > 0 && top <= 10))
        return false;
    p.shotStdDev = sd;
    p.angleStdDev = angle;
    p.maxVelocity = top;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Kelvo::Dc4::ClientOptions options;
    CLI::App app("kelvo-dc4");
    app.set_help_flag();
    bool help = false, create = false;
    std::string player = "search", team = "team0", noise;
    app.add_flag("-h,--help", help);
    app.add_option("url", options.url);
    app.add_option("--match", options.matchId);
    app.add_flag("--create", create);
    app.add_flag("--create-only", options.createOnly);
    app.add_option("--user", options.user);
    app.add_option("--password", options.password);
    app.add_option("--team", team);
    app.add_option("--team-name", options.session.config.teamName);
    app.add_option("--noise", noise);
    app.add_option("--ends", options.match.ends);
    app.add_option("--time-limit", options.match.timeLimit);
    app.add_option("--extra-end-time-limit", options.match.extraEndTimeLimit);
    app.add_option("--rule", options.match.rule);
    app.add_option("--match-name", options.match.name);
    app.add_option("--player", player);
    app.add_option("--connect-timeout", options.connectSeconds);
    app.add_option("--wait", options.waitSeconds);
    app.add_option("--reconnects", options.reconnects);
    app.add_option("--move-overhead", options.session.plan.overheadPerShot);
    app.add_flag("--verbose", options.session.verbose);
    Kelvo::SearchSettings settings;
    Kelvo::parseIceName(DC4_ICE, settings.ice);
    Kelvo::addSearchOptions(app, settings, "--budget-ms", "game");
    const std::string usage = std::string(USAGE) + Kelvo::searchOptionsHelp();
    if (const int status = Kelvo::Dc3::parseCommandLine(app, help, argc, argv, usage.c_str()); status >= 0)
        return status;
    if (std::string(Kelvo::iceName(settings.ice)) != DC4_ICE)
        return usageError("the framework plays on the fcv1 ice only");
    if (app.count("url") == 0 || options.url.rfind("http", 0) != 0)
        return usageError("URL is required, as http://HOST:PORT");
    if ((create || options.createOnly) == !options.matchId.empty())
        return usageError("give either --match ID or --create (or --create-only)");
    options.team = Kelvo::Dc4::parseTeam(team);
    if (options.team < 0)
        return usageError("--team takes team0 or team1");
    if (!(options.connectSeconds > 0) || !(options.waitSeconds > 0))
        return usageError("--connect-timeout and --wait take a number of seconds above 0");
    if (options.reconnects < 0 || options.reconnects > 1000)
        return usageError("--reconnects takes a whole number from 0 to 1000");
    if (!(options.session.plan.overheadPerShot >= 0) || options.session.plan.overheadPerShot > 60)
        return usageError("--move-overhead takes a number of seconds from 0 to 60");
    if (options.match.ends < 1 || options.match.ends > 100 || !(options.match.timeLimit > 0) ||
        !(options.match.extraEndTimeLimit > 0))
        return usageError("--ends takes 1 to 100, the time limits a number of seconds above 0");
    Kelvo::Dc4::TeamConfig& config = options.session.config;
    for (int p = 0; p < Kelvo::Dc4::PLAYERS; ++p)
        config.players[size_t(p)].name = config.teamName + "-" + std::to_string(p + 1);
    if (!noise.empty()) {
        config.useDefault = false;
        for (Kelvo::Dc4::PlayerConfig& p : config.players)
            if (!parseNoise(noise, p))
                return usageError("--noise takes SPEED_SD:ANGLE_SD[:MAX_SPEED], spreads from 0 to 1");
    }
    options.session.ends = options.match.ends;
    Kelvo::Dc4Guard guard;
    if (!Kelvo::parseDc4Guard(options.match.rule, guard))
        return usageError("--rule takes fgz_rule, no_tick_rule or modified_fgz_rule");

    // The search plays on the fcv1 ice by the match's rule set.
    std::unique_ptr<Kelvo::Engine> engine;
    const Kelvo::Dc3::Decide decide = Kelvo::Dc3::deciderByName(
        player, settings, engine, player == "draw" ? nullptr : Kelvo::makeIce(settings.ice, Kelvo::dc4Rules(guard)));
    if (!decide)
        return usageError("--player takes search, draw or takeout");
    std::signal(SIGPIPE, SIG_IGN);
    return Kelvo::Dc4::runClient(options, decide, stdout, stderr);
}
