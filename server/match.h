// One match between two player processes: the handshake, every shot of
// every end, the scores and the result, printed as it goes and optionally
// kept as a record and as pictures.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/fcv1/fcv1noise.h"
#include "kelvosim/icekind.h"

namespace Kelvo::Server {

struct MatchOptions {
    std::string player[2];
    int ends = 1;
    uint64_t seed = 0;
    double timeLimit = 10.0;  // seconds per GO (and for ISREADY)
    double step = REFERENCE_DT;  // step of the exact simulation that plays the shots
    std::string recordPath;   // empty: no record
    std::string svgDir;       // empty: no pictures
    std::string htmlPath;     // empty: no viewer page
    // The ice the shots are played on. On fcv1 the positions and the answers
    // are in its shot frame, every shot is played with fcv1Noise and `step`
    // is not used (the model steps 1 ms).
    IceKind ice = DEFAULT_ICE;
    Fcv1PlayerNoise fcv1Noise;
};

// Plays the match and prints its course to `out`. Returns 0 when a match was
// played to a result (a forfeit is a result), 1 when it could not be started.
int runMatch(const MatchOptions& options, FILE* out);

}  // namespace Kelvo::Server
