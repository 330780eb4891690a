#include "tomidi/recording_midi.h"

#include "app/window/platform.h"

namespace korvane {

namespace {

class RecordingPort : public MidiPort {
public:
    RecordingPort(RecordingMidi& owner, int identifier) : owner_(owner), identifier_(identifier) {}
    ~RecordingPort() override { owner_.closed.push_back(identifier_); }
    void send(std::uint32_t message) override {
        if (owner_.gone.count(identifier_) != 0) {
            ++owner_.lost;
            return;
        }
        owner_.messages.push_back({platform().clock(), identifier_, message});
    }

private:
    RecordingMidi& owner_;
    int identifier_;
};

}  // namespace

std::unique_ptr<MidiPort> RecordingMidi::open(int identifier) {
    if (identifier < -1 || identifier >= outputs || failing.count(identifier) != 0) return nullptr;
    opened.push_back(identifier);
    return std::make_unique<RecordingPort>(*this, identifier);
}

}  // namespace korvane
