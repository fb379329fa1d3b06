#include "commands.h"

#include <algorithm>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace Kelvo::Server {

using namespace Referee;

namespace {

// Longer than any well-formed reply can be; a player that writes more without
// completing one is not answering.
constexpr size_t MAX_REPLY = 256;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool equalsIgnoringCase(const std::string& a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

// A whole word that is a finite decimal number.
bool readNumber(const std::string& word, double& value) {
    for (char c : word)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.' && c != 'e' &&
            c != 'E')
            return false;
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size() && !word.empty() && std::isfinite(value);
}

// A word cut off by the end of the text so far that may still become a number.
bool mayBecomeNumber(const std::string& word) {
    for (char c : word)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.' && c != 'e' &&
            c != 'E')
            return false;
    return true;
}

std::string formatFloat(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", double(v));
    return buf;
}

}  // namespace

std::string positionCommand(const Position& position) {
    std::string line = "POSITION";
    for (int i = 0; i < STONES; ++i) {
        line += ' ';
        line += formatFloat(position.xy[i][0]);
        line += ' ';
        line += formatFloat(position.xy[i][1]);
    }
    return line;
}

std::string setStateCommand(int shot, int end, int finalEnd, int sideFlag) {
    return "SETSTATE " + std::to_string(shot) + " " + std::to_string(end) + " " + std::to_string(finalEnd) + " " +
           std::to_string(sideFlag);
}

std::string scoreCommand(int score) { return "SCORE " + std::to_string(score); }

ReadState judgeReady(const std::string& text) {
    static const char WORD[] = "READYOK";
    const size_t n = sizeof WORD - 1;
    for (size_t i = 0; i + n <= text.size(); ++i)
        if (equalsIgnoringCase(text.substr(i, n), WORD, n))
            return ReadState::Complete;
    return text.size() > MAX_REPLY ? ReadState::Invalid : ReadState::NeedMore;
}

ReadState judgeBestShotAfterReady(const std::string& text, BestShot* shot) {
    static const char WORD[] = "READYOK";
    const size_t n = sizeof WORD - 1;
    const size_t head = std::min(text.size(), n);
    if (!equalsIgnoringCase(text.substr(0, head), WORD, head))
        return judgeBestShot(text, shot);
    if (text.size() < n)
        return ReadState::NeedMore;
    return judgeBestShot(text.substr(n), shot);
}

ReadState judgeBestShot(const std::string& text, BestShot* shot) {
    static const char WORD[] = "BESTSHOT";
    const size_t wordLength = sizeof WORD - 1;

    // Split into words; the last one is cut off unless white space follows it.
    std::vector<std::string> words;
    bool lastComplete = true;
    size_t i = 0;
    while (i < text.size() && words.size() < 4) {
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i == text.size())
            break;
        const size_t start = i;
        while (i < text.size() && !isSpace(text[i]))
            ++i;
        // Replies carry no line end, so a late reply and the next one can
        // arrive joined: the one-digit spin ends at the next reply's start.
        if (words.size() == 3 && i - start > 1 && (text[start + 1] == 'B' || text[start + 1] == 'b'))
            i = start + 1;
        words.push_back(text.substr(start, i - start));
        lastComplete = i < text.size();
    }

    BestShot parsed;
    for (size_t k = 0; k < words.size(); ++k) {
        const std::string& w = words[k];
        const bool cutOff = k + 1 == words.size() && !lastComplete;
        if (k == 0) {
            if (cutOff ? (w.size() > wordLength || !equalsIgnoringCase(w, WORD, w.size()))
                       : (w.size() != wordLength || !equalsIgnoringCase(w, WORD, wordLength)))
                return ReadState::Invalid;
        } else if (k == 1 || k == 2) {
            double v = 0;
            if (cutOff) {
                if (!mayBecomeNumber(w))
                    return ReadState::Invalid;
            } else if (!readNumber(w, v)) {
                return ReadState::Invalid;
            }
            (k == 1 ? parsed.x : parsed.y) = v;
        } else {
            // The spin is one digit, so a cut-off "0" or "1" is already whole.
            if (w != "0" && w != "1")
                return ReadState::Invalid;
            parsed.spin = w == "1" ? 1 : 0;
            if (shot)
                *shot = parsed;
            return ReadState::Complete;
        }
    }
    return text.size() > MAX_REPLY ? ReadState::Invalid : ReadState::NeedMore;
}

std::string printable(const std::string& text, size_t limit) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += char(c);
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace Kelvo::Server
