// The player's state as the bus answers it: taken and published by the
// main thread, read by the bus thread under a lock.
#include <cmath>
#include <mutex>

#include "app/mpris/mpris.h"
#include "app/window/platform.h"
#include "effects/chain/effect_settings.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"

namespace korvane::mpris {

namespace {

std::mutex publishedLock;
PlayerSnapshot published;

// The title is read from the file once per path.
std::string titlePath;
std::string titleText;

const std::string& titleOf(const std::string& path) {
    if (path != titlePath) {
        titlePath = path;
        titleText = displayTitle(path);
    }
    return titleText;
}

}  // namespace

bool PlayerSnapshot::sameTrack(const PlayerSnapshot& other) const {
    return hasTrack == other.hasTrack && trackId == other.trackId && title == other.title && url == other.url &&
           lengthUs == other.lengthUs;
}

PlayerSnapshot takePlayerSnapshot() {
    PlayerSnapshot s;
    const double now = platform().clock();
    const bool isStopped = stopped.load(std::memory_order_relaxed) != 0;
    s.status = paused == 1 ? "Paused" : isStopped ? "Stopped" : "Playing";
    s.hasTrack = lastIndex >= 0 && currentIndex >= 0 && !trackPath.empty();
    s.takenAt = now;
    s.volume = volume.load(std::memory_order_relaxed) / fullVolume;
    if (!s.hasTrack) return s;
    s.trackId = trackObjectPath(currentIndex);
    s.title = titleOf(trackPath);
    s.url = fileUrl(trackPath);
    s.lengthUs = static_cast<std::int64_t>(std::llround(static_cast<double>(trackLength) * 1e6));
    // The time the window's clock shows; none once stopped.
    s.advancing = !isStopped;
    if (paused == 1)
        s.position = elapsed;
    else if (!isStopped)
        s.position = now - startTime;
    return s;
}

void publishPlayerState() {
    PlayerSnapshot now = takePlayerSnapshot();
    std::lock_guard<std::mutex> guard(publishedLock);
    published = std::move(now);
}

PlayerSnapshot publishedSnapshot() {
    std::lock_guard<std::mutex> guard(publishedLock);
    return published;
}

std::int64_t positionAt(const PlayerSnapshot& snapshot, double now) {
    double seconds = snapshot.position;
    if (snapshot.advancing) seconds += now - snapshot.takenAt;
    const double limit = static_cast<double>(snapshot.lengthUs) / 1e6;
    if (snapshot.lengthUs > 0 && seconds > limit) seconds = limit;
    if (!(seconds > 0)) return 0;
    return static_cast<std::int64_t>(std::llround(seconds * 1e6));
}

}  // namespace korvane::mpris
