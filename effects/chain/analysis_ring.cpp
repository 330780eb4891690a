#include "effects/chain/analysis_ring.h"

#include "app/text/start_values.h"

namespace korvane {

AnalysisRing analysisRing;

namespace {

const StartValues initial(analysisRing.writePos);

}  // namespace

void clearAnalysisRing() {
    for (std::atomic<float>& entry : analysisRing.samples)
        entry.store(ringFloor, std::memory_order_relaxed);
}

void resetAnalysisRing() {
    clearAnalysisRing();
    initial.restore();
}

}  // namespace korvane
