#include "effects/chain/analysis_ring.h"

namespace korvane {

AnalysisRing analysisRing;

void clearAnalysisRing() {
    for (std::atomic<float>& entry : analysisRing.samples)
        entry.store(ringFloor, std::memory_order_relaxed);
}

}  // namespace korvane
