#include "positions.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine.h"

namespace KelvoBench {

namespace {

[[noreturn]] void fail(const std::string& tool, const std::string& path, int line, const std::string& what) {
    std::fprintf(stderr, "%s: %s:%d: %s\n", tool.c_str(), path.c_str(), line, what.c_str());
    std::exit(2);
}

}  // namespace

std::vector<BenchPosition> readPositions(const std::string& tool, const std::string& path, int defaultShot,
                                         int lowShot, int highShot) {
    std::ifstream in(path);
    if (!in)
        fail(tool, path, 0, "cannot be read");
    std::vector<BenchPosition> positions;
    std::string text;
    for (int lineNo = 1; std::getline(in, text); ++lineNo) {
        text = text.substr(0, text.find('#'));
        std::istringstream line(text);
        std::string key;
        if (!(line >> key))
            continue;
        if (key == "position") {
            BenchPosition p;
            if (!(line >> p.name))
                fail(tool, path, lineNo, "position needs a name");
            p.state.shotNumber = defaultShot;
            positions.push_back(p);
            continue;
        }
        if (positions.empty())
            fail(tool, path, lineNo, "'" + key + "' before the first position");
        Kelvo::_GAMESTATE& s = positions.back().state;
        if (key == "end") {
            if (!(line >> s.endNumber >> s.finalEnd) || s.endNumber < 1 || s.endNumber > 9)
                fail(tool, path, lineNo, "end takes the end (1..9) and the final end");
        } else if (key == "scores") {
            int e = 0, score = 0;
            while (e < 10 && line >> score)
                s.endScores[e++] = score;
        } else if (key == "shot") {
            if (!(line >> s.shotNumber) || s.shotNumber < lowShot || s.shotNumber > highShot)
                fail(tool, path, lineNo,
                     "shot takes a shot number " + std::to_string(lowShot) + ".." + std::to_string(highShot));
        } else if (key == "stone") {
            int i = -1;
            float x = 0, y = 0;
            if (!(line >> i >> x >> y) || i < 0 || i > 14)
                fail(tool, path, lineNo, "stone takes an index 0..14 and two coordinates");
            s.stonePos[i][0] = x;
            s.stonePos[i][1] = y;
        } else {
            fail(tool, path, lineNo, "unknown key '" + key + "'");
        }
    }
    if (positions.empty())
        fail(tool, path, 0, "no positions");
    for (const BenchPosition& p : positions) {
        std::string why;
        if (!Kelvo::isPlayableState(p.state, &why))
            fail(tool, path, 0, p.name + ": " + why);
    }
    return positions;
}

Kelvo::Candidate answerShot(const std::string& tool, const std::string& answer) {
    Kelvo::Candidate shot;
    int spin = 0;
    if (std::sscanf(answer.c_str(), "BESTSHOT %lf %lf %d", &shot.x, &shot.y, &spin) != 3) {
        std::fprintf(stderr, "%s: unexpected answer '%s'\n", tool.c_str(), answer.c_str());
        std::exit(1);
    }
    shot.y = -shot.y;
    shot.spin = spin;
    return shot;
}

void requireClassicIce(const std::string& tool, const Kelvo::SearchSettings& settings) {
    if (settings.ice == Kelvo::DEFAULT_ICE)
        return;
    std::fprintf(stderr, "%s: its positions and reference grid are on the classic ice; --ice %s is not measured here\n",
                 tool.c_str(), Kelvo::iceName(settings.ice));
    std::exit(2);
}

}  // namespace KelvoBench
