#include "KVTheoraDecoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "../kernel/IKVLog.h"

namespace kvl {
namespace {

// Sets the granule position the decoder counts on from (libtheora's
// TH_DECCTL_SET_GRANPOS).
constexpr int kSetGranulePosition = 5;

// Largest frame side accepted; no surface could hold a larger frame.
constexpr uint32_t kMaxFrameSide = 8192;

// The decoding one call of DecodeVideo does at most, in frame pixels: eight
// frames of 1920 x 1080, 218 of 320 x 240, one of any larger size. Frames
// whose times never fall due (a frame rate far above the game's, times far
// behind the clock) would otherwise hold the game's frame for as long as
// packets come; a movie late by more catches up over the next calls.
constexpr uint64_t kDecodePixelsPerCall = uint64_t(1) << 24;

void LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteString(text, KVLOG_ERROR, 0);
}

int16_t ToSample(ogg_int32_t value) {
    // The decoder keeps 9 fractional bits below the 16-bit sample.
    int32_t v = value >> 9;
    return int16_t(std::clamp<int32_t>(v, -32768, 32767));
}

} // namespace

struct KVTheoraDecoder::VideoStream {
    explicit VideoStream(int serial) {
        ogg_stream_init(&stream, serial);
        theora_info_init(&info);
        theora_comment_init(&comment);
    }
    ~VideoStream() {
        if (decoding) theora_clear(&state);
        theora_comment_clear(&comment);
        theora_info_clear(&info);
        ogg_stream_clear(&stream);
    }
    VideoStream(const VideoStream&) = delete;
    VideoStream& operator=(const VideoStream&) = delete;

    ogg_stream_state stream;
    theora_info info;
    theora_comment comment;
    theora_state state;
    int headers = 0;
    bool decoding = false;
};

