#include "effects/chain/output_flags.h"

namespace korvane {

std::atomic<int> playing{0};
std::atomic<int> stopped{0};
std::atomic<int> trackEnded{0};
std::atomic<double> lastSoundTime{0.0};

}  // namespace korvane
