#pragma once
// Demultiplexing and decoding of an Ogg movie: one Theora stream and one
// Vorbis stream chosen by track number, fed from the reader's ring. Video
// frames are decoded when due by the movie's clock (the sound's playback
// position, or the sum of update times without sound) and handed to the
// host; the sound is decoded when the host's sound pulls samples.
//
// The video side (Open, DecodeVideo, UpdateClock, Rewind, Close) runs on the
// game's thread; GetSamples may run on the sound's streaming thread. Both
// consume the one sync state and ring under the movie's consumer lock. Host
// sound calls are made outside that lock, since the sound may be pulling.
#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <ogg/ogg.h>
#include <theora/theora.h>
#include <tremor/ivorbiscodec.h>

#include "IKVTheoraHost.h"
#include "KVTheoraReader.h"

namespace kvl {

class KVTheoraDecoder {
public:
    KVTheoraDecoder(IKVTheoraHost* host, IKVFile* files);
    // Frees what is left without calling the host: the owner closes first.
    ~KVTheoraDecoder();
    KVTheoraDecoder(const KVTheoraDecoder&) = delete;
    KVTheoraDecoder& operator=(const KVTheoraDecoder&) = delete;

    // Settings kept by the owner. The loop switch may change while the movie
    // plays: a pass already read ahead past the end is then not played.
    void SetLoop(bool loop);
    void SetNoSound(bool noSound) { m_noSound = noSound; }
    void SetVideoTrack(uint32_t track) { m_videoTrack = track; }
    void SetAudioTrack(uint32_t track) { m_audioTrack = track; }
    // Errors are only answered, not logged: for players outside the game
    // that report failures in their own way.
    void SetQuiet(bool quiet) { m_quiet = quiet; }

    // First opening of the (resolved) path: starts the reader, reads the
    // headers, makes the surface and the sound, shows the first frame. One
    // error line and a closed movie on failure.
    int32_t Open(const std::string& path);
    // Starts the same file again with the current tracks and sound switch,
    // keeping the reader, the sound and the surface (a stream of another
    // frame size gets a new surface of its size, a sound track of another
    // rate or channel count a new sound).
    int32_t Reopen();
    // Frees the decoders; unless partial, also stops the reader, closes the
    // file and has the host release the sound and the surface.
    void Close(bool partial);

    // Decodes up to the frame due (or the next one when forced) and shows it;
    // one call decodes a bounded number of packets (PacketBudget) and goes
    // into one new pass at most, and shows the last frame it reached, so
    // that a movie never holds the caller for long.
    void DecodeVideo(bool force);
    // Moves the clock: from the sound's position, else by dt.
    void UpdateClock(float dt);
    // Back to the first frame: the reader restarts at the loop point and the
    // decoding state and clock start over.
    void Rewind();
    // Fills n interleaved 16-bit samples (zeros past the end) and returns n.
    uint32_t GetSamples(int16_t* buffer, uint32_t n);

    bool IsOpen() const { return m_file != nullptr; }
    bool HasVideo() const { return m_hasVideo; }
    bool HasSound() const { return m_hasSound; }
    bool VideoEnded() const { return m_videoEnded; }
    bool SoundEnded() const { return m_soundEnded; }
    // Both streams have run out (or are absent).
    bool Finished() const;
    // The encoded frame's size, and the size of the picture shown of it.
    uint32_t FrameWidth() const;
    uint32_t FrameHeight() const;
    uint32_t PictureWidth() const;
    uint32_t PictureHeight() const;
    uint32_t SoundRate() const;
    uint32_t SoundChannels() const;
    float Clock() const { return m_clock; }
    double FrameEnd() const { return m_frameEnd; }
    double LoopTime() const { return m_loopTime; }
    int64_t FirstGranule() const { return m_firstGranule; }

private:
    struct VideoStream;
    struct AudioStream;
    // A packet copied out of its stream, or (mark set) the end of a pass.
    struct HeldPacket {
        std::vector<unsigned char> bytes;
        ogg_packet packet = {};
        bool mark = false;
    };

    void ResetPlayback();
    int32_t ReadHeaders(bool reopen);
    int32_t HeaderFailure(const char* message, bool partial);
    bool ScanBeginningPages();
    void QueuePage(ogg_page* page);
    void TakePages();
    // The consumer's read: false when no data came. Either side may cross
    // into the next pass (when looping): what both streams still hold of the
    // old pass is kept aside first, so that each side knows where its own
    // pass ends.
    bool TakeData(bool mayCross);
    void HoldPass();
    // The next packet of a stream, held ones first; a pass mark restarts
    // the frame times (video) or the decoder and the counting (sound).
    int VideoPacketOut(ogg_packet* packet);
    int AudioPacketOut(ogg_packet* packet);
    bool FrameDue() const;
    bool PictureInFrame() const;
    // Packets one DecodeVideo call hands the decoder at most.
    uint32_t PacketBudget() const;
    void ShowFrame();
    void RestartGranule();
    void FreeStreams();
    void ReportError(const std::string& text) const;

    IKVTheoraHost* m_host;
    IKVFile* m_files;
    KVFileHandle m_file = nullptr;
    KVTheoraReader m_reader;
    IKVCriticalSection* m_lock = nullptr;

    std::atomic<bool> m_loop{true};
    bool m_noSound = false;
    bool m_quiet = false;
    uint32_t m_videoTrack = 0;
    uint32_t m_audioTrack = 0;

    ogg_sync_state m_sync;
    std::unique_ptr<VideoStream> m_video;
    std::unique_ptr<AudioStream> m_audio;
    bool m_hasVideo = false;
    bool m_hasSound = false;
    bool m_soundMade = false;
    // The rate and channel count the host's sound was made for.
    uint32_t m_soundRate = 0;
    uint32_t m_soundChannels = 0;
    // The size of the host's surface (0 while none was made).
    uint32_t m_surfaceWidth = 0;
    uint32_t m_surfaceHeight = 0;

    float m_clock = 0.0f;
    double m_frameEnd = 0.0;
    double m_previousEnd = 0.0;
    double m_loopTime = 0.0;
    int64_t m_firstGranule = -1;

    bool m_videoEnded = false;
    bool m_soundEnded = false;
    bool m_counting = true;
    uint32_t m_handedOut = 0;
    // Packets of a pass that were still queued when the other side crossed
    // into the next pass, each queue ending with a pass mark.
    std::deque<HeldPacket> m_videoHeld;
    std::deque<HeldPacket> m_audioHeld;
    // The held packet being decoded (its bytes live here meanwhile).
    HeldPacket m_videoCurrent;
    HeldPacket m_audioCurrent;
    // New passes begun since the last decoded frame or sound packet: a pass
    // without any ends that stream instead of looping for ever.
    uint32_t m_passesWithoutFrame = 0;
    uint32_t m_passesWithoutSound = 0;
    // Passes the video has begun (pass marks taken), ever.
    uint32_t m_videoPassesStarted = 0;
    // Sample frames handed out of the current pass, and where its sound
    // ends (the last packet's granule position; -1 while unknown).
    int64_t m_passFrames = 0;
    int64_t m_passEnd = -1;
};

} // namespace kvl
