// kelvo-dc4-server: the stand-in Digital Curling 4 server.
#include <cstdio>
#include <sstream>
#include <string>

#include "dc3/commandline.h"
#include "player/options.h"
#include "server.h"

namespace {

const char USAGE[] =
    "usage: kelvo-dc4-server [--host ADDRESS] [--port P] [--account USER:PASSWORD]... [--seed S]\n"
    "                        [--records DIR] [--ping-seconds S] [--exit-after N] [--quiet]\n"
    "                        [--drop-streams END:SHOT]\n"
    "  --host ADDRESS      the address to listen on (default 127.0.0.1)\n"
    "  --port P            the port (default 0: a free one, printed)\n"
    "  --account U:P       an account; repeat for more (default user0:pass0 and user1:pass1)\n"
    "  --seed S            seed of the players' noise; match k of the run gets its own from\n"
    "                      it, so a run replays exactly (default 0)\n"
    "  --records DIR       write each match's record as DIR/<match id>.jsonl\n"
    "  --ping-seconds S    a keep-alive comment on a stream silent this long (default 30)\n"
    "  --exit-after N      stop once N matches have a winner (default: run until stopped)\n"
    "  --quiet             no line per match\n"
    "  --drop-streams E:S  close the players' streams once, right after the state of end E,\n"
    "                      total shot S (to try the clients' reconnect)\n"
    "Prints \"listening on HOST:PORT\" first, then a line per match created, started and won.\n";

int usageError(const std::string& message) { return Kelvo::Dc3::usageError("kelvo-dc4-server", message); }

}  // namespace

int main(int argc, char** argv) {
    Kelvo::Dc4::ServerOptions options;
    CLI::App app("kelvo-dc4-server");
    app.set_help_flag();
    bool help = false;
    std::vector<std::string> accounts;
    app.add_flag("-h,--help", help);
    app.add_option("--host", options.host);
    app.add_option("--port", options.port);
    app.add_option("--account", accounts);
    app.add_option("--seed", options.seed)->check(Kelvo::wholeNumber());
    app.add_option("--records", options.recordDir);
    app.add_option("--ping-seconds", options.pingSeconds);
    app.add_option("--exit-after", options.exitAfter);
    app.add_flag("--quiet", options.quiet);
    std::string drop;
    app.add_option("--drop-streams", drop);
    if (const int status = Kelvo::Dc3::parseCommandLine(app, help, argc, argv, USAGE); status >= 0)
        return status;
    if (options.port < 0 || options.port > 65535)
        return usageError("--port takes a whole number from 0 to 65535");
    if (!(options.pingSeconds >= 0.1 && options.pingSeconds <= 3600))
        return usageError("--ping-seconds takes 0.1 to 3600");
    if (options.exitAfter < 0)
        return usageError("--exit-after takes a whole number from 0");
    if (!drop.empty()) {
        char extra = 0;
        if (std::sscanf(drop.c_str(), "%d:%d%c", &options.dropEnd, &options.dropShot, &extra) != 2 ||
            options.dropEnd < 0 || options.dropShot < 0 || options.dropShot > 16)
            return usageError("--drop-streams takes END:SHOT");
    }
    if (!accounts.empty()) {
        options.accounts.clear();
        for (const std::string& a : accounts) {
            const size_t colon = a.find(':');
            if (colon == std::string::npos || colon == 0)
                return usageError("--account takes USER:PASSWORD");
            options.accounts.emplace_back(a.substr(0, colon), a.substr(colon + 1));
        }
    }
    return Kelvo::Dc4::runServer(options, stdout);
}
