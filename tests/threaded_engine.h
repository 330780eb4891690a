// The engine on a plug-out with an output thread of its own (SDL's disk
// driver writing to /dev/null, paced in real time), the effect stages
// prepared and the master callback on: what the concurrency tests run
// against, under the thread sanitizer.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "effects/chain/master_callback.h"
#include "engine/fbs.h"

namespace korvane {

// Call with ASSERT_NO_FATAL_FAILURE.
inline void startThreadedEngine() {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1) << FBS_GET_PLUGERROR();
    ASSERT_STRNE(FBS_GET_PLUGNAME(), "host");  // a plug-out with its own thread
    prepareEffectStages();
    FBS_SET_MASTERCALLBACK(masterCallback);
    FBS_ENABLE_MASTERCALLBACK();
}

}  // namespace korvane
