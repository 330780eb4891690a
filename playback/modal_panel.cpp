#include "playback/modal_panel.h"

#include "app/window/media_commands.h"
#include "engine/fbs.h"
#include "playback/track_control.h"

namespace korvane {

void runModalPanel(ModalPanel& panel) {
    for (;;) {
        panel.beforeKey();
        const int code = FBS_GET_KEYCODE();
        panel.afterKey(code);
        serviceTrackEnd();
        runMediaCommands();
        panel.afterService();
        if (!panel.handleKey(code)) return;
    }
}

}  // namespace korvane
