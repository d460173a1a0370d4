#pragma once
// Ogg Vorbis fixtures: a rising sweep (a different one on each channel, so
// no stretch repeats) of any rate, channel count and length, zero samples
// included, or the header packets alone. The encoder runs as a program of
// its own (its library and the engine's decoder share function names).
#include <cstdint>
#include <vector>

namespace kvtest {

struct OggToneSpec {
    uint32_t rate = 44100;
    uint32_t channels = 2;
    uint32_t frames = 22050;
    bool headersOnly = false;
};

// The file's bytes; empty (and a test failure) when the encoder fails.
std::vector<uint8_t> WriteOggTone(const OggToneSpec& recipe);
// `seconds` of 44100 Hz stereo.
std::vector<uint8_t> WriteOggSeconds(double seconds);

} // namespace kvtest
