#include "record.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

namespace Kelvo::Server {

double recordNumber(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return std::strtod(buf, nullptr);
}

double pathNumber(double v) { return std::round(v * 1e3) / 1e3; }

namespace {

using Json = nlohmann::ordered_json;

Json text(const std::string& bytes) {
    // Each byte is one character (bytes beyond ASCII as U+0080..U+00FF), so a
    // reply of arbitrary bytes still gives valid JSON; written with
    // ensure_ascii they appear as \u00XX escapes.
    std::string utf8;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            utf8 += char(c);
        } else {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

Json textArray(const std::vector<std::string>& items) {
    Json out = Json::array();
    for (const std::string& item : items)
        out.push_back(text(item));
    return out;
}

Json positions(const Position& position) {
    Json out = Json::array();
    for (int i = 0; i < STONES; ++i)
        out.push_back(Json::array({recordNumber(position.xy[i][0]), recordNumber(position.xy[i][1])}));
    return out;
}

Json paths(const std::vector<StonePath>& paths) {
    Json out = Json::array();
    for (const StonePath& path : paths) {
        Json points = Json::array();
        for (const PathPoint& p : path.points)
            points.push_back(Json::array({pathNumber(p.x), pathNumber(p.y), pathNumber(p.t)}));
        out.push_back(Json{{"stone", path.stone}, {"points", std::move(points)}});
    }
    return out;
}

Json sides(const Json& player1, const Json& player2) { return Json{{"player1", player1}, {"player2", player2}}; }

std::string playerName(int side) { return side == 0 ? "player1" : "player2"; }

}  // namespace

std::string jsonString(const std::string& bytes) { return text(bytes).dump(-1, ' ', true); }

RecordWriter::~RecordWriter() { close(); }

bool RecordWriter::open(const std::string& path) {
    close();
    const std::filesystem::path p(path);
    std::error_code ignored;
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path(), ignored);
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void RecordWriter::close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

void RecordWriter::line(const Json& object) {
    if (!file_ && !keep_)
        return;
    const std::string text = object.dump(-1, ' ', true);
    if (keep_)
        kept_ += text + "\n";
    if (!file_)
        return;
    std::fputs(text.c_str(), file_);
    std::fputc('\n', file_);
    // Flushed per line: the record of an interrupted match stays readable.
    std::fflush(file_);
}

void RecordWriter::write(const MatchEntry& e) {
    Json o{{"type", "match"},
           {"players", textArray({e.players[0], e.players[1]})},
           {"seed", e.seed},
           {"ends", e.ends},
           {"timeLimit", recordNumber(e.timeLimit)},
           {"step", recordNumber(e.step)},
           {"sent", sides(textArray(e.sent[0]), textArray(e.sent[1]))},
           {"ready", sides(text(e.ready[0]), text(e.ready[1]))}};
    // A record on the default ice stays as it was; one on another ice names
    // it, and its positions, paths and answers are in that ice's frame.
    if (e.ice != DEFAULT_ICE)
        o["ice"] = iceName(e.ice);
    if (takesNoiseSpread(e.ice)) {
        o["noise"] = Json{{"speed", recordNumber(e.fcv1Noise.stddevSpeed)},
                          {"angle", recordNumber(e.fcv1Noise.stddevAngle)},
                          {"maxSpeed", recordNumber(e.fcv1Noise.maxSpeed)}};
    }
    line(o);
}

void RecordWriter::write(const ShotEntry& e) {
    Json o{{"type", "shot"},
           {"end", e.end},
           {"shot", e.shot},
           {"player", playerName(e.side)},
           {"sent", sides(textArray(e.sent[0]), textArray(e.sent[1]))},
           {"reply", text(e.reply)},
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
        if (takesNoiseSpread(e.after.ice)) {
            // The moves as the viewer shows games with speed-and-angle
            // noise: asked for and played.
            auto move = [](double vx, double vy, int spin) {
                return Json{{"vx", recordNumber(vx)}, {"vy", recordNumber(vy)}, {"rotation", spin == 1 ? "ccw" : "cw"}};
            };
            o["selected"] = move(e.answered.x, e.answered.y, e.answered.spin);
            o["actual"] = move(e.thrown.x, e.thrown.y, e.thrown.spin);
        }
        if (inPlay(e.after, e.shot))
            o["rest"] = Json::array({recordNumber(e.after.xy[e.shot][0]), recordNumber(e.after.xy[e.shot][1])});
        else
            o["rest"] = nullptr;
        o["paths"] = paths(e.paths);
    }
    o["position"] = positions(e.after);
    o["stonesInPlay"] = stonesInPlay(e.after);
    if (!e.picture.empty())
        o["picture"] = text(e.picture);
    line(o);
}

void RecordWriter::write(const EndEntry& e) {
    Json o{{"type", "end"},
           {"end", e.end},
           {"score", e.score},
           {"total", sides(e.total[0], e.total[1])},
           {"first", playerName(e.firstSide)},
           {"nextFirst", playerName(e.nextFirstSide)},
           {"sent", text(e.command)},
           {"position", positions(e.position)},
           {"stonesInPlay", stonesInPlay(e.position)}};
    if (!e.picture.empty())
        o["picture"] = text(e.picture);
    line(o);
}

void RecordWriter::write(const ResultEntry& e) {
    line(Json{{"type", "result"},
              {"winner", e.winner},
              {"total", sides(e.total[0], e.total[1])},
              {"forfeit", e.forfeit.empty() ? Json(nullptr) : text(e.forfeit)},
              {"reason", text(e.reason)}});
}

}  // namespace Kelvo::Server
