#include "record.h"

#include <filesystem>

namespace Kelvo::Server {

namespace {

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string stringArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? "," : "") + jsonString(items[i]);
    return out + "]";
}

std::string positions(const Position& position) {
    std::string out = "[";
    for (int i = 0; i < STONES; ++i)
        out += std::string(i ? "," : "") + "[" + number(position.xy[i][0]) + "," + number(position.xy[i][1]) + "]";
    return out + "]";
}

std::string playerName(int side) { return side == 0 ? "player1" : "player2"; }

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            // Control bytes and every byte beyond ASCII are escaped one by
            // one, so a reply of arbitrary bytes still gives valid JSON.
            if (c < 0x20 || c >= 0x7f) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

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

void RecordWriter::line(const std::string& text) {
    if (!file_)
        return;
    std::fputs(text.c_str(), file_);
    std::fputc('\n', file_);
    // Flushed per line: the record of an interrupted match stays readable.
    std::fflush(file_);
}

void RecordWriter::write(const MatchEntry& e) {
    line("{\"type\":\"match\",\"players\":[" + jsonString(e.players[0]) + "," + jsonString(e.players[1]) +
         "],\"seed\":" + std::to_string(e.seed) + ",\"ends\":" + std::to_string(e.ends) +
         ",\"timeLimit\":" + number(e.timeLimit) + ",\"step\":" + number(e.step) + ",\"sent\":{\"player1\":" + stringArray(e.sent[0]) +
         ",\"player2\":" + stringArray(e.sent[1]) + "},\"ready\":{\"player1\":" + jsonString(e.ready[0]) +
         ",\"player2\":" + jsonString(e.ready[1]) + "}}");
}

void RecordWriter::write(const ShotEntry& e) {
    std::string text = "{\"type\":\"shot\",\"end\":" + std::to_string(e.end) + ",\"shot\":" + std::to_string(e.shot) +
                       ",\"player\":\"" + playerName(e.side) + "\",\"sent\":{\"player1\":" + stringArray(e.sent[0]) +
                       ",\"player2\":" + stringArray(e.sent[1]) + "},\"reply\":" + jsonString(e.reply) +
                       ",\"outcome\":\"" + e.outcome + "\",\"seconds\":" + number(e.seconds);
    if (e.outcome == "thrown") {
        text += ",\"answered\":{\"x\":" + number(e.answered.x) + ",\"y\":" + number(e.answered.y) +
                ",\"spin\":" + std::to_string(e.answered.spin) + "}";
        text += ",\"noise\":{\"ex\":" + number(e.noise.ex) + ",\"ey\":" + number(e.noise.ey) +
                ",\"dx\":" + number(e.noise.dx) + ",\"dy\":" + number(e.noise.dy) + "}";
        text += ",\"thrown\":{\"x\":" + number(e.thrown.x) + ",\"forward\":" + number(e.thrown.y) +
                ",\"spin\":" + std::to_string(e.thrown.spin) + "}";
        text += std::string(",\"void\":") + (e.voided ? "true" : "false");
        if (inPlay(e.after, e.shot))
            text += ",\"rest\":[" + number(e.after.xy[e.shot][0]) + "," + number(e.after.xy[e.shot][1]) + "]";
        else
            text += ",\"rest\":null";
    }
    text += ",\"position\":" + positions(e.after) + ",\"stonesInPlay\":" + std::to_string(stonesInPlay(e.after));
    if (!e.picture.empty())
        text += ",\"picture\":" + jsonString(e.picture);
    line(text + "}");
}

void RecordWriter::write(const EndEntry& e) {
    std::string text = "{\"type\":\"end\",\"end\":" + std::to_string(e.end) + ",\"score\":" + std::to_string(e.score) +
                       ",\"total\":{\"player1\":" + std::to_string(e.total[0]) +
                       ",\"player2\":" + std::to_string(e.total[1]) + "},\"first\":\"" + playerName(e.firstSide) +
                       "\",\"nextFirst\":\"" + playerName(e.nextFirstSide) + "\",\"sent\":" + jsonString(e.command) +
                       ",\"position\":" + positions(e.position) +
                       ",\"stonesInPlay\":" + std::to_string(stonesInPlay(e.position));
    if (!e.picture.empty())
        text += ",\"picture\":" + jsonString(e.picture);
    line(text + "}");
}

void RecordWriter::write(const ResultEntry& e) {
    line("{\"type\":\"result\",\"winner\":\"" + e.winner + "\",\"total\":{\"player1\":" + std::to_string(e.total[0]) +
         ",\"player2\":" + std::to_string(e.total[1]) + "},\"forfeit\":" +
         (e.forfeit.empty() ? std::string("null") : jsonString(e.forfeit)) + ",\"reason\":" + jsonString(e.reason) +
         "}");
}

}  // namespace Kelvo::Server
