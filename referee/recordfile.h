// A game record's file: JSON Lines, one object per line, flushed per line.
// Both referees write their records through it, each with its own objects,
// and keep the lines for the viewer page made after the game.
#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace Kelvo::Referee {

// The bytes as a JSON string, one character per byte, all in ASCII.
std::string jsonString(const std::string& bytes);

// Nine significant digits: a float position reads back exactly, and the
// record stays short.
double recordNumber(double v);
// Path points need no more than a millimetre (and a millisecond).
double pathNumber(double v);

class RecordFile {
public:
    RecordFile() = default;
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    ~RecordFile();
    // Creates missing directories on the way. False when it cannot write.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    // One object of the record, as one line.
    void write(const nlohmann::ordered_json& object);
    void close();
    // Keeps every line written from now on, file or not, for a page made
    // after the game.
    void keepLines() { keep_ = true; }
    const std::string& keptLines() const { return kept_; }

private:
    FILE* file_ = nullptr;
    bool keep_ = false;
    std::string kept_;
};

}  // namespace Kelvo::Referee
