// Fuzz target: a ".mp3list" playlist file on any bytes, read as "load" reads
// it. The list must hold at most 401 non-empty entries with their labels,
// and saving it must give a file that loads the same list.
#include <cstdint>
#include <string>
#include <vector>

#include "app/text/text_file.h"
#include "playback/playlist.h"
#include "playback/playlist_block.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace korvane;

void check(bool condition, const std::string& what) { fuzz::check(condition, "playlist_file", what); }

std::vector<std::string> load(std::string text) {
    TextLines lines(std::move(text));
    readPlaylistBlock(lines);
    check(lastIndex >= -1 && lastIndex <= maxLastIndex, "lastIndex " + std::to_string(lastIndex));
    std::vector<std::string> entries;
    for (int i = 0; i <= lastIndex; ++i) {
        check(!playlistEntries[i].empty(), "entry " + std::to_string(i) + " is empty");
        check(playlistLabels[i] == playlistLabel(i, playlistEntries[i]), "label " + std::to_string(i));
        entries.push_back(playlistEntries[i]);
    }
    for (int i = lastIndex + 1; i < playlistCapacity; ++i)
        check(playlistEntries[i].empty() && playlistLabels[i].empty(), "a stale entry past the list");
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> loaded = load(std::string(reinterpret_cast<const char*>(data), size));
    const std::string saved = playlistBlockText();
    check(load(saved) == loaded, "the saved list loads differently:\n" + saved);
    return 0;
}
