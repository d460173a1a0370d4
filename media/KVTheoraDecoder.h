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
//
// A looping pass lasts as long as its longer stream: a picture that ends
// first holds its last frame, a sound that ends first is followed by
// silence, and both start the next pass together. Where the sound, the
// clock and the picture stand in the passes, and when each may cross into
// the next, is KVMoviePasses'. Neither side reads on past the end of its
// own stream, and one pull reads a bounded number of blocks, so that a
// stream that ends long before the other never reads the rest of the file
// at once.
#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <ogg/ogg.h>
#include <theora/theora.h>
#include <tremor/ivorbiscodec.h>

#include "IKVTheoraHost.h"
#include "KVMoviePasses.h"
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
    // Blocks one pull reads at most; what it could not fill is silence.
    static constexpr uint32_t kBlocksPerPull = 32;

    bool IsOpen() const { return m_file != nullptr; }
    bool HasVideo() const { return m_hasVideo; }
    bool HasSound() const { return m_hasSound; }
    bool VideoEnded() const { return m_videoEnded; }
    // The sound's data has run out and its last sample has been played
    // (the clock has reached it), not merely been handed out.
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
    // Passes the clock has gone into (without sound, the picture's, whose
    // clock starts again from 0 at each).
    uint32_t ClockPass() const { return m_passes.ClockPass(); }
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
    // Whether a page was taken.
    bool TakePages();
    // The consumer's read: the pages the sync state already holds, else the
    // next block's; false when no data came. A side that crosses into the
    // next pass (when looping) first keeps aside what both streams still
    // hold of the old pass, so that each side knows where its own pass ends.
    bool TakeData(bool mayCross);
    // The reader holds (or will hold) more of the pass being read: no loop
    // point and no end of the data next.
    bool PassHasMore();
    void HoldPass();
    // The next packet of a stream, held ones first. A pass mark restarts
    // the frame times, and is only taken once the clock is in that pass
    // (with sound): until then the picture holds its last frame.
    int VideoPacketOut(ogg_packet* packet);
    bool VideoMarkWaiting() const;
    int AudioPacketOut(ogg_packet* packet);
    // Sound side, once the pass's own samples are out: silence up to the
    // pass's end, then the next pass. False when there is no next pass (the
    // sound has run out) or nothing in the pass to repeat.
    bool EndSoundPass(int16_t* buffer, uint32_t* filled, uint32_t n, uint32_t* reads);
    void StartSoundPass();
    uint32_t FrameBytes() const { return SoundChannels() * 2; }
    // Where the sound's pass ends on the picture's side: the end of the
    // video known so far (seconds), and whether it is the end of the pass.
    double VideoPassTime() const;
    bool VideoPassKnown();
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
    // Where the sound, the clock and the picture stand in the passes.
    KVMoviePasses m_passes;
    // The picture's pass: its last packet was taken; it holds its last frame.
    bool m_videoEos = false;
    bool m_videoPassEnded = false;
    // Pages of the sound's pass given to the video stream: the last granule
    // position, and whether the stream's last page came.
    int64_t m_videoQueuedGranule = -1;
    bool m_videoQueuedEnd = false;
    // Packets of a pass that were still queued when a side crossed into
    // the next pass, each queue ending with a pass mark.
    std::deque<HeldPacket> m_videoHeld;
    std::deque<HeldPacket> m_audioHeld;
    // The held packet being decoded (its bytes live here meanwhile).
    HeldPacket m_videoCurrent;
    HeldPacket m_audioCurrent;
    // New passes begun since the last decoded frame: a pass without any
    // ends the picture instead of looping for ever.
    uint32_t m_passesWithoutFrame = 0;
};

} // namespace kvl
