#pragma once
// Writes Ogg movies with the Theora and Vorbis encoders: one or more Theora
// streams of solid-colour frames (one colour per frame), optionally a
// Vorbis stream of two tones, with every beginning page first, then the
// other header pages, then the data pages in time order. Knobs corrupt the
// second header packet of a stream.
//
// Only the constants below may be used inside the engine's test programs:
// the encoders live in the writer program (kv_movie_writer), since the
// encoder's Vorbis library and the engine's integer Vorbis decoder export the
// same function names and cannot share a process.
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

struct KVMovieColour {
    uint8_t y;
    uint8_t cb;
    uint8_t cr;
};

// The fixtures kv_movie_writer writes: 320 x 240 at 10 frames per second,
// three segments of five frames each (1.5 s).
constexpr uint32_t kMovieWidth = 320;
constexpr uint32_t kMovieHeight = 240;
constexpr uint32_t kMovieFps = 10;
constexpr uint32_t kMovieSegmentFrames = 5;
constexpr uint32_t kMovieSegments = 3;
constexpr KVMovieColour kMovieColours[kMovieSegments] = {{60, 100, 180}, {150, 80, 120}, {210, 160, 90}};
// The second Theora stream of the two-stream fixture.
constexpr KVMovieColour kMovieOtherColours[kMovieSegments] = {{30, 200, 60}, {100, 60, 200}, {180, 128, 128}};

// colours.ogg: the colours and sound at 44100 Hz stereo; video.ogg: the
// colours only; two.ogg: the colours, then the other colours as a second
// Theora stream; rate48.ogg: the colours and sound at 48000 Hz stereo;
// truncated.ogg: colours.ogg cut inside its headers; badtheora.ogg and
// badvorbis.ogg: colours.ogg with a broken second header packet; wide.ogg:
// two frames 8208 pixels wide and 16 high, wider than any surface;
// twosizes.ogg: two.ogg with its second stream at kMovieSmallWidth x
// kMovieSmallHeight; keys.ogg: video.ogg with every frame a key frame;
// twosounds.ogg: colours.ogg with a second Vorbis stream at 48000 Hz;
// chroma422.ogg and chroma444.ogg: video.ogg with the chroma at half and at
// full width and height, each showing a picture region inside the frame
// (kMoviePictures).
constexpr const char* kMovieFixtures[] = {"colours.ogg",   "video.ogg",     "two.ogg",      "rate48.ogg",
                                          "truncated.ogg", "badtheora.ogg", "badvorbis.ogg", "wide.ogg",
                                          "twosizes.ogg",  "keys.ogg",      "twosounds.ogg", "chroma422.ogg",
                                          "chroma444.ogg"};
// The picture regions of chroma422.ogg and chroma444.ogg (in the top-left
// coordinates of the 320 x 240 frame).
struct KVMoviePicture {
    uint32_t x, y, width, height;
};
constexpr KVMoviePicture kMoviePictures[2] = {{6, 4, 302, 226}, {7, 3, 301, 233}};
constexpr uint32_t kMovieSmallWidth = 160;
constexpr uint32_t kMovieSmallHeight = 128;

struct KVMovieSize {
    uint32_t width;
    uint32_t height;
};

// pattern640.ogg, for timing decoding: 640 x 480 at 30 frames per second,
// 60 frames of a moving pattern with fine detail, no sound. Not a seed of
// the fuzz target.
constexpr const char* kMovieBenchFixture = "pattern640.ogg";
constexpr uint32_t kMovieBenchFrames = 60;

// long.ogg: the colours again and again at one frame per second for
// kMovieLongSeconds, no sound; a movie that outlasts any hang limit, for
// tests that must tell "stops at once" from "plays to its end" without
// timing speed. Not a seed of the fuzz target.
constexpr const char* kMovieLongFixture = "long.ogg";
constexpr uint32_t kMovieLongSeconds = 60;

struct KVMovieSpec {
    uint32_t width = kMovieWidth;
    uint32_t height = kMovieHeight;
    uint32_t fps = kMovieFps;
    // Per Theora stream, the colour of each frame.
    std::vector<std::vector<KVMovieColour>> videoStreams;
    // Per Theora stream, its frame size when not width x height (0: that).
    std::vector<KVMovieSize> streamSizes;
    // Every frame coded whole, as encoders asked for one key frame a frame do.
    bool keyFramesOnly = false;
    // The chroma layout: 0 for 4:2:0, 2 for 4:2:2, 3 for 4:4:4.
    uint32_t pixelFormat = 0;
    // The picture region within the encoded frame (0 x 0: the whole frame);
    // the rest is padding.
    uint32_t pictureX = 0;
    uint32_t pictureY = 0;
    uint32_t pictureWidth = 0;
    uint32_t pictureHeight = 0;
    // 0: no sound.
    uint32_t audioRate = 0;
    uint32_t audioChannels = 2;
    // A second Vorbis stream of the same tones at this rate (0: none).
    uint32_t secondAudioRate = 0;
    double audioSeconds = 0.0;
    // Frames carry a pattern around their colour that moves from frame to
    // frame, instead of being flat.
    bool patterned = false;
    bool corruptTheoraHeader = false;
    bool corruptVorbisHeader = false;
};

// The file's bytes; `dataStart` (when given) receives the offset of the
// first page after the headers.
std::vector<uint8_t> WriteOggMovie(const KVMovieSpec& recipe, size_t* dataStart = nullptr);

// The frames of the fixtures: each colour for kMovieSegmentFrames frames.
inline std::vector<KVMovieColour> MovieSegments(const KVMovieColour (&colours)[kMovieSegments]) {
    std::vector<KVMovieColour> frames;
    for (const KVMovieColour& colour : colours) frames.insert(frames.end(), kMovieSegmentFrames, colour);
    return frames;
}

// Writes every fixture named above into the directory; false on failure.
bool WriteMovieFixtures(const std::string& directory);

} // namespace kvtest
