// The ices a sheet can be played on: the classic one the player was built
// for, and fcv1, the friction-and-curl model of today's competitions, whose
// positions and velocities are in its shot frame (hack at the origin, +y
// toward the house, metres and m/s).
#pragma once

#include <cstdint>
#include <cstring>

namespace Kelvo {

enum class IceKind : int32_t { CLASSIC, FCV1 };

inline const char* iceName(IceKind ice) { return ice == IceKind::FCV1 ? "fcv1" : "classic"; }

// "classic" or "fcv1"; false for anything else.
inline bool parseIceName(const char* name, IceKind& ice) {
    if (std::strcmp(name, "classic") == 0)
        ice = IceKind::CLASSIC;
    else if (std::strcmp(name, "fcv1") == 0)
        ice = IceKind::FCV1;
    else
        return false;
    return true;
}

}  // namespace Kelvo
