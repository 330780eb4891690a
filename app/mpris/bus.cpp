// The bus thread: one sd-bus connection to the session bus, the two MPRIS
// interfaces on /org/mpris/MediaPlayer2, replies that wait for their
// command, and PropertiesChanged whenever the published state changes.
// Everything here runs on the bus thread, except startMediaBus and
// stopMediaBus (main thread).
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/mpris/mpris.h"
#include "app/window/platform.h"

namespace korvane::mpris {

namespace {

constexpr const char* objectPath = "/org/mpris/MediaPlayer2";
constexpr const char* rootInterface = "org.mpris.MediaPlayer2";
constexpr const char* playerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* busName = "org.mpris.MediaPlayer2.korvane";

// A call's reply waits this long at most for its command to run, well
// inside the second a desktop's media controls give a player.
constexpr auto replyWait = std::chrono::milliseconds(500);
// How often the thread looks at the published state; more often while a
// reply waits.
constexpr std::uint64_t idleWaitUs = 100000;
constexpr std::uint64_t replyPollUs = 5000;
// Calls the thread makes itself (taking the name) give up after this.
constexpr std::uint64_t ownCallTimeoutUs = 2000000;

using SteadyTime = std::chrono::steady_clock::time_point;

struct WaitingCall {
    sd_bus_message* call;
    std::uint64_t serial;
    SteadyTime deadline;
};

// Set up by the main thread before the thread starts.
MediaCommandQueue* commandQueue = nullptr;
std::atomic<bool> stopping{false};
// On the heap, so that no way out of the process destroys a running thread
// object (which would abort it); errorExit and main stop it first.
std::thread* busThread = nullptr;

// The bus thread's own.
PlayerSnapshot current;
std::vector<WaitingCall> waitingCalls;
// A volume set on the bus is answered as set until the main thread has
// applied it (a Set has no reply to hold back).
std::uint64_t volumeSerial = 0;
double volumeSet = 0.0;

// --- Methods ---

template <MediaAction action>
int queueCommand(sd_bus_message* call, void*, sd_bus_error*) {
    const std::uint64_t serial = commandQueue->push(action);
    waitingCalls.push_back({sd_bus_message_ref(call), serial, std::chrono::steady_clock::now() + replyWait});
    return 1;
}

// Seeking is not offered (CanSeek is false): these do nothing.
int ignoreCall(sd_bus_message* call, void*, sd_bus_error*) { return sd_bus_reply_method_return(call, ""); }

int refuseUri(sd_bus_message* call, void*, sd_bus_error* error) {
    return sd_bus_error_set(error, SD_BUS_ERROR_NOT_SUPPORTED, "korvane plays the files of its playlist");
}

// --- Properties ---

template <bool value>
int getFlag(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "b", value ? 1 : 0);
}

int getHasTrack(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "b", current.hasTrack ? 1 : 0);
}

int getName(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "s", "korvane");
}

int getUriSchemes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "as", 1, "file");
}

int getMimeTypes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "as", 1, "audio/mpeg");
}

int getStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "s", current.status.c_str());
}

int getUnitRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "d", 1.0);
}

int getVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    const bool applied = lastCommandRun() >= volumeSerial;
    return sd_bus_message_append(reply, "d", applied ? current.volume : volumeSet);
}

// Read at the moment of asking: it moves on between snapshots.
int getPosition(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    return sd_bus_message_append(reply, "x", positionAt(publishedSnapshot(), platform().clock()));
}

int getMetadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "mpris:trackid", "o", current.trackId.c_str());
    if (r >= 0 && current.hasTrack) {
        r = sd_bus_message_append(reply, "{sv}{sv}{sv}", "mpris:length", "x", current.lengthUs, "xesam:title", "s",
                                  current.title.c_str(), "xesam:url", "s", current.url.c_str());
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

int setVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void*, sd_bus_error* error) {
    double level = 0.0;
    const int r = sd_bus_message_read(value, "d", &level);
    if (r < 0) return r;
    if (!std::isfinite(level)) return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "the volume is a number");
    volumeSerial = commandQueue->push(MediaAction::SetVolume, level);
    volumeSet = std::clamp(level, lowestVolume, 1.0);
    return 1;
}

// Only the normal rate is played: other rates are ignored.
int setRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void*, sd_bus_error*) {
    double rate = 0.0;
    const int r = sd_bus_message_read(value, "d", &rate);
    return r < 0 ? r : 1;
}

constexpr std::uint64_t constant = SD_BUS_VTABLE_PROPERTY_CONST;
constexpr std::uint64_t changing = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;

