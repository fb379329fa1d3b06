#include "record.h"

#include <nlohmann/json.hpp>

#include "referee/recordjson.h"

namespace Kelvo::Server {

using namespace Referee;

namespace {

Json textArray(const std::vector<std::string>& items) {
    Json out = Json::array();
    for (const std::string& item : items)
        out.push_back(textJson(item));
    return out;
}

Json positions(const Position& position) {
    Json out = Json::array();
    for (int i = 0; i < STONES; ++i)
        out.push_back(pointJson(position.xy[i][0], position.xy[i][1]));
    return out;
}

}  // namespace

void RecordWriter::write(const MatchEntry& e) {
    Json o{{"type", "match"},
           {"players", textArray({e.players[0], e.players[1]})},
           {"seed", e.seed},
           {"ends", e.ends},
           {"timeLimit", recordNumber(e.timeLimit)},
           {"step", recordNumber(e.step)},
           {"sent", sidesJson(textArray(e.sent[0]), textArray(e.sent[1]))},
           {"ready", sidesJson(textJson(e.ready[0]), textJson(e.ready[1]))}};
    // A record on the default ice stays as it was; one on another ice names
    // it, and its positions, paths and answers are in that ice's frame.
    if (e.ice != DEFAULT_ICE)
        o["ice"] = iceName(e.ice);
    if (sheetOf(e.ice).noiseModel() == NoiseModel::SPEED_AND_ANGLE) {
        o["noise"] = Json{{"speed", recordNumber(e.fcv1Noise.stddevSpeed)},
                          {"angle", recordNumber(e.fcv1Noise.stddevAngle)},
                          {"maxSpeed", recordNumber(e.fcv1Noise.maxSpeed)}};
    }
    RecordFile::write(o);
}

void RecordWriter::write(const ShotEntry& e) {
    Json o{{"type", "shot"},
           {"end", e.end},
           {"shot", e.shot},
           {"player", playerName(e.side)},
           {"sent", sidesJson(textArray(e.sent[0]), textArray(e.sent[1]))},
           {"reply", textJson(e.reply)},
           {"outcome", e.outcome},
           {"seconds", recordNumber(e.seconds)}};
    if (e.outcome == "thrown") {
        o["answered"] =
            Json{{"x", recordNumber(e.answered.x)}, {"y", recordNumber(e.answered.y)}, {"spin", e.answered.spin}};
        o["noise"] = Json{{"ex", recordNumber(e.noise.ex)},
                          {"ey", recordNumber(e.noise.ey)},
                          {"dx", recordNumber(e.noise.dx)},
                          {"dy", recordNumber(e.noise.dy)}};
        o["thrown"] =
            Json{{"x", recordNumber(e.thrown.x)}, {"forward", recordNumber(e.thrown.y)}, {"spin", e.thrown.spin}};
        o["void"] = e.voided;
        if (sheetOf(e.after.ice).noiseModel() == NoiseModel::SPEED_AND_ANGLE) {
            // The moves as the viewer shows games with speed-and-angle
            // noise: asked for and played.
            auto move = [](double vx, double vy, int spin) {
                return Json{{"vx", recordNumber(vx)}, {"vy", recordNumber(vy)}, {"rotation", spin == 1 ? "ccw" : "cw"}};
            };
            o["selected"] = move(e.answered.x, e.answered.y, e.answered.spin);
            o["actual"] = move(e.thrown.x, e.thrown.y, e.thrown.spin);
        }
        if (inPlay(e.after, e.shot))
            o["rest"] = pointJson(e.after.xy[e.shot][0], e.after.xy[e.shot][1]);
        else
            o["rest"] = nullptr;
        o["paths"] = pathsJson(e.paths);
    }
    o["position"] = positions(e.after);
    o["stonesInPlay"] = stonesInPlay(e.after);
    if (!e.picture.empty())
        o["picture"] = textJson(e.picture);
    RecordFile::write(o);
}

void RecordWriter::write(const EndEntry& e) {
    Json o = endJson(e.end, e.score, e.total, e.firstSide, e.nextFirstSide);
    o["sent"] = textJson(e.command);
    o["position"] = positions(e.position);
    o["stonesInPlay"] = stonesInPlay(e.position);
    if (!e.picture.empty())
        o["picture"] = textJson(e.picture);
    RecordFile::write(o);
}

void RecordWriter::write(const ResultEntry& e) {
    RecordFile::write(resultJson(e.winner, e.total, e.forfeit, e.reason));
}

}  // namespace Kelvo::Server
