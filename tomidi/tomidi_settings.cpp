#include "tomidi/tomidi_settings.h"

namespace korvane {

ToMidiSettings toMidiSettings;

}  // namespace korvane
