// kelvo-takeout: the rule-based takeout player (takeout.h) on the line
// protocol, an opponent for kelvo-server tournaments.
//   kelvo-takeout [--ice classic|fcv1] [--noise-speed SD] [--noise-angle SD] [--seed S]
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "player/engine.h"
#include "player/options.h"
#include "player/protocol.h"
#include "takeout.h"

namespace {

const char USAGE[] =
    "usage: kelvo-takeout [--ice classic|fcv1] [--noise-speed SD] [--noise-angle SD] [--seed S]\n"
    "A rule-based player on the line protocol: it takes out the opponent's stone\n"
    "nearest the tee (the better of two takeouts, each tried 32 times with its own\n"
    "noise), guards its own, and otherwise draws to the tee.\n"
    "  --ice ICE        classic (default) or fcv1\n"
    "  --noise-speed SD fcv1: the noise it assumes for its trials (default 0.0076)\n"
    "  --noise-angle SD fcv1: the same for the direction (default 0.0018)\n"
    "  --seed S         the trials' noise from S, the end and the shot (default: fresh)\n";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-takeout");
    app.set_help_flag();
    bool help = false;
    app.add_flag("-h,--help", help);
    Kelvo::SearchSettings settings;
    app.add_option("--ice", settings.ice)->transform(CLI::CheckedTransformer(Kelvo::iceKindsByName()));
    app.add_option("--noise-speed", settings.fcv1Noise.stddevSpeed)->check(CLI::Range(0.0f, 10.0f));
    app.add_option("--noise-angle", settings.fcv1Noise.stddevAngle)->check(CLI::Range(0.0f, 10.0f));
    uint64_t seedValue = 0;
    CLI::Option* seed = app.add_option("--seed", seedValue)->check(Kelvo::wholeNumber());
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "kelvo-takeout: %s\n", Kelvo::optionError(e).c_str());
        return 2;
    }
    if (help) {
        std::printf("%s", USAGE);
        return 0;
    }
    const std::optional<uint64_t> seeded = seed->count() ? std::optional<uint64_t>(seedValue) : std::nullopt;
    const Kelvo::Engine engine(settings);  // builds the ice's tables
    const Kelvo::SimContext& sim = engine.simulation();
    return Kelvo::runCommandLoop([&sim, seeded](const Kelvo::_GAMESTATE& state) {
        std::string why;
        const std::string answer = Kelvo::takeoutAnswer(state, sim, seeded, &why);
        if (answer.empty()) {
            std::fprintf(stderr, "kelvo-takeout: GO ignored: %s\n", why.c_str());
            std::fflush(stderr);
        }
        return answer;
    });
}
