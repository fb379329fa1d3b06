// Pictures of the house for a person looking through a match: the rings,
// the tee and centre lines and every stone in play with its number, coloured
// by the player it belongs to.
#pragma once

#include <string>

#include "sheet.h"

namespace Kelvo::Referee {

// An SVG document in the server frame (metres, the back of the house at the
// top). `firstSide` threw shot 0 of the end, which decides whose stones are
// which; `title` is written above the sheet.
std::string houseSvg(const Position& position, int firstSide, const std::string& title);

// Writes the text to dir/name, creating dir when needed. False when it cannot.
bool writeTextFile(const std::string& dir, const std::string& name, const std::string& text);
// Writes the text to the file, creating its folder when needed.
bool writeTextFile(const std::string& path, const std::string& text);

}  // namespace Kelvo::Referee
