#include "recordfile.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

namespace Kelvo::Referee {

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

}  // namespace

std::string jsonString(const std::string& bytes) { return text(bytes).dump(-1, ' ', true); }

RecordFile::~RecordFile() { close(); }

bool RecordFile::open(const std::string& path) {
    close();
    const std::filesystem::path p(path);
    std::error_code ignored;
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path(), ignored);
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void RecordFile::close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

void RecordFile::write(const Json& object) {
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

}  // namespace Kelvo::Referee
