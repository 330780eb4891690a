// The desktop's media controls over D-Bus (MPRIS 2): korvane answers as
// org.mpris.MediaPlayer2.korvane at /org/mpris/MediaPlayer2, so media keys
// and player applets play, pause, stop, skip and quit it, and read what it
// plays.
//
// Threads: a bus thread of its own owns the connection. It answers property
// reads from the last snapshot the main thread published, and queues every
// command that changes the player on the platform's media command queue;
// the main thread runs them from each loop that polls (the main loop, the
// playlist, effect and toMidi panels) and publishes a fresh snapshot there.
// A call's reply waits until its command has run, or half a second at most,
// so a call made while a prompt, a message box or a file dialog waits is
// still answered. Without a session bus nothing of this runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/window/media_commands.h"

namespace korvane::mpris {

// --- What the bus thread answers from ---

struct PlayerSnapshot {
    std::string status = "Stopped";  // "Playing", "Paused" or "Stopped"
    bool hasTrack = false;           // the playlist has a current entry
    std::string trackId = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
    std::string title;               // valid UTF-8
    std::string url;                 // file:// URL, percent-encoded
    std::int64_t lengthUs = 0;
    // The track's time at takenAt (clock seconds), as the window's clock
    // counts it; while advancing it goes on with the clock (Rate 1.0).
    double position = 0.0;
    double takenAt = 0.0;
    bool advancing = false;
    double volume = 1.0;             // the output level, 0..1 of the slider

    bool sameTrack(const PlayerSnapshot& other) const;
};

// Main thread: the player as it is now.
PlayerSnapshot takePlayerSnapshot();
// Main thread: makes the player's state the one the bus answers with.
void publishPlayerState();
// Any thread: the last published snapshot.
PlayerSnapshot publishedSnapshot();
// The snapshot's position at clock time now, in microseconds, never past
// the track's length.
std::int64_t positionAt(const PlayerSnapshot& snapshot, double now);

// The level slider's full scale, and the lowest level it sets (a share of
// the full scale): MPRIS volume 1.0 is the slider's right end.
constexpr double fullVolume = 1.7;
constexpr double lowestVolume = 0.02;

// --- Commands, on the main thread ---

// Runs every waiting media command, then publishes the player's state.
// Quit sets quitRequested and puts Escape in the key queue, which closes
// any panel or prompt; the main loop then ends. True when a command changed
// what plays (track, play, pause or stop).
bool serviceMediaCommands();
void runMediaCommand(const MediaCommand& command);
bool quitRequested();
void clearQuitRequest();
// Serial of the last command run; the bus thread replies up to it.
std::uint64_t lastCommandRun();

// --- The bus ---

// Starts the bus thread on the session bus. Returns at once; without a
// session bus the thread ends quietly and korvane goes on without it.
void startMediaBus(MediaCommandQueue& commands);
// Replies to every call still waiting, leaves the bus and joins the thread.
void stopMediaBus();

// --- Text as D-Bus needs it ---

// Valid UTF-8 as it stands; each byte of an invalid sequence is read as
// Latin-1 (so a Latin-1 name comes out right), and a NUL becomes U+FFFD.
std::string validUtf8(std::string_view bytes);
// A code point (at most U+10FFFF, no surrogate) appended as UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);
// ISO 8859-1 bytes as UTF-8.
std::string latin1ToUtf8(std::string_view bytes);
// "file://" and the absolute path with every byte outside A-Z a-z 0-9
// - . _ ~ / percent-encoded.
std::string fileUrl(const std::string& path);
// The track's object path: /org/korvane/track/INDEX, or the NoTrack path
// for a negative index.
std::string trackObjectPath(int index);
// The title of the file's ID3v2 tag (TIT2 or TT2) or its ID3v1 tag, as
// UTF-8; empty when it has none.
std::string tagTitle(const std::string& path);
// What the desktop shows as the title: the tag's, else the file name
// without its folder and extension.
std::string displayTitle(const std::string& path);

}  // namespace korvane::mpris
