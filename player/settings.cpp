#include "settings.h"

namespace Kelvo {

bool applyPreset(const std::string& name, SearchSettings& settings) {
    if (name != "strong")
        return false;
    settings.allocation = Allocation::HALVING;
    settings.widen = true;
    settings.playoutsPerVisit = STRONG_PLAYOUTS_PER_VISIT;
    return true;
}

}  // namespace Kelvo
