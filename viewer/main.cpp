// kelvo-view: makes the match viewer page from a game record.
//   kelvo-view RECORD.jsonl > match.html
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "viewer/page.h"

int main(int argc, char** argv) {
    const std::string usage = "usage: kelvo-view RECORD.jsonl > match.html\n";
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
    std::string html, error;
    if (!Kelvo::Viewer::matchPage(text.str(), html, error)) {
        std::fprintf(stderr, "kelvo-view: %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    std::fwrite(html.data(), 1, html.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
