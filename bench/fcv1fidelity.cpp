// kelvo-fidelity on the fcv1 ice.
//
//   --replay FILE [--check] [--fast]
//       Simulates every line of FILE (lines of shots as JSON, only `input`
//       used) and writes one result line per shot. With --check it compares
//       with the file's results and ends with the fcv1-replay line (and, for
//       recorded trajectories, the frame-by-frame fcv1-trajectories line);
//       the exit status is 1 on any set or foul mismatch or unreadable line.
#include "fcv1fidelity.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "kelvosim/fcv1exact.h"
#include "kelvosim/fcv1replay.h"

namespace Kelvo {

namespace {

struct Fcv1Options {
    std::string replay;
    bool check = false;
    bool fast = false;
};

bool parseOptions(int argc, char** argv, Fcv1Options& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--replay" && i + 1 < argc)
            o.replay = argv[++i];
        else if (a == "--check")
            o.check = true;
        else if (a == "--fast")
            o.fast = true;
        else {
            std::fprintf(stderr, "kelvo-fidelity --ice fcv1: unknown argument %s\n", a.c_str());
            return false;
        }
    }
    return true;
}

int replay(const Fcv1Options& o) {
    std::ifstream in(o.replay);
    if (!in) {
        std::fprintf(stderr, "kelvo-fidelity: cannot read %s\n", o.replay.c_str());
        return 1;
    }
    Fcv1ReplayStats stats;
    Fcv1TrajectoryStats frames;
    int bad = 0, number = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        Fcv1ReplayLine shot;
        std::string error;
        if (!parseFcv1Line(line, shot, error)) {
            std::fprintf(stderr, "kelvo-fidelity: %s:%d: %s\n", o.replay.c_str(), number, error.c_str());
            ++bad;
            continue;
        }
        Fcv1Trace trace;
        trace.every = shot.trajectory.every;
        const bool traced = o.check && shot.hasTrajectory && !o.fast;
        const Fcv1ShotResult result = simulateFcv1Exact(shot.input, traced ? &trace : nullptr);
        std::printf("%s\n", formatFcv1Result(result).c_str());
        if (o.check && shot.hasOutput)
            stats.add(shot.output, result);
        if (traced)
            frames.add(shot.trajectory, trace);
    }
    if (o.check) {
        if (frames.shots > 0)
            std::printf("%s\n", frames.line().c_str());
        std::printf("%s\n", stats.line().c_str());
    }
    return bad > 0 || stats.setMismatch > 0 || stats.foulMismatch > 0 ? 1 : 0;
}

}  // namespace

int fcv1FidelityMain(int argc, char** argv) {
    Fcv1Options o;
    if (!parseOptions(argc, argv, o))
        return 2;
    if (!o.replay.empty())
        return replay(o);
    std::fprintf(stderr, "kelvo-fidelity --ice fcv1: nothing to do yet\n");
    return 2;
}

}  // namespace Kelvo
