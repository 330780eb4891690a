// The loop of a panel that takes the window over while the track plays on
// (the playlist, the equalizer editor, the reverb panels). Each pass reads a
// key, services the end of the track and the desktop's media commands, and
// gives the panel its pauses and pointer work at fixed points around them;
// then the panel handles the pass's key, or ends. Main thread only.
#pragma once

namespace korvane {

class ModalPanel {
public:
    virtual ~ModalPanel() = default;
    // Before the pass reads its key.
    virtual void beforeKey() {}
    // The key read (0 when none), before the end of the track is serviced.
    virtual void afterKey(int code) {}
    // After the end of the track and the media commands.
    virtual void afterService() {}
    // The pass's key, 0 when none. False ends the panel.
    virtual bool handleKey(int code) = 0;
};

// Passes until handleKey ends the panel.
void runModalPanel(ModalPanel& panel);

}  // namespace korvane
