#include "tools/converter/velocities.h"

#include <algorithm>
#include <cmath>

#include "tomidi/tomidi_settings.h"

namespace korvane::converter {

std::vector<int> noteVelocities(const std::vector<float>& peaks, float vol) {
    if (peaks.empty()) return {};
    std::vector<float> ranked;
    for (const float peak : peaks) ranked.push_back(std::isnan(peak) ? 0.0f : peak);
    const auto loudAt = ranked.begin() + static_cast<std::ptrdiff_t>(loudRank * static_cast<double>(ranked.size() - 1));
    std::nth_element(ranked.begin(), loudAt, ranked.end());
    const double loud = *loudAt;
    const double scale = static_cast<double>(vol) / defaultVelocityScale;
    std::vector<int> velocities;
    for (const float peak : peaks) {
        const double share = loud > 0.0 && peak > 0.0 ? peak / loud : 0.0;
        const double velocity = std::nearbyint(loudVelocity * std::sqrt(share) * scale);
        // Not a number (a level or scale that was) gives the quietest note.
        velocities.push_back(std::isnan(velocity) ? 1 : static_cast<int>(std::clamp(velocity, 1.0, 127.0)));
    }
    return velocities;
}

}  // namespace korvane::converter
