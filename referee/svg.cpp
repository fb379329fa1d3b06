#include "svg.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "rules.h"

namespace Kelvo::Referee {

namespace {

constexpr double SHEET_WIDTH = 2 * FX_TEE;
constexpr double PIXELS_PER_METRE = 80;
constexpr double TITLE_BAND = 0.5;
const char* const SIDE_FILL[2] = {"#d62728", "#f2c200"};
const char* const SIDE_NAME[2] = {"player1 (red)", "player2 (yellow)"};

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

std::string escapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string circle(double cx, double cy, double r, const char* fill, const char* stroke, double width) {
    return "<circle cx=\"" + num(cx) + "\" cy=\"" + num(cy) + "\" r=\"" + num(r) + "\" fill=\"" + fill +
           "\" stroke=\"" + stroke + "\" stroke-width=\"" + num(width) + "\"/>\n";
}

std::string lineSvg(double x1, double y1, double x2, double y2, const char* cls) {
    return "<line class=\"" + std::string(cls) + "\" x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) +
           "\" y2=\"" + num(y2) + "\" stroke=\"#333\" stroke-width=\"0.02\"/>\n";
}

// Where a stone is drawn: in the picture frame of its ice.
Vec2 drawnAt(const Position& position, int i) {
    return sheetOf(position.ice).toPicture(position.xy[i][0], position.xy[i][1]);
}

}  // namespace

std::string houseSvg(const Position& position, int firstSide, const std::string& title) {
    const double top = FY_TEE - PLAY_Y_MAX - STONE_R - TITLE_BAND;
    const Ice& ice = sheetOf(position.ice);
    double hogLine = 0;
    const bool hasHogLine = ice.pictureHogLine(hogLine);
    double bottom = ice.pictureNearEdge();
    for (int i = 0; i < STONES; ++i)
        if (inPlay(position, i))
            bottom = std::max(bottom, drawnAt(position, i).y + 2 * STONE_R);
    const double height = bottom - top;

    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(SHEET_WIDTH * PIXELS_PER_METRE) +
         "\" height=\"" + num(height * PIXELS_PER_METRE) + "\" viewBox=\"0 " + num(top) + " " + num(SHEET_WIDTH) +
         " " + num(height) + "\">\n";
    s += "<title>" + escapeXml(title) + "</title>\n";
    s += "<rect x=\"0\" y=\"" + num(top) + "\" width=\"" + num(SHEET_WIDTH) + "\" height=\"" + num(height) +
         "\" fill=\"#ffffff\"/>\n";
    const double sheetTop = top + TITLE_BAND;
    s += "<rect class=\"ice\" x=\"0\" y=\"" + num(sheetTop) + "\" width=\"" + num(SHEET_WIDTH) + "\" height=\"" +
         num(bottom - sheetTop) + "\" fill=\"#eef4f8\" stroke=\"#333\" stroke-width=\"0.02\"/>\n";
    // Rings at 1.83, 1.22 and 0.61 m around the tee.
    s += circle(FX_TEE, FY_TEE, 1.83, "#4a7ebb", "#333", 0.01);
    s += circle(FX_TEE, FY_TEE, 1.22, "#ffffff", "#333", 0.01);
    s += circle(FX_TEE, FY_TEE, 0.61, "#9bbbe0", "#333", 0.01);
    s += lineSvg(0, FY_TEE, SHEET_WIDTH, FY_TEE, "tee-line");
    s += lineSvg(FX_TEE, sheetTop, FX_TEE, bottom, "centre-line");
    s += lineSvg(0, FY_TEE - HOUSE_R, SHEET_WIDTH, FY_TEE - HOUSE_R, "back-line");
    if (hasHogLine)
        s += lineSvg(0, hogLine, SHEET_WIDTH, hogLine, "hog-line");

    for (int i = 0; i < STONES; ++i) {
        if (!inPlay(position, i))
            continue;
        const int side = sideOfShot(firstSide, i);
        const Vec2 at = drawnAt(position, i);
        const double x = at.x, y = at.y;
        s += "<g class=\"stone\" id=\"stone-" + std::to_string(i) + "\" data-player=\"" +
             std::to_string(side + 1) + "\">\n";
        s += circle(x, y, STONE_R, SIDE_FILL[side], "#222", 0.015);
        s += "<text x=\"" + num(x) + "\" y=\"" + num(y) +
             "\" font-size=\"0.15\" font-family=\"sans-serif\" text-anchor=\"middle\" "
             "dominant-baseline=\"central\" fill=\"#000\">" +
             std::to_string(i) + "</text>\n</g>\n";
    }
    s += "<text x=\"0.05\" y=\"" + num(top + 0.2) + "\" font-size=\"0.16\" font-family=\"sans-serif\">" +
         escapeXml(title) + "</text>\n";
    s += "<text x=\"0.05\" y=\"" + num(top + 0.4) + "\" font-size=\"0.13\" font-family=\"sans-serif\">" +
         std::string(SIDE_NAME[0]) + ", " + SIDE_NAME[1] + "</text>\n";
    s += "</svg>\n";
    return s;
}

bool writeTextFile(const std::string& dir, const std::string& name, const std::string& text) {
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    std::ofstream out(std::filesystem::path(dir) / name, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out);
}

bool writeTextFile(const std::string& path, const std::string& text) {
    const std::filesystem::path p(path);
    std::error_code ignored;
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path(), ignored);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

}  // namespace Kelvo::Referee
