#include "tomidi/system_midi.h"

#include <rtmidi/RtMidi.h>

#include <array>
#include <exception>
#include <string>

#include "tomidi/fluid_synth_port.h"

namespace korvane {

namespace {

constexpr const char* clientName = "korvane";

class SequencerPort : public MidiPort {
public:
    bool open(int port) {
        try {
            output_ = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName);
            if (port >= static_cast<int>(output_->getPortCount())) return false;
            output_->openPort(static_cast<unsigned>(port), clientName);
            // From here on a failed send (the port has gone, its receiver
            // is full) would print a warning for every message; like any
            // short message whose result is not examined, it is dropped.
            output_->setErrorCallback([](RtMidiError::Type, const std::string&, void*) {});
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    void send(std::uint32_t message) override {
        const ShortMessage m(message);
        if (!m.valid()) return;
        const std::array<unsigned char, 3> bytes{static_cast<unsigned char>(m.status),
                                                 static_cast<unsigned char>(m.data1),
                                                 static_cast<unsigned char>(m.data2)};
        try {
            output_->sendMessage(bytes.data(), static_cast<std::size_t>(m.size()));
        } catch (const std::exception&) {
            // Like any short message whose result is not examined.
        }
    }

private:
    std::unique_ptr<RtMidiOut> output_;
};

}  // namespace

int SystemMidi::outputCount() {
    try {
        RtMidiOut probe(RtMidi::LINUX_ALSA, clientName);
        return static_cast<int>(probe.getPortCount());
    } catch (const std::exception&) {
        return 0;
    }
}

std::unique_ptr<MidiPort> SystemMidi::open(int identifier) {
    if (identifier == -1) return FluidSynthPort::open(generalMidiSoundFont, playerVoicing, true);
    if (identifier < 0) return nullptr;
    auto port = std::make_unique<SequencerPort>();
    if (port->open(identifier)) return port;
    return nullptr;
}

}  // namespace korvane
