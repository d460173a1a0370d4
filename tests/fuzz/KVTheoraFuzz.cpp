// Ogg movies from untrusted bytes. The first byte sets looping (bit 0), no
// sound (bit 1) and the video track (bits 2-3); the rest is the file. A movie
// that opens is played by a clock for a few seconds with its sound pulled,
// rewound, reopened on another track and played again. The reader's waits
// are only yields, so that a run takes milliseconds.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "KVFuzzSupport.h"
#include "kernel/KVThreadFactory.h"
#include "media/KVTheoraDecoder.h"
#include "support/KVMemoryFile.h"
#include "support/movies/KVOggMovieWriter.h"

namespace {

constexpr const char* kPath = "m.ogg";

// The engine's threads and locks; a sleep only yields the processor, so
// that the reader and the player wait on each other for no longer than it
// takes the other to run.
class QuickThreadFactory : public kvl::IKVThreadFactory {
public:
    QuickThreadFactory() {
        m_threads.Init(0);
        kvl::SetThreadFactory(this);
    }
    kvl::IKVThread* CreateThread() override { return m_threads.CreateThread(); }
    kvl::IKVCriticalSection* CreateCriticalSection() override { return m_threads.CreateCriticalSection(); }
    int32_t Sleep(float) override {
        std::this_thread::yield();
        return kvl::KV_OK;
    }
    // Frees the threads released by the last run.
    void Tidy() { m_threads.DestroyThreads(); }

private:
    kvl::KVThreadFactory m_threads;
};

// Reads every sample of each frame it is shown.
class ProbingHost : public kvl::IKVTheoraHost {
public:
    int32_t CreateFrameSurface(uint32_t, uint32_t) override { return 0; }
    void ShowFrame(const kvl::KVTheoraFrame& f) override {
        Sum(f.y, f.lumaStride, f.width, f.height);
        Sum(f.cb, f.chromaStride, f.chromaWidth, f.chromaHeight);
        Sum(f.cr, f.chromaStride, f.chromaWidth, f.chromaHeight);
    }
    void ReleaseFrameSurface() override {}
    bool CreateSound(uint32_t, uint32_t) override { return true; }
    void ReleaseSound() override {}
    uint32_t GetSoundPosition() override { return position; }
    void AdvanceSoundPosition(int32_t bytes) override { position = uint32_t(int64_t(position) + bytes); }

    uint32_t position = 0;
    volatile uint32_t sum = 0;

private:
    // Every sample is still read under the address checks; only the
    // coverage hooks are left out of this loop, which would otherwise take
    // most of an input's time and tell the fuzzer nothing of the decoder.
    __attribute__((no_sanitize("coverage"))) void Sum(const uint8_t* plane, int32_t stride, uint32_t w,
                                                      uint32_t h) {
        uint32_t s = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) s += plane[int64_t(y) * stride + x];
        sum = sum + s;
    }
};

void Play(kvl::KVTheoraDecoder* decoder, ProbingHost* host, int steps) {
    std::vector<int16_t> samples(4410 * 2);
    for (int i = 0; i < steps && !decoder->Finished(); ++i) {
        if (decoder->HasSound()) {
            decoder->GetSamples(samples.data(), uint32_t(samples.size()));
            host->position += uint32_t(samples.size() * 2);
        }
        decoder->DecodeVideo(false);
        decoder->UpdateClock(0.1f);
    }
}

std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(KV_MOVIE_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    const char modes[] = {0x00, 0x01, 0x02, 0x05};
    int i = 0;
    for (const char* name : kvtest::kMovieFixtures)
        seeds->emplace_back(name, std::string(1, modes[i++ % 4]) + ReadFixture(name));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QuickThreadFactory* threads = new QuickThreadFactory();
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    kvtest::KVMemoryFile files;
    files.SetFile(kPath, data + 1, size - 1);
    ProbingHost host;
    {
        kvl::KVTheoraDecoder decoder(&host, &files);
        decoder.SetLoop((mode & 1) != 0);
        decoder.SetNoSound((mode & 2) != 0);
        decoder.SetVideoTrack((mode >> 2) & 3);
        if (decoder.Open(kPath) == kvl::KV_OK) {
            Play(&decoder, &host, 25);
            decoder.Rewind();
            Play(&decoder, &host, 5);
            decoder.SetVideoTrack(((mode >> 2) + 1) & 3);
            decoder.SetNoSound((mode & 2) == 0);
            if (decoder.Reopen() == kvl::KV_OK) Play(&decoder, &host, 10);
        }
        decoder.Close(false);
    }
    threads->Tidy();
    return 0;
}
