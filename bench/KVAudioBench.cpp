// One mixer pass (4096 bytes) over 32 looping voices at mixed volumes,
// against a plain loop that sums the same 32 buffers × volume, truncates,
// clamps and stores.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "KVBench.h"
#include "media/KVAudio.h"
#include "support/KVAudioHarness.h"

namespace {

constexpr size_t kVoices = 32;
constexpr size_t kPassSamples = kvl::KVAudio::kAccumulatorSamples;
constexpr size_t kBufferSamples = 40 * kPassSamples;  // whole passes: no wrap inside one
constexpr int kPassesPerRound = 16;

struct MixSetup {
    kvtest::KVAudioHarness harness;
    std::vector<std::vector<int16_t>> samples;
    std::vector<float> volumes;
    std::vector<kvtest::SoundBufferPtr> buffers;
    std::vector<kvtest::SoundVoicePtr> voices;
    // The plain loop's own state.
    std::vector<size_t> positions;
    std::vector<int32_t> acc;
    std::vector<uint8_t> stream;
    uint32_t sink = 0;

    MixSetup() : positions(kVoices, 0), acc(kPassSamples), stream(kPassSamples * 2) {
        std::mt19937 rng(11);
        std::uniform_int_distribution<int> sample(-32768, 32767);
        for (size_t v = 0; v < kVoices; ++v) {
            samples.emplace_back(kBufferSamples);
            for (int16_t& s : samples.back()) s = int16_t(sample(rng));
            volumes.push_back(0.05f + 0.95f * float(v) / float(kVoices - 1));
            buffers.push_back(kvtest::MakeSoundBuffer(harness.Device(), samples.back()));
            voices.push_back(kvtest::MakeVoice(harness.Device(), buffers.back().get(), volumes.back()));
            voices.back()->Play(1);
        }
    }
    ~MixSetup() {
        voices.clear();
        buffers.clear();
    }

    void Plain() {
        int32_t* sum = acc.data();
        uint8_t* out = stream.data();
        std::fill(sum, sum + kPassSamples, 0);
        for (size_t v = 0; v < kVoices; ++v) {
            const int16_t* src = samples[v].data() + positions[v];
            const float volume = volumes[v];
            for (size_t i = 0; i < kPassSamples; ++i) sum[i] += int32_t(float(src[i]) * volume);
            positions[v] = (positions[v] + kPassSamples) % kBufferSamples;
        }
        for (size_t i = 0; i < kPassSamples; ++i) {
            const auto value = uint16_t(uint32_t(std::clamp(sum[i], -32768, 32767)));
            out[2 * i] = uint8_t(value & 0xff);
            out[2 * i + 1] = uint8_t(value >> 8);
        }
        sink += out[kPassSamples];
    }

    void Engine() {
        kvl::KVAudio::MixCallback(nullptr, stream.data(), int(stream.size()));
        sink += stream[kPassSamples];
    }
};

MixSetup* SharedSetup() { return &kvbench::Lazy<MixSetup>(); }

// The set-up opens the audio device: made at the figure's first round, not
// when it registers, so that other figures' processes keep SDL's audio free.
kvbench::Figure MakeMixFigure() {
    kvbench::Figure f;
    f.name = "KVAudio MixCallback 4096 bytes, 32 looping voices";
    f.baselineName = "plain sum, truncate, clamp and store";
    f.target = 1.3;
    f.baseline = [] {
        MixSetup* setup = SharedSetup();
        for (int i = 0; i < kPassesPerRound; ++i) setup->Plain();
    };
    f.subject = [] {
        MixSetup* setup = SharedSetup();
        for (int i = 0; i < kPassesPerRound; ++i) setup->Engine();
    };
    return f;
}

KV_BENCH_FIGURE(MakeMixFigure);

} // namespace
