// Ogg movies from untrusted bytes. The first byte sets looping (bit 0), no
// sound (bit 1) and the video track (bits 2-3); the rest is the file. A movie
// that opens is played by a clock for a few seconds with its sound pulled,
// rewound, reopened on another track and played again. The reader's thread
// is kept from input to input and its waits are short, so that a run takes
// milliseconds.
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "KVFuzzSupport.h"
#include "kernel/KVThreadFactory.h"
#include "media/KVTheoraDecoder.h"
#include "media/KVTheoraPicture.h"
#include "support/KVMemoryFile.h"
#include "support/movies/KVOggMovieWriter.h"

namespace {

constexpr const char* kPath = "m.ogg";
// The shortest wait the movie's reader asks for when it has nothing to do.
constexpr float kReaderWait = 0.05f;

// One of the engine's threads, kept from input to input: starting a thread
// is most of a short input's time. The movie's last release hands it back
// to the pool once its job has returned, with its queues emptied.
class PooledThread : public kvl::IKVThread {
public:
    PooledThread(kvl::IKVThread* worker, std::vector<PooledThread*>* pool) : m_worker(worker), m_pool(pool) {}
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override {
        return m_worker->QueryInterface(id, out);
    }
    int32_t Retain() override { return ++m_count; }
    int32_t Release() override {
        if (--m_count != 0) return m_count;
        m_worker->WaitDone();
        for (int32_t direction : {0, 1}) {
            void* message = nullptr;
            while (m_worker->HasMessage(direction) && m_worker->ReceiveOwned(direction, &message) == kvl::KV_OK) {
            }
        }
        m_pool->push_back(this);
        return 0;
    }
    // Made again for the next movie.
    PooledThread* Reuse() {
        m_count = 1;
        return this;
    }
    int32_t Run(kvl::KVThreadFunction function, void* argument, int32_t wait) override {
        return m_worker->Run(function, argument, wait);
    }
    int32_t SendCopy(int32_t direction, const void* data, uint32_t size, uint8_t signal) override {
        return m_worker->SendCopy(direction, data, size, signal);
    }
    int32_t SendOwned(int32_t direction, void* block, uint8_t signal) override {
        return m_worker->SendOwned(direction, block, signal);
    }
    bool HasMessage(int32_t direction) override { return m_worker->HasMessage(direction); }
    int32_t WaitMessage(int32_t direction) override { return m_worker->WaitMessage(direction); }
    int32_t WaitConsumed(int32_t direction) override { return m_worker->WaitConsumed(direction); }
    int32_t Receive(int32_t direction, void* buffer, uint32_t* size) override {
        return m_worker->Receive(direction, buffer, size);
    }
    int32_t ReceiveOwned(int32_t direction, void** out) override { return m_worker->ReceiveOwned(direction, out); }
    bool IsBusy() override { return m_worker->IsBusy(); }
    bool IsQuitting() override { return m_worker->IsQuitting(); }
    int32_t WaitDone() override { return m_worker->WaitDone(); }

private:
    kvl::IKVThread* m_worker;
    std::vector<PooledThread*>* m_pool;
    int32_t m_count = 1;
};

// The engine's threads and locks, the threads pooled; a short wait only
// yields the processor, so that the reader and the player wait on each
// other for no longer than it takes the other to run.
class QuickThreadFactory : public kvl::IKVThreadFactory {
public:
    QuickThreadFactory() {
        m_threads.Init(0);
        kvl::SetThreadFactory(this);
    }
    kvl::IKVThread* CreateThread() override {
        if (!m_pool.empty()) {
            PooledThread* thread = m_pool.back();
            m_pool.pop_back();
            return thread->Reuse();
        }
        kvl::IKVThread* worker = m_threads.CreateThread();
        return worker ? new PooledThread(worker, &m_pool) : nullptr;
    }
    kvl::IKVCriticalSection* CreateCriticalSection() override { return m_threads.CreateCriticalSection(); }
    int32_t Sleep(float seconds) override {
        // The reader's long waits (a full ring, the end of the file) block
        // briefly rather than spin, so that on a busy machine it does not
        // take the processor from the player it waits for.
        if (seconds >= kReaderWait)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        else
            std::this_thread::yield();
        return kvl::KV_OK;
    }
private:
    kvl::KVThreadFactory m_threads;
    std::vector<PooledThread*> m_pool;
};

// Reads both ends of every row of each frame it is shown, and of the first
// frame's picture as the texture would take it.
class ProbingHost : public kvl::IKVTheoraHost {
public:
    int32_t CreateFrameSurface(uint32_t, uint32_t) override {
        pictureDue = true;
        return 0;
    }
    void ShowFrame(const kvl::KVTheoraFrame& f) override {
        Sum(f.y, f.lumaStride, f.width, f.height);
        Sum(f.cb, f.chromaStride, f.chromaWidth, f.chromaHeight);
        Sum(f.cr, f.chromaStride, f.chromaWidth, f.chromaHeight);
        // The picture of a surface's first frame: the frames after it have
        // the same layout and region, and repacking each would take most of
        // an input's time.
        if (!pictureDue || !picture.Take(f)) return;
        pictureDue = false;
        const uint8_t* const* planes = picture.Planes();
        const uint32_t w = picture.Width(), h = picture.Height();
        Sum(planes[0], picture.Stride(), w, h);
        Sum(planes[1], picture.Stride() / 2, (w + 1) / 2, (h + 1) / 2);
        Sum(planes[2], picture.Stride() / 2, (w + 1) / 2, (h + 1) / 2);
    }
    void ReleaseFrameSurface() override {}
    bool CreateSound(uint32_t, uint32_t) override { return true; }
    void ReleaseSound() override {}
    uint32_t GetSoundPosition() override { return position; }
    void AdvanceSoundPosition(int32_t bytes) override { position = uint32_t(int64_t(position) + bytes); }

    uint32_t position = 0;
    volatile uint32_t sum = 0;
    kvl::KVTheoraPicture picture;
    bool pictureDue = false;

private:
    // The first and the last sample of every row are read under the
    // address checks: a row that reaches past its plane's memory does so at
    // one of its ends. The coverage hooks are left out of this loop, which
    // tells the fuzzer nothing of the decoder.
    __attribute__((no_sanitize("coverage"))) void Sum(const uint8_t* plane, int32_t stride, uint32_t w,
                                                      uint32_t h) {
        if (w == 0) return;
        uint32_t s = 0;
        for (uint32_t y = 0; y < h; ++y) {
            const uint8_t* row = plane + int64_t(y) * stride;
            s += row[0] + row[w - 1];
        }
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
    (void)threads;
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
    return 0;
}
