// The track-length service: how long an MP3 file plays, found by scanning
// its frame headers (no audio is decoded). Main thread only.
#pragma once

#include <string>

namespace korvane {

// Result codes of queryLengthService.
constexpr int lengthServiceOk = 0;
constexpr int lengthServiceCannotOpen = 1;
constexpr int lengthServiceNoFrames = 2;

// How the audio of a file begins: its first frame's sample rate and samples
// per channel, and whether a Xing/Info frame comes first (a decoder plays it
// as one frame of silence).
struct StreamStart {
    int sampleRate = 0;
    int frameSamples = 0;
    bool summaryFrame = false;
};

// Answers the playing time of the MP3 file at path in whole milliseconds as
// decimal text in reply, with lengthServiceOk; otherwise returns one of the
// other codes and leaves reply as it was. An ID3v2 tag at the start is
// skipped; when the first frame is a Xing/Info frame carrying a frame count,
// the count gives the length (unless the file holds fewer bytes than the
// frame says: it was cut), otherwise every frame's duration is added.
// start, when given, is told how the audio begins.
int queryLengthService(const std::string& path, std::string& reply, StreamStart* start = nullptr);

}  // namespace korvane
