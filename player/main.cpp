#include "engine.h"
#include "options.h"
#include "protocol.h"

int main(int argc, char** argv) {
    // The command line is judged before the tables are built and before
    // anything is read: a bad option ends the process with nothing answered.
    Kelvo::SearchSettings settings;
    const int status = Kelvo::parsePlayerOptions(argc, argv, settings);
    if (status >= 0)
        return status;
    // The engine builds the motion tables before the first command is read.
    Kelvo::Engine engine(settings);
    return Kelvo::runCommandLoop(Kelvo::engineDecider(engine));
}
