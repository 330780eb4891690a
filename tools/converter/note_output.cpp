#include "tools/converter/note_output.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "tomidi/fluid_synth_port.h"
#include "tomidi/midi_output.h"

namespace korvane::converter {

namespace {

constexpr int statusNoteOff = 0x80;
constexpr int statusNoteOn = 0x90;
constexpr int statusController = 0xB0;
constexpr int allNotesOffController = 123;
constexpr int sustainController = 64;

int statusOf(std::uint32_t packed) { return static_cast<int>(packed & 0xF0); }
int data1Of(std::uint32_t packed) { return static_cast<int>((packed >> 8) & 0x7F); }
int data2Of(std::uint32_t packed) { return static_cast<int>((packed >> 16) & 0x7F); }

void appendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::vector<TimedMessage> messagesOfNotes(const std::vector<OutputNote>& notes, double end) {
    std::vector<TimedMessage> events;
    for (const OutputNote& note : notes) {
        events.push_back({note.onset, packMidiMessage(statusNoteOn + midiChannel, note.note, note.velocity)});
        events.push_back({note.offset, packMidiMessage(statusNoteOff + midiChannel, note.note, 0)});
    }
    // In time order; at the same time a note-off first, so that a note
    // struck again right after it ends is not cut short.
    std::stable_sort(events.begin(), events.end(), [](const TimedMessage& a, const TimedMessage& b) {
        if (a.time != b.time) return a.time < b.time;
        return statusOf(a.packed) == statusNoteOff && statusOf(b.packed) != statusNoteOff;
    });
    std::vector<TimedMessage> messages = {{0.0, programChangeMessage()}};
    messages.insert(messages.end(), events.begin(), events.end());
    const double last = std::max(end, messages.back().time);
    messages.push_back({last, packMidiMessage(statusController + midiChannel, allNotesOffController, 0)});
    messages.push_back({last, packMidiMessage(statusController + midiChannel, sustainController, 0)});
    return messages;
}

std::vector<OutputNote> notesOfMessages(const std::vector<TimedMessage>& messages) {
    std::vector<OutputNote> notes;
    std::array<int, 128> sounding;  // index into notes, -1 when silent
    sounding.fill(-1);
    const auto end = [&](int note, double time) {
        if (sounding[note] < 0) return;
        notes[static_cast<std::size_t>(sounding[note])].offset = time;
        sounding[note] = -1;
    };
    for (const TimedMessage& message : messages) {
        const int status = statusOf(message.packed);
        const int note = data1Of(message.packed);
        if (status == statusNoteOff || (status == statusNoteOn && data2Of(message.packed) == 0)) {
            end(note, message.time);
        } else if (status == statusNoteOn) {
            end(note, message.time);
            sounding[note] = static_cast<int>(notes.size());
            notes.push_back({message.time, message.time, note, data2Of(message.packed)});
        } else if (status == statusController && note == allNotesOffController) {
            for (int n = 0; n < 128; ++n) end(n, message.time);
        }
    }
    const double last = messages.empty() ? 0.0 : messages.back().time;
    for (int n = 0; n < 128; ++n) end(n, last);
    return notes;
}

std::string notesCsv(const std::vector<OutputNote>& notes) {
    std::string text = "onset_s,offset_s,pitch,velocity\n";
    char line[96];
    for (const OutputNote& note : notes) {
        std::snprintf(line, sizeof line, "%.3f,%.3f,%d,%d\n", note.onset, note.offset, note.note, note.velocity);
        text += line;
    }
    return text;
}

namespace {

constexpr std::int64_t wavHeaderBytes = 44;

// A 16-bit stereo WAV file at synthRate of `frames` silent frames, or empty
// when it would pass the 4 GiB a WAV file can describe.
std::string silentWav(std::int64_t frames, std::string& error) {
    frames = std::max<std::int64_t>(0, frames);
    if (frames * 4 > std::int64_t{UINT32_MAX} - wavHeaderBytes) {
        error = "too long for a WAV file";
        return {};
    }
    const auto dataBytes = static_cast<std::uint32_t>(frames * 4);
    std::string wav = "RIFF";
    appendLittleEndian(wav, 36 + dataBytes, 4);
    wav += "WAVEfmt ";
    appendLittleEndian(wav, 16, 4);
    appendLittleEndian(wav, 1, 2);              // PCM
    appendLittleEndian(wav, 2, 2);              // stereo
    appendLittleEndian(wav, synthRate, 4);
    appendLittleEndian(wav, synthRate * 4, 4);  // bytes per second
    appendLittleEndian(wav, 4, 2);              // bytes per frame
    appendLittleEndian(wav, 16, 2);
    wav += "data";
    appendLittleEndian(wav, dataBytes, 4);
    wav.resize(static_cast<std::size_t>(wavHeaderBytes) + dataBytes);
    return wav;
}

// The samples of a WAV file that silentWav made; they are written in place.
static_assert(std::endian::native == std::endian::little, "WAV samples are little-endian");
std::int16_t* samplesOf(std::string& wav) { return reinterpret_cast<std::int16_t*>(wav.data() + wavHeaderBytes); }
std::int64_t framesOf(const std::string& wav) {
    return wav.size() < wavHeaderBytes ? 0 : static_cast<std::int64_t>(wav.size() - wavHeaderBytes) / 4;
}

// One frame's two samples as one, halved with ties to even.
std::int16_t mono(const std::int16_t* frame) {
    return static_cast<std::int16_t>(std::nearbyint((frame[0] + frame[1]) / 2.0));
}

}  // namespace

std::string renderedWav(const std::vector<TimedMessage>& messages, double seconds, SynthVoicing voicing,
                        std::string& error) {
    const std::unique_ptr<FluidSynthPort> synth = FluidSynthPort::open(generalMidiSoundFont, voicing, false);
    if (!synth) {
        error = std::string("the synthesizer could not start with ") + generalMidiSoundFont;
        return {};
    }
    std::string wav = silentWav(static_cast<std::int64_t>((std::max(0.0, seconds) + 1.0) * synthRate), error);
    if (!wav.empty()) renderTimedMessages(*synth, messages, samplesOf(wav), framesOf(wav));
    return wav;
}

std::string mixedWav(const std::vector<std::int16_t>& decoded, const std::string& rendered, std::string& error) {
    const auto decodedFrames = static_cast<std::int64_t>(decoded.size() / 2);
    const std::int64_t renderedFrames = framesOf(rendered);
    std::string wav = silentWav(std::max(decodedFrames, renderedFrames), error);
    if (wav.empty()) return wav;
    std::int16_t* out = samplesOf(wav);
    const auto* midi = reinterpret_cast<const std::int16_t*>(rendered.data() + wavHeaderBytes);
    for (std::int64_t i = 0; i < decodedFrames; ++i) out[2 * i] = mono(&decoded[static_cast<std::size_t>(2 * i)]);
    for (std::int64_t i = 0; i < renderedFrames; ++i) out[2 * i + 1] = mono(midi + 2 * i);
    return wav;
}

}  // namespace korvane::converter
