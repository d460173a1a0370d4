#include "KVCinemaPlayer.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../kernel/KVCore.h"
#include "IKVSoundManager.h"
#include "KVAudio.h"
#include "KVMovieSound.h"
#include "KVTheoraDecoder.h"

namespace kvl {
namespace {

constexpr const char kFileScheme[] = "file://";
constexpr uint8_t kMovieEndEvent = 0;
// How long the thread waits at most before it looks at the clock again.
constexpr double kLongestWait = 0.1;
// Waking a little after a frame's end makes the next frame due at once.
constexpr double kWakeMargin = 0.001;
// How far the clock runs on by the wall past the sound's position last
// seen: a little more than the game's steps apart while a movie plays.
constexpr double kLongestRunOn = 0.3;

void CopyPlane(const uint8_t* source, int32_t stride, uint32_t width, uint32_t height, uint8_t* out) {
    for (uint32_t row = 0; row < height; ++row)
        std::memcpy(out + size_t(row) * width, source + std::ptrdiff_t(row) * stride, width);
}

} // namespace

KVCinemaPlayer::KVCinemaPlayer() = default;

KVCinemaPlayer::~KVCinemaPlayer() { Stop(); }

int KVCinemaPlayer::Load(const char* url) {
    Stop();
    const size_t schemeLength = sizeof kFileScheme - 1;
    if (!url || std::strncmp(url, kFileScheme, schemeLength) != 0 || url[schemeLength] == '\0') return 0;
    IKVFile* files = m_files ? m_files : QueryCoreInterface<IKVFile>(IID_IKVFile);
    if (!files) return 0;
    m_frameWidth = m_frameHeight = 0;
    m_firstPlanes.clear();
    m_firstFrame = KVTheoraFrame();
    auto decoder = std::make_unique<KVTheoraDecoder>(static_cast<IKVTheoraHost*>(this), files);
    // The library answers whether it can play; the game logs the refusal.
    decoder->SetQuiet(true);
    decoder->SetLoop(false);
    m_decoder = std::move(decoder);
    if (m_decoder->Open(url + schemeLength) != KV_OK || !m_decoder->HasVideo()) {
        m_decoder->Close(false);
        m_decoder.reset();
        return 0;
    }
    return 1;
}

int KVCinemaPlayer::Play() {
    if (!m_decoder || m_playing) return 0;
    m_lent = m_screen.Lend();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = false;
    }
    m_playing = true;
    m_seenPosition = m_answeredPosition = 0;
    m_seenAt = std::chrono::steady_clock::now();
    // Picture and sound start together: the sound's position is the clock.
    if (m_sound) m_sound->Play(1);
    m_thread = std::thread(&KVCinemaPlayer::Run, this);
    return 1;
}

int KVCinemaPlayer::Stop() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopRequested = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    // An end queued by this movie must not end the next one.
    if (m_endQueued) {
        SDL_Event event;
        while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_EVENTMASK(kMovieEndEvent)) > 0) {
        }
    }
    m_endQueued = false;
    m_playing = false;
    if (m_lent) m_screen.TakeBack();
    m_lent = false;
    if (!m_decoder) return 0;
    m_decoder->Close(false);
    m_decoder.reset();
    return 1;
}

int32_t KVCinemaPlayer::CreateFrameSurface(uint32_t width, uint32_t height) {
    m_frameWidth = width;
    m_frameHeight = height;
    return 0;
}

bool KVCinemaPlayer::CreateSound(uint32_t rate, uint32_t channels) {
    // Without a device that plays, the wall times the movie.
    KVAudio* audio = KVAudio::Instance();
    IKVSoundManager* manager = QueryCoreInterface<IKVSoundManager>(IID_IKVSoundManager);
    if (!audio || !audio->IsOpen() || !manager) return false;
    m_sound = CreateMovieSound(manager, rate, channels, 1.0f, this);
    m_soundBytesPerSecond = uint64_t(rate) * channels * 2;
    return m_sound != nullptr;
}

void KVCinemaPlayer::ReleaseSound() { ReleaseMovieSound(&m_sound); }

