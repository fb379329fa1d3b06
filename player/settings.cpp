#include "settings.h"

namespace Kelvo {

const Preset* findPreset(const std::string& name) {
    for (const Preset& p : PRESETS)
        if (name == p.name)
            return &p;
    return nullptr;
}

std::string ineffectiveSetting(const SearchSettings& settings) {
    if (settings.allocation == Allocation::HALVING)
        return std::string();
    if (settings.widen)
        return "--widen";
    if (settings.commonNoise)
        return "--common-noise";
    return std::string();
}

}  // namespace Kelvo