struct KVTheoraDecoder::AudioStream {
    explicit AudioStream(int serial) {
        ogg_stream_init(&stream, serial);
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~AudioStream() {
        if (decoding) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
        ogg_stream_clear(&stream);
    }
    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;

    ogg_stream_state stream;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    int headers = 0;
    bool decoding = false;
};

KVTheoraDecoder::KVTheoraDecoder(IKVTheoraHost* host, IKVFile* files) : m_host(host), m_files(files) {
    ogg_sync_init(&m_sync);
}

void KVTheoraDecoder::ReportError(const std::string& text) const {
    if (!m_quiet) LogError(text);
}

KVTheoraDecoder::~KVTheoraDecoder() {
    m_video.reset();
    m_audio.reset();
    m_reader.Stop();
    if (m_file && m_files) m_files->Close(m_file);
    m_file = nullptr;
    ogg_sync_clear(&m_sync);
    if (m_lock) m_lock->Release();
}

void KVTheoraDecoder::SetLoop(bool loop) {
    m_loop = loop;
    m_reader.SetLoop(loop);
}

void KVTheoraDecoder::ResetPlayback() {
    m_loopTime = 0.0;
    m_clock = 0.0f;
    m_frameEnd = 0.0;
    m_previousEnd = 0.0;
    m_passes.Reset();
    m_videoEos = false;
    m_videoPassEnded = false;
    m_videoQueuedGranule = -1;
    m_videoQueuedEnd = false;
    m_videoEnded = false;
    m_soundEnded = false;
    m_videoHeld.clear();
    m_audioHeld.clear();
    m_passesWithoutFrame = 0;
}

int32_t KVTheoraDecoder::Open(const std::string& path) {
    if (m_file) Close(false);
    if (!m_lock) {
        if (IKVThreadFactory* factory = GetThreadFactory()) m_lock = factory->CreateCriticalSection();
    }
    int32_t status = KV_OK;
    {
        KVLockGuard guard(m_lock);
        ResetPlayback();
        m_firstGranule = -1;
        m_hasVideo = m_hasSound = false;
        if (!m_files || m_files->Open(path.c_str(), KVFILE_READ, &m_file) != KV_OK || !m_file) {
            m_file = nullptr;
            status = KV_NO_FILE;
        } else {
            m_reader.SetLoop(m_loop);
            m_reader.SetLoopPoint(-1);
            if (!m_lock || !m_reader.Start(m_files, m_file)) status = KV_FAILED;
        }
        if (status != KV_OK) ReportError("Unable to open " + path);
        ogg_sync_reset(&m_sync);
        if (status == KV_OK) status = ReadHeaders(false);
    }
    if (status != KV_OK) {
        Close(false);
        return status;
    }
    return KV_OK;
}

int32_t KVTheoraDecoder::Reopen() {
    // Nothing open, nothing to start again (and no reader to feed the headers).
    if (!m_file || !m_reader.IsRunning()) return KV_FAILED;
    Close(true);
    int32_t status;
    {
        KVLockGuard guard(m_lock);
        ResetPlayback();
        // The reader goes back to the start through its own rewind rather
        // than having the file moved under it.
        m_reader.SetLoopPoint(-1);
        m_reader.Rewind();
        ogg_sync_reset(&m_sync);
        status = ReadHeaders(true);
    }
    if (status != KV_OK) Close(true);
    return status;
}

int32_t KVTheoraDecoder::ReadHeaders(bool reopen) {
    if (!ScanBeginningPages()) {
        ReportError("End of file while searching for codec headers");
        return KV_FAILED;
    }
    int64_t loopPoint = 0;
    for (;;) {
        while (m_video && m_video->headers < 3) {
            ogg_packet packet;
            int r = ogg_stream_packetout(&m_video->stream, &packet);
            if (r == 0) break;
            if (r < 0 || theora_decode_header(&m_video->info, &m_video->comment, &packet) < 0) {
                ReportError("Error parsing Theora stream headers; corrupt stream?");
                return KV_FAILED;
            }
            ++m_video->headers;
        }
        while (m_audio && m_audio->headers < 3) {
            ogg_packet packet;
            int r = ogg_stream_packetout(&m_audio->stream, &packet);
            if (r == 0) break;
            if (r < 0 || vorbis_synthesis_headerin(&m_audio->info, &m_audio->comment, &packet) < 0) {
                ReportError("Error parsing Vorbis stream headers; corrupt stream?");
                return KV_FAILED;
            }
            ++m_audio->headers;
        }
        // The first byte not yet taken as a page: with the headers complete,
        // where the first page after them begins.
        loopPoint = m_reader.ConsumedOffset(m_sync);
        if ((!m_video || m_video->headers >= 3) && (!m_audio || m_audio->headers >= 3)) break;
        ogg_page page;
        int r = ogg_sync_pageout(&m_sync, &page);
        if (r > 0) {
            QueuePage(&page);
        } else if (r == 0 && m_reader.ReadBlock(&m_sync, nullptr, true) == 0) {
            ReportError("End of file while searching for codec headers");
            return KV_FAILED;
        }
    }
    m_reader.SetLoopPoint(loopPoint);

    // The decoder allocates whole frames of this size before any is shown;
    // the picture shown lies within the frame.
    if (m_video && (FrameWidth() == 0 || FrameHeight() == 0 || FrameWidth() > kMaxFrameSide ||
                    FrameHeight() > kMaxFrameSide || !PictureInFrame())) {
        ReportError("Error parsing Theora stream headers; corrupt stream?");
        return KV_FAILED;
    }
    if (m_video) {
        if (theora_decode_init(&m_video->state, &m_video->info) == 0)
            m_video->decoding = true;
        else
            m_video.reset();
    }
    m_hasVideo = m_video != nullptr;
    // A track change keeps the surface while the frame size stays; a stream
    // of another size gets a surface of its own size, since the surface
    // converts its whole size from every frame's planes.
    const bool sized = m_surfaceWidth == PictureWidth() && m_surfaceHeight == PictureHeight();
    if (m_hasVideo && m_host && (!reopen || !sized)) {
        if (reopen && m_surfaceWidth != 0) m_host->ReleaseFrameSurface();
        m_surfaceWidth = m_surfaceHeight = 0;
        if (m_host->CreateFrameSurface(PictureWidth(), PictureHeight()) != 0) {
            ReportError("Error while creating surface");
            return KV_FAILED;
        }
        m_surfaceWidth = PictureWidth();
        m_surfaceHeight = PictureHeight();
    }

    m_hasSound = false;
    if (!m_noSound && m_audio && vorbis_synthesis_init(&m_audio->dsp, &m_audio->info) == 0) {
        vorbis_block_init(&m_audio->dsp, &m_audio->block);
        m_audio->decoding = true;
        const uint32_t rate = SoundRate();
        const uint32_t channels = SoundChannels();
        // A track of another rate or channel count than the sound was made
        // for needs a sound of its own (the old one pulls silence as it goes).
        if (m_soundMade && m_host && (rate != m_soundRate || channels != m_soundChannels)) {
            if (m_lock) m_lock->Unlock();
            m_host->ReleaseSound();
            if (m_lock) m_lock->Lock();
            m_soundMade = false;
        }
        // Set before the sound exists: it may pull its first second at once.
        m_hasSound = true;
        if (!m_soundMade && m_host) {
            // The sound may pull on its own thread while it is made.
            if (m_lock) m_lock->Unlock();
            bool made = m_host->CreateSound(rate, channels);
            if (m_lock) m_lock->Lock();
            m_soundMade = made;
            m_soundRate = rate;
            m_soundChannels = channels;
        }
        m_hasSound = m_soundMade;
    }
    // A stream nobody decodes would keep every page it is given.
    if (!m_hasSound) m_audio.reset();

    m_videoEnded = false;
    m_soundEnded = false;
    DecodeVideo(true);
    return KV_OK;
}

bool KVTheoraDecoder::ScanBeginningPages() {
    std::unique_ptr<VideoStream> heldVideo;
    std::unique_ptr<AudioStream> heldAudio;
    uint32_t theoraSeen = 0;
    uint32_t vorbisSeen = 0;
    for (;;) {
        ogg_page page;
        int r = ogg_sync_pageout(&m_sync, &page);
        if (r < 0) continue;
        if (r == 0) {
            if (m_reader.ReadBlock(&m_sync, nullptr, true) == 0) return false;
            continue;
        }
        if (!ogg_page_bos(&page)) {
            // The first stream of a kind stands in for a track number that
            // matched none.
            if (!m_video) m_video = std::move(heldVideo);
            if (!m_audio) m_audio = std::move(heldAudio);
            QueuePage(&page);
            return true;
        }
        const int serial = ogg_page_serialno(&page);
        ogg_packet packet;
        if (!m_video) {
            auto candidate = std::make_unique<VideoStream>(serial);
            if (ogg_stream_pagein(&candidate->stream, &page) == 0 &&
                ogg_stream_packetout(&candidate->stream, &packet) == 1 &&
                theora_decode_header(&candidate->info, &candidate->comment, &packet) >= 0) {
                candidate->headers = 1;
                if (theoraSeen == m_videoTrack) {
                    m_video = std::move(candidate);
                    heldVideo.reset();
                } else if (theoraSeen == 0) {
                    heldVideo = std::move(candidate);
                }
                ++theoraSeen;
                continue;
            }
        }
        if (!m_audio) {
            auto candidate = std::make_unique<AudioStream>(serial);
            if (ogg_stream_pagein(&candidate->stream, &page) == 0 &&
                ogg_stream_packetout(&candidate->stream, &packet) == 1 &&
                vorbis_synthesis_headerin(&candidate->info, &candidate->comment, &packet) >= 0) {
                candidate->headers = 1;
                if (vorbisSeen == m_audioTrack) {
                    m_audio = std::move(candidate);
                    heldAudio.reset();
                } else if (vorbisSeen == 0) {
                    heldAudio = std::move(candidate);
                }
                ++vorbisSeen;
            }
        }
    }
}

void KVTheoraDecoder::QueuePage(ogg_page* page) {
    if (m_video && ogg_stream_pagein(&m_video->stream, page) == 0) {
        const int64_t granule = ogg_page_granulepos(page);
        if (granule >= 0) m_videoQueuedGranule = granule;
        if (ogg_page_eos(page)) m_videoQueuedEnd = true;
    }
    if (m_audio) ogg_stream_pagein(&m_audio->stream, page);
}

bool KVTheoraDecoder::TakePages() {
    ogg_page page;
    int r;
    bool taken = false;
    while ((r = ogg_sync_pageout(&m_sync, &page)) != 0) {
        if (r < 0) continue;
        QueuePage(&page);
        taken = true;
    }
    return taken;
}

bool KVTheoraDecoder::TakeData(bool mayCross) {
    // Pages read with the headers (a small file is read whole with them)
    // come before the next block.
    if (TakePages()) return true;
    bool newPass = false;
    // Not looping (any more), a pass read ahead is not played.
    if (m_reader.ReadBlock(&m_sync, &newPass, mayCross && m_loop) == 0) return false;
    if (newPass) {
        HoldPass();
        if (!m_hasSound) m_clock = 0.0f;
        ++m_passesWithoutFrame;
    }
    TakePages();
    return true;
}

void KVTheoraDecoder::HoldPass() {
    auto hold = [](ogg_stream_state* stream, std::deque<HeldPacket>* held) {
        ogg_packet packet;
        int r;
        while ((r = ogg_stream_packetout(stream, &packet)) != 0) {
            if (r < 0) continue;
            HeldPacket copy;
            copy.packet = packet;
            copy.bytes.assign(packet.packet, packet.packet + packet.bytes);
            held->push_back(std::move(copy));
        }
        HeldPacket mark;
        mark.mark = true;
        held->push_back(std::move(mark));
    };
    if (m_video) hold(&m_video->stream, &m_videoHeld);
    if (m_audio) hold(&m_audio->stream, &m_audioHeld);
    // What is queued from now on belongs to the next pass.
    m_videoQueuedGranule = -1;
    m_videoQueuedEnd = false;
}

bool KVTheoraDecoder::VideoMarkWaiting() const {
    return !m_videoHeld.empty() && m_videoHeld.front().mark && !m_passes.PictureMayCross(m_hasSound);
}

int KVTheoraDecoder::VideoPacketOut(ogg_packet* packet) {
    while (!m_videoHeld.empty()) {
        if (VideoMarkWaiting()) return 0;
        m_videoCurrent = std::move(m_videoHeld.front());
        m_videoHeld.pop_front();
        if (m_videoCurrent.mark) {
            // The next pass begins: its frame times start again from the
            // first frame's.
            RestartGranule();
            m_passes.PictureCrosses(m_hasSound);
            m_videoEos = false;
            m_videoPassEnded = false;
            continue;
        }
        *packet = m_videoCurrent.packet;
        // An empty packet (a repeated frame) still points somewhere.
        static unsigned char none = 0;
        packet->packet = m_videoCurrent.bytes.empty() ? &none : m_videoCurrent.bytes.data();
        return 1;
    }
    return ogg_stream_packetout(&m_video->stream, packet);
}

int KVTheoraDecoder::AudioPacketOut(ogg_packet* packet) {
    while (!m_audioHeld.empty()) {
        m_audioCurrent = std::move(m_audioHeld.front());
        m_audioHeld.pop_front();
        // Marks are taken where the sound crosses (StartSoundPass).
        if (m_audioCurrent.mark) continue;
        *packet = m_audioCurrent.packet;
        static unsigned char none = 0;
        packet->packet = m_audioCurrent.bytes.empty() ? &none : m_audioCurrent.bytes.data();
        return 1;
    }
    return ogg_stream_packetout(&m_audio->stream, packet);
}

bool KVTheoraDecoder::FrameDue() const {
    const double clock = m_clock;
    if (m_loopTime != 0.0 && clock > m_loopTime && m_previousEnd == 0.0) return true;
    if (m_hasSound) return m_previousEnd <= clock && clock <= m_frameEnd;
    return clock <= m_frameEnd;
}

void KVTheoraDecoder::RestartGranule() {
    if (!m_video || !m_video->decoding || m_firstGranule < 0) return;
    ogg_int64_t value = m_firstGranule;
    theora_control(&m_video->state, kSetGranulePosition, &value, sizeof value);
}

void KVTheoraDecoder::DecodeVideo(bool force) {
    KVLockGuard guard(m_lock);
    if (!m_video || !m_video->decoding) return;
    if (!force && FrameDue()) return;
    theora_state* state = &m_video->state;
    uint32_t budget = PacketBudget();
    const uint32_t pass = m_passes.PicturePass();
    bool decoded = false;
    for (;;) {
        ogg_packet packet;
        int r = VideoPacketOut(&packet);
        if (r == 0) {
            // One call plays into one new pass at most: a pass whose frames
            // never fall due is not read again and again.
            if (m_passes.PicturePass() != pass) break;
            // The last frame holds until the clock begins the next pass
            // (no next pass once "Loop" is cleared).
            if (VideoMarkWaiting()) break;
            if (m_videoPassEnded) {
                if (!m_loop) m_videoEnded = true;
                break;
            }
            if (TakePages()) continue;
            if (m_passesWithoutFrame >= 2) {
                m_videoEnded = true;
                break;
            }
            if (!m_videoEos && PassHasMore()) {
                if (TakeData(false) || !PassHasMore()) continue;
                break;
            }
            // The picture's pass is over (its last packet, the loop point or
            // the end of the data).
            if (!m_loop || m_reader.Peek() == KVTheoraReader::Next::End) {
                m_videoEnded = true;
                break;
            }
            // With sound, the sound ends the pass; without, the picture
            // crosses into the next one (reading what the pass has left).
            if (m_hasSound) {
                m_videoPassEnded = true;
                break;
            }
            if (!TakeData(true)) {
                m_videoEnded = true;
                break;
            }
            continue;
        }
        if (r < 0) continue;
        if (packet.e_o_s) m_videoEos = true;
        const bool spent = --budget == 0;
        if (theora_decode_packetin(state, &packet) != 0) {
            if (spent) break;
            continue;
        }
        decoded = true;
        m_passesWithoutFrame = 0;
        m_previousEnd = m_frameEnd;
        m_frameEnd = theora_granule_time(state, state->granulepos);
        if (m_firstGranule < 0) m_firstGranule = state->granulepos;
        if (m_previousEnd > m_frameEnd) {
            m_loopTime = m_previousEnd;
            m_previousEnd = 0.0;
        }
        if (force || spent || FrameDue()) break;
    }
    // Only a frame this call decoded is new (and before its first, the
    // decoder has none to give).
    if (decoded) ShowFrame();
}

void KVTheoraDecoder::ShowFrame() {
    yuv_buffer yuv;
    if (!m_host || theora_decode_YUVout(&m_video->state, &yuv) != 0) return;
    KVTheoraFrame frame;
    frame.y = yuv.y;
    frame.cb = yuv.u;
    frame.cr = yuv.v;
    frame.lumaStride = yuv.y_stride;
    frame.chromaStride = yuv.uv_stride;
    frame.width = uint32_t(std::max(yuv.y_width, 0));
    frame.height = uint32_t(std::max(yuv.y_height, 0));
    frame.chromaWidth = uint32_t(std::max(yuv.uv_width, 0));
    frame.chromaHeight = uint32_t(std::max(yuv.uv_height, 0));
    const theora_info& info = m_video->info;
    frame.pictureX = info.offset_x;
    frame.pictureY = info.offset_y;
    frame.pictureWidth = info.frame_width;
    frame.pictureHeight = info.frame_height;
    m_host->ShowFrame(frame);
}

void KVTheoraDecoder::UpdateClock(float dt) {
    if (!m_hasSound || !m_host) {
        m_clock += dt;
        return;
    }
    uint64_t bytesPerSecond;
    {
        KVLockGuard guard(m_lock);
        bytesPerSecond = uint64_t(SoundRate()) * SoundChannels() * 2;
    }
    uint32_t position = m_host->GetSoundPosition();
    // Past a pass that the sound has finished, the position goes back by
    // that pass's length and the clock is in the next pass.
    for (;;) {
        uint32_t length = 0;
        KVMoviePasses::ClockStep step;
        {
            KVLockGuard guard(m_lock);
            step = m_passes.Follow(position, m_loop, &length);
            if (step == KVMoviePasses::ClockStep::LastPassOver) {
                // "Loop" was cleared after the sound had gone on into the
                // next pass: the pass being shown was the last.
                m_soundEnded = true;
                m_videoEnded = true;
            }
        }
        if (step != KVMoviePasses::ClockStep::NextPass) break;
        m_host->AdvanceSoundPosition(-int32_t(std::min<uint32_t>(length, INT32_MAX)));
        position = m_host->GetSoundPosition();
    }
    {
        // The sound has ended once its last sample has been played.
        KVLockGuard guard(m_lock);
        if (m_passes.SoundPlayedOut(position)) m_soundEnded = true;
    }
    if (bytesPerSecond != 0) m_clock = float(double(position) / double(bytesPerSecond));
}

void KVTheoraDecoder::Rewind() {
    KVLockGuard guard(m_lock);
    if (!m_reader.IsRunning()) return;
    m_reader.Rewind();
    // Nothing decoded before the rewind may follow it: the pages, packets and
    // samples held are dropped and the times start over.
    ogg_sync_reset(&m_sync);
    if (m_video) ogg_stream_reset(&m_video->stream);
    if (m_audio) {
        ogg_stream_reset(&m_audio->stream);
        if (m_audio->decoding) vorbis_synthesis_restart(&m_audio->dsp);
    }
    RestartGranule();
    ResetPlayback();
    // No frame is due at clock 0 until the first one is decoded.
    m_frameEnd = -1.0;
}

double KVTheoraDecoder::VideoPassTime() const {
    if (!m_video || !m_video->decoding) return 0.0;
    double time = m_passes.PictureInSoundPass() ? std::max(m_frameEnd, 0.0) : 0.0;
    if (m_videoQueuedGranule >= 0) {
        time = std::max(time, theora_granule_time(&m_video->state, m_videoQueuedGranule));
    }
    return time;
}

bool KVTheoraDecoder::PassHasMore() {
    const KVTheoraReader::Next next = m_reader.Peek();
    return next == KVTheoraReader::Next::Data || next == KVTheoraReader::Next::Pending;
}

bool KVTheoraDecoder::VideoPassKnown() {
    if (!m_video || !m_video->decoding || m_videoEnded) return true;
    if (m_passes.PictureInSoundPass() && (m_videoPassEnded || m_videoEos)) return true;
    return m_videoQueuedEnd || !PassHasMore();
}

void KVTheoraDecoder::StartSoundPass() {
    // The old pass's sound has all been handed out: what it held is dropped.
    while (!m_audioHeld.empty()) {
        const bool mark = m_audioHeld.front().mark;
        m_audioHeld.pop_front();
        if (mark) break;
    }
    m_passes.SoundCrosses(FrameBytes());
    // The next pass decodes from a fresh start, as the first did.
    if (m_audio->decoding) vorbis_synthesis_restart(&m_audio->dsp);
}

bool KVTheoraDecoder::EndSoundPass(int16_t* buffer, uint32_t* filled, uint32_t n, uint32_t* reads) {
    const uint32_t channels = SoundChannels();
    const uint32_t room = (n - *filled) / channels;
    if (!m_loop || m_reader.Peek() == KVTheoraReader::Next::End) {
        // No next pass: the sound has run out.
        m_passes.SoundRunsOut(FrameBytes());
        return false;
    }
    const double rate = double(SoundRate());
    // Silence to the end of this pull, part of the pass as the clock hears it.
    auto silence = [&](uint32_t frames) {
        std::fill(buffer + *filled, buffer + *filled + size_t(frames) * channels, int16_t(0));
        *filled += frames * channels;
        m_passes.HandOutSilence(frames);
        return true;
    };
    for (;;) {
        const int64_t handed = m_passes.HandedFrames();
        const bool known = VideoPassKnown();
        // The pass lasts as long as its longer stream; until the picture's
        // end is known, silence goes no further than the picture read so far.
        const int64_t video = int64_t(std::llround(VideoPassTime() * rate));
        const int64_t end = known ? std::max(m_passes.OwnEndFrames(), video) : video;
        if (handed < end) return silence(uint32_t(std::min<int64_t>(end - handed, room)));
        if (known) {
            // Neither stream had anything in the pass: no pass to repeat.
            if (end == 0) {
                m_soundEnded = true;
                return false;
            }
            // The pass is over: on into the next, reading what it has left.
            const size_t held = m_audioHeld.size();
            while (m_audioHeld.size() == held && *reads < kBlocksPerPull && TakeData(true)) ++*reads;
            // What is left of the pass could not be read now: the pass is
            // longer by this pull.
            if (m_audioHeld.size() == held) return silence(room);
            StartSoundPass();
            return true;
        }
        // More of the picture is read, as far as this pull needs it.
        if (*reads >= kBlocksPerPull || !TakeData(false)) return silence(room);
        ++*reads;
    }
}

uint32_t KVTheoraDecoder::GetSamples(int16_t* buffer, uint32_t n) {
    if (!buffer) return n;
    KVLockGuard guard(m_lock);
    uint32_t filled = 0;
    const uint32_t channels = SoundChannels();
    // The decoder may be gone (a track change) while the sound still pulls.
    if (m_hasSound && m_audio && m_audio->decoding && channels != 0 && !m_soundEnded) {
        uint32_t reads = 0;
        while (filled < n) {
            uint32_t room = (n - filled) / channels;
            if (room == 0) break;
            if (m_passes.OwnEnded()) {
                if (!EndSoundPass(buffer, &filled, n, &reads)) break;
                continue;
            }
            ogg_int32_t** pcm = nullptr;
            int frames = vorbis_synthesis_pcmout(&m_audio->dsp, &pcm);
            if (frames > 0) {
                uint32_t take = std::min<uint32_t>(uint32_t(frames), room);
                // The last packet decodes further than the stream's end: what
                // lies past its granule position is not the movie's sound.
                if (m_passes.OwnLimitKnown()) {
                    const int64_t allowed = m_passes.OwnFramesLeft();
                    if (allowed == 0) {
                        vorbis_synthesis_read(&m_audio->dsp, frames);
                        continue;
                    }
                    take = uint32_t(std::min<int64_t>(take, allowed));
                }
                for (uint32_t i = 0; i < take; ++i)
                    for (uint32_t c = 0; c < channels; ++c) buffer[filled++] = ToSample(pcm[c][i]);
                vorbis_synthesis_read(&m_audio->dsp, int(take));
                m_passes.HandOutOwn(take);
                continue;
            }
            ogg_packet packet;
            int r = AudioPacketOut(&packet);
            if (r > 0) {
                if (packet.e_o_s && packet.granulepos >= 0) m_passes.SetOwnLimit(packet.granulepos);
                if (vorbis_synthesis(&m_audio->block, &packet) == 0)
                    vorbis_synthesis_blockin(&m_audio->dsp, &m_audio->block);
                continue;
            }
            if (r < 0 || TakePages()) continue;
            // The sound never reads past its own last packet, nor past the
            // pass: what follows is the picture's.
            if (m_passes.OwnLimitKnown() || !PassHasMore()) {
                m_passes.EndOwn();
                continue;
            }
            // A pull that cannot get its data from a bounded read leaves
            // silence rather than wait for the rest of the file; the silence
            // is part of the pass, as the clock hears it.
            bool gap = reads >= kBlocksPerPull;
            if (!gap) {
                ++reads;
                gap = !TakeData(false) && PassHasMore();
            }
            if (gap) {
                m_passes.HandOutSilence(room);
                break;
            }
        }
    }
    std::fill(buffer + filled, buffer + n, int16_t(0));
    return n;
}

void KVTheoraDecoder::Close(bool partial) {
    {
        KVLockGuard guard(m_lock);
        m_videoHeld.clear();
        m_audioHeld.clear();
        m_video.reset();
        m_audio.reset();
        m_hasVideo = false;
        m_hasSound = false;
    }
    if (partial) return;
    m_reader.Stop();
    if (m_file && m_files) m_files->Close(m_file);
    m_file = nullptr;
    ogg_sync_reset(&m_sync);
    m_soundMade = false;
    m_surfaceWidth = m_surfaceHeight = 0;
    if (m_host) {
        m_host->ReleaseSound();
        m_host->ReleaseFrameSurface();
    }
}

bool KVTheoraDecoder::Finished() const {
    return (m_videoEnded || !m_hasVideo) && (m_soundEnded || !m_hasSound);
}

uint32_t KVTheoraDecoder::FrameWidth() const { return m_video ? m_video->info.width : 0; }
uint32_t KVTheoraDecoder::FrameHeight() const { return m_video ? m_video->info.height : 0; }
uint32_t KVTheoraDecoder::PictureWidth() const { return m_video ? m_video->info.frame_width : 0; }
uint32_t KVTheoraDecoder::PictureHeight() const { return m_video ? m_video->info.frame_height : 0; }

bool KVTheoraDecoder::PictureInFrame() const {
    const theora_info& info = m_video->info;
    return info.frame_width != 0 && info.frame_height != 0 &&
           uint64_t(info.offset_x) + info.frame_width <= info.width &&
           uint64_t(info.offset_y) + info.frame_height <= info.height;
}

uint32_t KVTheoraDecoder::PacketBudget() const {
    const uint64_t area = uint64_t(FrameWidth()) * FrameHeight();
    return uint32_t(std::max<uint64_t>(kDecodePixelsPerCall / std::max<uint64_t>(area, 1), 1));
}

uint32_t KVTheoraDecoder::SoundRate() const {
    return m_audio && m_audio->info.rate > 0 ? uint32_t(std::min<long>(m_audio->info.rate, INT32_MAX)) : 0;
}

uint32_t KVTheoraDecoder::SoundChannels() const {
    return m_audio && m_audio->info.channels > 0 ? uint32_t(m_audio->info.channels) : 0;
}

} // namespace kvl
