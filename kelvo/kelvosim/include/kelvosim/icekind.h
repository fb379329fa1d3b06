// The ices by name. An ice is made from its kind by the factory in ice.h;
// icekind.cpp is the one place that knows every ice.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace Kelvo {

// The classic ice the player was built for, and fcv1, the friction-and-curl
// model of today's competitions as Digital Curling 3 plays it, whose
// positions and velocities are in its shot frame (hack at the origin, +y
// toward the house, metres and m/s).
enum class IceKind : int32_t { CLASSIC, FCV1 };

// The ice of a game that names none: the first.
constexpr IceKind DEFAULT_ICE = IceKind(0);

// "classic" or "fcv1".
const char* iceName(IceKind ice);
// The kind of a name; false for anything else.
bool parseIceName(const char* name, IceKind& ice);
// Every ice by its name, for option parsers.
const std::map<std::string, IceKind>& iceKindsByName();

}  // namespace Kelvo
