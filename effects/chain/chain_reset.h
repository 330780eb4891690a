// The effect chain as the program starts, for start-up and for tests: the
// effect settings, the flags shared with playback, the output's facts, and
// the state of every stage and of the analysis ring.
//
// The stages' state belongs to the output thread and is set here directly:
// call it before the engine starts, or on the thread that runs the callback
// itself (the host-driven output). While the output thread may run, the
// stages start again only through their requests (resetSpeedStage,
// autoVolumeReset, reverbSetup, equalizerSetup).
#pragma once

namespace korvane {

void resetEffectChain();

}  // namespace korvane