const sd_bus_vtable rootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", queueCommand<MediaAction::Raise>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", queueCommand<MediaAction::Quit>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", getFlag<true>, 0, constant),
    SD_BUS_PROPERTY("CanRaise", "b", getFlag<true>, 0, constant),
    SD_BUS_PROPERTY("HasTrackList", "b", getFlag<false>, 0, constant),
    SD_BUS_PROPERTY("Identity", "s", getName, 0, constant),
    SD_BUS_PROPERTY("DesktopEntry", "s", getName, 0, constant),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", getUriSchemes, 0, constant),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", getMimeTypes, 0, constant),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable playerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", queueCommand<MediaAction::Next>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", queueCommand<MediaAction::Previous>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", queueCommand<MediaAction::Pause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", queueCommand<MediaAction::PlayPause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", queueCommand<MediaAction::Stop>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", queueCommand<MediaAction::Play>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", ignoreCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", ignoreCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", refuseUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", getStatus, 0, changing),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", getUnitRate, setRate, 0, changing | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Metadata", "a{sv}", getMetadata, 0, changing),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", getVolume, setVolume, 0, changing | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Position", "x", getPosition, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", getUnitRate, 0, constant),
    SD_BUS_PROPERTY("MaximumRate", "d", getUnitRate, 0, constant),
    SD_BUS_PROPERTY("CanGoNext", "b", getHasTrack, 0, changing),
    SD_BUS_PROPERTY("CanGoPrevious", "b", getHasTrack, 0, changing),
    SD_BUS_PROPERTY("CanPlay", "b", getHasTrack, 0, changing),
    SD_BUS_PROPERTY("CanPause", "b", getHasTrack, 0, changing),
    SD_BUS_PROPERTY("CanSeek", "b", getFlag<false>, 0, constant),
    SD_BUS_PROPERTY("CanControl", "b", getFlag<true>, 0, constant),
    SD_BUS_VTABLE_END,
};

// --- The thread's rounds ---

// A position that differs from where the last state would have gone by
// more than this is a jump: the same track started again, or stopped and
// played from its beginning.
constexpr std::int64_t jumpUs = 1000000;

// Takes the published state and tells the bus what changed in it.
void announceChanges(sd_bus* bus) {
    PlayerSnapshot fresh = publishedSnapshot();
    const std::int64_t position = positionAt(fresh, fresh.takenAt);
    const bool jumped =
        fresh.hasTrack && fresh.sameTrack(current) && std::llabs(positionAt(current, fresh.takenAt) - position) > jumpUs;
    std::vector<const char*> changed;
    if (fresh.status != current.status) changed.push_back("PlaybackStatus");
    if (!fresh.sameTrack(current)) changed.push_back("Metadata");
    if (fresh.volume != current.volume) changed.push_back("Volume");
    if (fresh.hasTrack != current.hasTrack)
        for (const char* name : {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause"}) changed.push_back(name);
    current = std::move(fresh);
    if (jumped) sd_bus_emit_signal(bus, objectPath, playerInterface, "Seeked", "x", position);
    if (changed.empty()) return;
    changed.push_back(nullptr);
    sd_bus_emit_properties_changed_strv(bus, objectPath, playerInterface, const_cast<char**>(changed.data()));
}

void reply(WaitingCall& waiting) {
    sd_bus_reply_method_return(waiting.call, "");
    sd_bus_message_unref(waiting.call);
}

// Replies to the calls whose command has run, and to those that waited
// long enough (all of them when the thread ends).
void answerCalls(std::uint64_t runUpTo, bool all) {
    const SteadyTime now = std::chrono::steady_clock::now();
    std::erase_if(waitingCalls, [&](WaitingCall& waiting) {
        if (!all && waiting.serial > runUpTo && now < waiting.deadline) return false;
        reply(waiting);
        return true;
    });
}

// One round: the state and replies first, then at most a few dozen
// messages, then a wait for the next message or the next look.
bool serveRound(sd_bus* bus) {
    // The serial is read before the state: the main thread publishes the
    // state before it counts a command as run, so a reply never goes out
    // ahead of the state its command made.
    const std::uint64_t runUpTo = lastCommandRun();
    announceChanges(bus);
    answerCalls(runUpTo, false);
    for (int handled = 0; handled < 64; ++handled) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) return false;
        if (r == 0) break;
    }
    const int r = sd_bus_wait(bus, waitingCalls.empty() ? idleWaitUs : replyPollUs);
    return r >= 0 || r == -EINTR;
}

bool takeName(sd_bus* bus) {
    if (sd_bus_request_name(bus, busName, 0) >= 0) return true;
    // Another korvane has the name: this one answers under its own.
    const std::string instance = std::string(busName) + ".instance" + std::to_string(::getpid());
    return sd_bus_request_name(bus, instance.c_str(), 0) >= 0;
}

void serveBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return;
    sd_bus_set_method_call_timeout(bus, ownCallTimeoutUs);
    current = publishedSnapshot();
    if (sd_bus_add_object_vtable(bus, nullptr, objectPath, rootInterface, rootVtable, nullptr) >= 0 &&
        sd_bus_add_object_vtable(bus, nullptr, objectPath, playerInterface, playerVtable, nullptr) >= 0 &&
        takeName(bus)) {
        while (!stopping.load(std::memory_order_acquire) && serveRound(bus)) {
        }
    }
    answerCalls(lastCommandRun(), true);
    sd_bus_flush_close_unref(bus);
}

}  // namespace

void startMediaBus(MediaCommandQueue& commands) {
    if (busThread != nullptr) return;
    commandQueue = &commands;
    stopping.store(false, std::memory_order_release);
    try {
        busThread = new std::thread(serveBus);
    } catch (...) {
        busThread = nullptr;
    }
}

void stopMediaBus() {
    if (busThread == nullptr) return;
    stopping.store(true, std::memory_order_release);
    busThread->join();
    delete busThread;
    busThread = nullptr;
}

}  // namespace korvane::mpris
