// kelvo-analyse: runs the search instances of one GO on a position and
// shows what each candidate was worth and how the answer came about.
//   kelvo-analyse [FILE]                          protocol lines (stdin without FILE)
//   kelvo-analyse --record FILE --end E --shot S  the position of a recorded shot
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "dc3server/gamelog.h"
#include "engine.h"
#include "options.h"
#include "report.h"

namespace {

const char USAGE[] =
    "usage: kelvo-analyse [FILE] [search options] [--json] [--svg FILE]\n"
    "       kelvo-analyse --record FILE --end E --shot S [search options] [--json] [--svg FILE]\n"
    "  FILE                     protocol lines as a server sends them (POSITION,\n"
    "                           SETSTATE, SCORE; standard input when no file is given)\n"
    "  --record FILE --end E --shot S\n"
    "                           the position the mover saw at that shot of a game record,\n"
    "                           or of a Digital Curling 3 server's game log (game.dcl2:\n"
    "                           searched on the fcv1 ice with the noise of the player due)\n"
    "  --json                   print the analysis as JSON instead of a table\n"
    "  --svg FILE               draw the house with the searched shots' rest points\n"
    "search options, as the player's (--budget is another name for --budget-ms):\n";

void printUsage(FILE* to) { std::fprintf(to, "%s%s", USAGE, Kelvo::searchOptionsHelp().c_str()); }

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelvo-analyse: %s\n", message.c_str());
    printUsage(stderr);
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "kelvo-analyse: %s\n", message.c_str());
    return 2;
}

bool readAll(const std::string& path, std::string& text) {
    std::stringstream ss;
    if (path.empty() || path == "-") {
        ss << std::cin.rdbuf();
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        ss << in.rdbuf();
    }
    text = ss.str();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace Kelvo;
    CLI::App app("kelvo-analyse");
    app.set_help_flag();
    bool help = false, asJson = false;
    std::string input, recordPath, svgPath;
    int end = -1, shot = -1;
    SearchSettings settings;
    app.add_flag("-h,--help", help);
    app.add_option("file", input);
    CLI::Option* record = app.add_option("--record", recordPath);
    CLI::Option* endOption = app.add_option("--end", end)->check(CLI::Range(0, 99));
    CLI::Option* shotOption = app.add_option("--shot", shot)->check(CLI::Range(0, 15));
    addSearchOptions(app, settings, "--budget-ms,--budget");
    app.add_flag("--json", asJson);
    app.add_option("--svg", svgPath);
    endOption->needs(record);
    shotOption->needs(record);
    record->needs(endOption, shotOption);
    record->excludes(app.get_option("file"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (help)
            return printUsage(stdout), 0;
        return usageError(optionError(e));
    }
    if (help) {
        printUsage(stdout);
        return 0;
    }

    Analyse::AnalysedPosition position;
    std::string text;
    if (record->count() > 0) {
        if (!readAll(recordPath, text))
            return fail("cannot read " + recordPath);
        std::string error;
        if (Dc3::isGameLog(text)) {
            Dc3::GameLog log;
            Dc3::Turn turn;
            if (!Dc3::readGameLog(text, log, error) || !Dc3::gameLogTurn(log, end, shot, turn, error))
                return fail(recordPath + ": " + error);
            position.state = Dc3::toGameState(turn);
            position.firstSide = 1 - turn.hammer;
            // A game log is a Digital Curling 3 game: its ice is fcv1.
            parseIceName("fcv1", settings.ice);
            settings.fcv1Noise = turn.noise;
        } else if (!Analyse::fromRecord(text, end, shot, position, error)) {
            return fail(recordPath + ": " + error);
        }
    } else {
        if (!readAll(input, text))
            return fail("cannot read " + input);
        position = Analyse::fromProtocol(text);
    }
    // The player refuses such a GO; the analysis says why in the same words.
    std::string why;
    if (!isPlayableState(position.state, &why))
        return fail("GO ignored: " + why);

    Engine engine(settings);
    const Analyse::Analysis analysis = Analyse::analyse(position, engine);
    const std::string out = asJson ? Analyse::json(analysis) : Analyse::table(analysis);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (!svgPath.empty()) {
        std::ofstream svg(svgPath, std::ios::binary | std::ios::trunc);
        svg << Analyse::houseSvg(analysis);
        svg.close();
        if (svg.fail())
            return fail("cannot write " + svgPath);
    }
    return 0;
}
