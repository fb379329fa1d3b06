// kelvo-dc3: plays one game on a Digital Curling 3 server.
//   kelvo-dc3 HOST PORT [--name NAME] ...
#include <chrono>
#include <csignal>
#include <memory>
#include <cstdio>
#include <string>

#include <algorithm>

#include "client.h"
#include "dc3/commandline.h"
#include "player/engine.h"
#include "player/options.h"

namespace {

// The ice the framework plays on.
constexpr char DC3_ICE[] = "fcv1";

const char USAGE[] =
    "usage: kelvo-dc3 HOST PORT [--name NAME] [--player search|draw|takeout]\n"
    "                 [--connect-timeout SECONDS] [--wait SECONDS] [--move-overhead SECONDS]\n"
    "                 [--use-budget] [--verbose]\n"
    "                 [search options]\n"
    "  HOST PORT              the server and the port of the team to play\n"
    "  --name NAME            the team's name (default kelvo)\n"
    "  --player P             how moves are decided: search (default), the player's\n"
    "                         search on the fcv1 ice within each move's budget, with\n"
    "                         the noise of the player due; draw, every stone a draw\n"
    "                         to the tee; takeout, the opponent's stone nearest the\n"
    "                         tee taken out (the better of two takeouts by 32 trials\n"
    "                         with its own noise), its own guarded, else a draw to\n"
    "                         the tee (--seed makes its trials repeatable)\n"
    "  --connect-timeout S    seconds to connect (default 10)\n"
    "  --wait S               seconds the server may stay silent before the game\n"
    "                         starts and after its result (default 600)\n"
    "  --move-overhead S      seconds of the clock kept back for every stone still to\n"
    "                         throw, for the connection and a busy machine (default 0.15)\n"
    "  --use-budget           with --player draw: keep busy for each move's whole budget\n"
    "                         before answering, as a search does (to try the time\n"
    "                         management)\n"
    "  --verbose              one line per own move on standard error: budget, time used\n"
    "Prints one line with the result and exits 0 after the game; a lost connection\n"
    "or a message it cannot take gives one line on standard error and exit status 1.\n"
    "The search options (the budget of a move comes from the clock instead of\n"
    "--budget-ms; without a --preset the game preset's, --preset kelvo for the\n"
    "line protocol player's own search):\n";

int usageError(const std::string& message) { return Kelvo::Dc3::usageError("kelvo-dc3", message); }

}  // namespace

int main(int argc, char** argv) {
    Kelvo::Dc3::ClientOptions options;
    CLI::App app("kelvo-dc3");
    app.set_help_flag();  // the usage text below is the help
    bool help = false;
    std::string player = "search";
    app.add_flag("-h,--help", help);
    app.add_option("host", options.host);
    app.add_option("port", options.port);
    app.add_option("--name", options.name);
    app.add_option("--player", player);
    app.add_option("--connect-timeout", options.connectSeconds);
    app.add_option("--wait", options.waitSeconds);
    app.add_option("--move-overhead", options.plan.overheadPerShot);
    bool useBudget = false;
    app.add_flag("--use-budget", useBudget);
    app.add_flag("--verbose", options.verbose);
    Kelvo::SearchSettings settings;
    Kelvo::parseIceName(DC3_ICE, settings.ice);
    // The best search measured on the framework's clocks, unless asked otherwise.
    Kelvo::addSearchOptions(app, settings, "--budget-ms", "game");
    const std::string usage = std::string(USAGE) + Kelvo::searchOptionsHelp();
    if (const int status = Kelvo::Dc3::parseCommandLine(app, help, argc, argv, usage.c_str()); status >= 0)
        return status;
    if (std::string(Kelvo::iceName(settings.ice)) != DC3_ICE)
        return usageError("the framework plays on the fcv1 ice only");
    if (app.count("host") == 0 || app.count("port") == 0)
        return usageError("HOST and PORT are required");
    if (options.port < 1 || options.port > 65535)
        return usageError("PORT takes a whole number from 1 to 65535");
    if (!(options.connectSeconds > 0) || !(options.waitSeconds > 0))
        return usageError("--connect-timeout and --wait take a number of seconds above 0");
    if (!(options.plan.overheadPerShot >= 0) || options.plan.overheadPerShot > 60)
        return usageError("--move-overhead takes a number of seconds from 0 to 60");
    std::unique_ptr<Kelvo::Engine> engine;
    Kelvo::Dc3::Decide decide = Kelvo::Dc3::deciderByName(player, settings, engine);
    if (!decide)
        return usageError("--player takes search, draw or takeout");
    if (useBudget)
        decide = [draw = decide](const Kelvo::Dc3::Turn& turn) {
            using Clock = std::chrono::steady_clock;
            const Clock::time_point until =
                Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(turn.budgetSeconds));
            while (Clock::now() < until) {
            }
            return draw(turn);
        };

    // A reader of the result line that has gone away must not kill the game.
    std::signal(SIGPIPE, SIG_IGN);
    return Kelvo::Dc3::runClient(options, decide, stdout, stderr);
}
