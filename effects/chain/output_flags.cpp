#include "effects/chain/output_flags.h"

#include "app/text/start_values.h"

namespace korvane {

std::atomic<int> playing{0};
std::atomic<int> stopped{0};
std::atomic<int> trackEnded{0};
std::atomic<double> lastSoundTime{0.0};

namespace {

const StartValues initial(playing, stopped, trackEnded, lastSoundTime);

}  // namespace

void resetOutputFlags() { initial.restore(); }

}  // namespace korvane
