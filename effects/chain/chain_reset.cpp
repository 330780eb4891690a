#include "effects/chain/chain_reset.h"

#include "effects/chain/analysis_ring.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/equalizer.h"
#include "effects/chain/master_callback.h"
#include "effects/chain/output_flags.h"
#include "effects/chain/reverb.h"

namespace korvane {

void resetEffectChain() {
    resetEffectSettings();
    resetOutputFlags();
    resetCallbackState();
    resetAutoVolumeState();
    resetReverbState();
    resetEqualizerState();
    resetAnalysisRing();
}

}  // namespace korvane
