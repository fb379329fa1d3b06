#include "position.h"

#include <strings.h>

#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine.h"
#include "protocol.h"

namespace Kelvo::Analyse {

namespace {

using Json = nlohmann::json;

// Hands one line to the player's own command handling, as if it were the
// player: ISREADY would answer on standard output, and GO would search, so
// those two are not handled; a GO only moves the first-end flag the way the
// player's GO does.
class Replay {
public:
    Replay() { handle("NEWGAME"); }

    void feed(const std::string& text) {
        LineAssembler lines;
        auto one = [this](char* line) { handle(line); };
        lines.feed(text.data(), text.size(), one);
        lines.flush(one);
    }

    void handle(const std::string& line) {
        const std::string word = line.substr(0, line.find(' '));
        if (strcasecmp(word.c_str(), "ISREADY") == 0)
            return;
        if (strcasecmp(word.c_str(), "GO") == 0) {
            go();
            return;
        }
        std::vector<char> block(line.begin(), line.end());
        block.push_back('\0');
        handleCommand(block.data(), MoveDecider());
    }

    void go() {
        if (isPlayableState(gameState))
            flag_ = firstEndHammerAfterGo(flag_, gameState);
    }

    AnalysedPosition position() const { return AnalysedPosition{gameState, flag_, 0}; }

private:
    bool flag_ = false;
};

}  // namespace

AnalysedPosition fromProtocol(const std::string& text) {
    Replay replay;
    replay.feed(text);
    // The GO the analysis stands for, whether or not the lines end with one.
    replay.go();
    return replay.position();
}

bool fromRecord(const std::string& record, int end, int shot, AnalysedPosition& position, std::string& error) {
    std::vector<Json> objects;
    std::istringstream in(record);
    std::string text;
    int target = -1;
    for (int number = 1; std::getline(in, text); ++number) {
        Json o = Json::parse(text, nullptr, false);
        if (o.is_discarded() || !o.is_object() || !o.contains("type") || !o["type"].is_string()) {
            error = "line " + std::to_string(number) + ": not a record object";
            return false;
        }
        if (o["type"] == "shot" && o.value("end", -1) == end && o.value("shot", -1) == shot)
            target = int(objects.size());
        objects.push_back(std::move(o));
        if (target >= 0)
            break;
    }
    if (target < 0) {
        error = "no shot " + std::to_string(shot) + " of end " + std::to_string(end) + " in the record";
        return false;
    }
    const Json& aim = objects[size_t(target)];
    if (!aim.contains("player") || (aim["player"] != "player1" && aim["player"] != "player2")) {
        error = "line " + std::to_string(target + 1) + ": the shot names no player";
        return false;
    }
    const std::string mover = aim["player"];
    int firstSide = 0;
    Replay replay;
    try {
        for (size_t k = 0; k <= size_t(target); ++k) {
            const Json& o = objects[k];
            if (o["type"] == "match" || o["type"] == "shot") {
                for (const Json& line : o.at("sent").at(mover))
                    replay.handle(line.get<std::string>());
                if (o["type"] == "shot" && o.value("end", -1) == end && o.value("shot", -1) == 0)
                    firstSide = o.value("player", "") == "player1" ? 0 : 1;
            } else if (o["type"] == "end") {
                replay.handle(o.at("sent").get<std::string>());
            }
        }
    } catch (const Json::exception&) {
        error = "the record lacks the commands sent to " + mover;
        return false;
    }
    position = replay.position();
    position.firstSide = firstSide;
    return true;
}

}  // namespace Kelvo::Analyse