uint32_t KVCinemaPlayer::GetSoundPosition() {
    if (!m_sound) return 0;
    const auto now = std::chrono::steady_clock::now();
    const uint32_t position = m_sound->GetPosition();
    if (position != m_seenPosition) {
        m_seenPosition = position;
        m_seenAt = now;
    }
    const double runOn = std::min(std::chrono::duration<double>(now - m_seenAt).count(), kLongestRunOn);
    const uint64_t estimate = uint64_t(m_seenPosition) + uint64_t(runOn * double(m_soundBytesPerSecond));
    const uint32_t answer = uint32_t(std::min<uint64_t>(estimate, UINT32_MAX)) & ~3u;
    m_answeredPosition = std::max(m_answeredPosition, answer);
    return m_answeredPosition;
}

void KVCinemaPlayer::AdvanceSoundPosition(int32_t bytes) {
    if (!m_sound) return;
    m_sound->AdvancePosition(bytes);
    m_seenPosition = uint32_t(int64_t(m_seenPosition) + bytes);
    m_answeredPosition = uint32_t(int64_t(m_answeredPosition) + bytes);
}

uint32_t KVCinemaPlayer::GetSamples(int16_t* buffer, uint32_t count) {
    if (m_decoder) return m_decoder->GetSamples(buffer, count);
    if (buffer) std::fill(buffer, buffer + count, int16_t(0));
    return count;
}

void KVCinemaPlayer::ShowFrame(const KVTheoraFrame& frame) {
    if (!m_playing) {
        KeepFirstFrame(frame);
        return;
    }
    if (m_drawing) m_screen.Show(frame);
}

void KVCinemaPlayer::KeepFirstFrame(const KVTheoraFrame& frame) {
    if (!frame.y || !frame.cb || !frame.cr) return;
    const size_t luma = size_t(frame.width) * frame.height;
    const size_t chroma = size_t(frame.chromaWidth) * frame.chromaHeight;
    m_firstPlanes.resize(luma + 2 * chroma);
    uint8_t* y = m_firstPlanes.data();
    CopyPlane(frame.y, frame.lumaStride, frame.width, frame.height, y);
    CopyPlane(frame.cb, frame.chromaStride, frame.chromaWidth, frame.chromaHeight, y + luma);
    CopyPlane(frame.cr, frame.chromaStride, frame.chromaWidth, frame.chromaHeight, y + luma + chroma);
    m_firstFrame = frame;
    m_firstFrame.y = y;
    m_firstFrame.cb = y + luma;
    m_firstFrame.cr = y + luma + chroma;
    m_firstFrame.lumaStride = int32_t(frame.width);
    m_firstFrame.chromaStride = int32_t(frame.chromaWidth);
}

void KVCinemaPlayer::Run() {
    using Clock = std::chrono::steady_clock;
    m_drawing = m_lent && m_screen.Begin(m_frameWidth, m_frameHeight);
    if (m_drawing && !m_firstPlanes.empty()) m_screen.Show(m_firstFrame);

    bool ended = false;
    Clock::time_point last = Clock::now();
    for (;;) {
        const double untilFrameEnd = m_decoder->FrameEnd() - double(m_decoder->Clock());
        // A picture that has ended waits for its sound to end.
        const double wait =
            m_decoder->VideoEnded() ? kLongestWait : std::clamp(untilFrameEnd, 0.0, kLongestWait) + kWakeMargin;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_wake.wait_for(lock, std::chrono::duration<double>(wait), [this] { return m_stopRequested; }))
                break;
        }
        const Clock::time_point now = Clock::now();
        m_decoder->UpdateClock(std::chrono::duration<float>(now - last).count());
        last = now;
        m_decoder->DecodeVideo(false);
        // As a movie unit: over once its picture and its sound have ended.
        if (m_decoder->Finished()) {
            ended = true;
            break;
        }
    }

    if (m_drawing) m_screen.End();
    m_drawing = false;
    if (!ended) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    // A stop already asked for means the game has ended the movie itself.
    if (m_stopRequested) return;
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = kMovieEndEvent;
    m_endQueued = SDL_PushEvent(&event) == 0;
}

} // namespace kvl
