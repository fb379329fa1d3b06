// kelvo-view: makes the match viewer page from a game record or from a
// Digital Curling 3 server's game log.
//   kelvo-view RECORD > match.html
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "dc3server/gamelog.h"
#include "viewer/page.h"

int main(int argc, char** argv) {
    const std::string usage =
        "usage: kelvo-view RECORD > match.html\n"
        "  RECORD  a game record (JSON Lines) of kelvo-server or kelvo-dc3-server, or a\n"
        "          Digital Curling 3 server's game log (game.dcl2)\n";
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "kelvo-view: expected one record file\n%s", usage.c_str());
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kelvo-view: cannot read %s\n", argv[1]);
        return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string record = text.str(), html, error;
    if (Kelvo::Dc3::isGameLog(record)) {
        Kelvo::Dc3::GameLog log;
        if (!Kelvo::Dc3::readGameLog(record, log, error)) {
            std::fprintf(stderr, "kelvo-view: %s: %s\n", argv[1], error.c_str());
            return 2;
        }
        record = Kelvo::Dc3::gameLogRecord(log);
    }
    if (!Kelvo::Viewer::matchPage(record, html, error)) {
        std::fprintf(stderr, "kelvo-view: %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    std::fwrite(html.data(), 1, html.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
