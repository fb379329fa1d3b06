// The search options of the command line, defined once for the player and
// every tool that runs its search.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "settings.h"

namespace Kelvo {

// The lines of --help that describe the search options, the presets' among
// them.
std::string searchOptionsHelp();

// Adds the search options to a command line; parsed values land in
// settings. budgetNames lets a tool keep an older name beside --budget-ms.
// Once parsed, a --preset fills in what the command line left open, and a
// setting without effect with the chosen allocation fails the parse.
// defaultPreset is the preset taken when the command line names none.
void addSearchOptions(CLI::App& app, SearchSettings& settings, const std::string& budgetNames = "--budget-ms",
                      const std::string& defaultPreset = "");

// A check for unsigned options: digits only, up to 2^64 - 1.
CLI::Validator wholeNumber();

// One line for a rejected command line, without line ends.
std::string optionError(const CLI::ParseError& error);

// A tool's command line: the tool's name is the app's. Returns -1 when the
// tool should go on; otherwise the exit status, after the help (with the
// search options' lines) on standard output (0) or one line naming the bad
// option on standard error (2).
int parseToolOptions(CLI::App& app, int argc, char** argv);

// The player's command line. Returns -1 when the player should go on;
// otherwise the exit status, after the help or version text on standard
// output (0) or one line naming the bad option on standard error (2).
int parsePlayerOptions(int argc, char** argv, SearchSettings& settings);

}  // namespace Kelvo
