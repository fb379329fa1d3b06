// The command line of the two Digital Curling 3 programs: parsing with one
// line for a bad option, and the help.
#pragma once

#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

namespace Kelvo::Dc3 {

// One line naming what is wrong on standard error; the exit status 2.
inline int usageError(const std::string& program, const std::string& message) {
    std::fprintf(stderr, "%s: %s (--help lists the options)\n", program.c_str(), message.c_str());
    return 2;
}

// Parses the command line of `app`, whose -h/--help flag is `help`. Returns
// -1 when the program goes on, otherwise its exit status: 0 after the usage
// on standard output, 2 after usageError.
inline int parseCommandLine(CLI::App& app, bool& help, int argc, char** argv, const char* usage) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return usageError(app.get_name(), e.what());
    }
    if (help) {
        std::fputs(usage, stdout);
        return 0;
    }
    return -1;
}

}  // namespace Kelvo::Dc3
