// Fuzz target: the track-length service on any bytes as an MP3 file. It must
// answer "no frames" or a length in whole non-negative milliseconds, and
// never read outside the file's bytes.
#include <cstdint>
#include <string>

#include "playback/track_length.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    static const fuzz::TemporaryFile input("length", ".mp3");
    input.write(data, size);
    std::string reply = "untouched";
    const int result = queryLengthService(input.path(), reply);
    if (result == lengthServiceNoFrames) {
        fuzz::check(reply == "untouched", "track_length", "a failed query changed the reply");
        return 0;
    }
    fuzz::check(result == lengthServiceOk, "track_length", "result " + std::to_string(result));
    fuzz::check(!reply.empty() && reply.find_first_not_of("0123456789") == std::string::npos, "track_length",
                "reply \"" + reply + "\"");
    return 0;
}
