#pragma once
// The engine's own movie player behind the platform's movie library. It
// takes "file://" URLs of Ogg files with a Theora stream, decodes on a thread
// of its own by the frames' granule times, draws each frame over the whole
// screen on the game's lent OpenGL ES context (without one it only keeps
// time), queues an SDL event of type 0 after the last frame, and stops when
// it is destroyed.
//
// A Vorbis track plays through the game's audio device, as a sound of the
// sound manager that pulls its samples from the movie; its playback position
// is the movie's clock, as for a movie unit, and it stops with the movie.
// The game refills that sound at each of its steps (a few a second while a
// movie plays), so between them the clock runs on by the wall's time from
// the position last seen, never back and never far past it. With no device
// open, or a track the device cannot play, the movie is silent and timed by
// the wall.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "../kernel/IKVFile.h"
#include "../platform/CIN.h"
#include "IKVSound.h"
#include "IKVTheoraHost.h"
#include "KVCinemaScreen.h"

namespace kvl {

class KVTheoraDecoder;

class KVCinemaPlayer : public IKVCinemaBackend, private IKVTheoraHost, private IKVSoundDataProvider {
public:
    KVCinemaPlayer();
    ~KVCinemaPlayer();
    KVCinemaPlayer(const KVCinemaPlayer&) = delete;
    KVCinemaPlayer& operator=(const KVCinemaPlayer&) = delete;

    int Init() override { return 0; }
    // Opens the movie (a movie loaded or playing before is stopped): 1 when
    // it has a Theora stream whose headers read, else 0.
    int Load(const char* url) override;
    // Starts the loaded movie from its first frame, taking the screen from
    // the calling thread; 1 when started.
    int Play() override;
    // Ends the movie, waits for its thread, gives the screen back to the
    // calling thread; 1 when a movie was loaded.
    int Stop() override;

    // Seam: the file layer instead of the core's.
    void SetFileInterface(IKVFile* files) { m_files = files; }
    bool IsLoaded() const { return m_decoder != nullptr; }
    // The thread runs and draws on the lent context.
    bool IsDrawing() const { return m_drawing; }

private:
    // IKVTheoraHost: a frame surface of any size, a sound of the sound
    // manager. The position is asked on the movie's thread.
    int32_t CreateFrameSurface(uint32_t width, uint32_t height) override;
    void ShowFrame(const KVTheoraFrame& frame) override;
    void ReleaseFrameSurface() override {}
    bool CreateSound(uint32_t rate, uint32_t channels) override;
    void ReleaseSound() override;
    uint32_t GetSoundPosition() override;
    void AdvanceSoundPosition(int32_t bytes) override;
    // IKVSoundDataProvider
    uint32_t GetSamples(int16_t* buffer, uint32_t count) override;

    void Run();
    void KeepFirstFrame(const KVTheoraFrame& frame);

    IKVFile* m_files = nullptr;
    std::unique_ptr<KVTheoraDecoder> m_decoder;
    KVCinemaScreen m_screen;
    uint32_t m_frameWidth = 0;
    uint32_t m_frameHeight = 0;

    // The frame shown at opening, kept until the thread draws it.
    KVTheoraFrame m_firstFrame;
    std::vector<uint8_t> m_firstPlanes;

    // The movie's sound (null when silent), its bytes a second, and on the
    // movie's thread: the position last seen, when it was seen, and the
    // last position answered.
    IKVSound* m_sound = nullptr;
    uint64_t m_soundBytesPerSecond = 0;
    uint32_t m_seenPosition = 0;
    std::chrono::steady_clock::time_point m_seenAt;
    uint32_t m_answeredPosition = 0;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopRequested = false;  // guarded by m_mutex
    bool m_endQueued = false;      // set by the thread before it ends
    bool m_playing = false;        // the thread was started
    bool m_lent = false;
    std::atomic<bool> m_drawing{false};
};

} // namespace kvl
