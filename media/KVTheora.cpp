#include "KVTheora.h"

#include <algorithm>

#include "../kernel/IKVFile.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVPath.h"
#include "../kernel/KVFormat.h"
#include "../units/IKVSerialize.h"
#include "../units/IKVUnit.h"
#include "../units/IKVUnitFactory.h"
#include "../units/IKVUnitRef.h"
#include "../units2d/IKVUnitSprite.h"
#include "IKVSoundManager.h"
#include "KVMediaServices.h"
#include "KVMovieSound.h"
#include "KVUnitEvents.h"

namespace kvl {

namespace {

// Pixel format of the own texture: a planar Y'CbCr picture that the
// device converts on upload.
constexpr uint32_t kPlanarFormat = 2048;

// A "File" shorter than this names no movie.
constexpr size_t kShortestFile = 5;

} // namespace

IKVExternal* KVTheora::CreateTheora() { return new KVTheora; }

KVTheora::~KVTheora() {
    // Detach closed the movie; a unit that never attached leaves nothing open.
    Close();
    if (m_unitNotify) m_unitNotify->Release();
}

int32_t KVTheora::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitExternal) return AnswerInterface(static_cast<IKVUnitExternal*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVTheora::Attach(IKVUnit* host) {
    m_host = host;
    m_sprite = QueryInterfaceOf<IKVUnitSprite>(host, IID_IKVUnitSprite);
    IKVUnitFactory* factory = MediaService<IKVUnitFactory>(IID_IKVUnitFactory);
    if (factory && host && !m_unitNotify) m_unitNotify = factory->MakeUnitRef(host->GetIndex(), &kUnitNotifyId);
    m_decoder.reset();
    m_sound = nullptr;
    m_state = KVTHEORA_STOPPED;
    m_started = false;
    // The host's source flag is not set: the sprite keeps a pixel source
    // there that its point tests call, and the movie is none.
    return KV_OK;
}

int32_t KVTheora::Detach() {
    if (m_unitNotify) m_unitNotify->Release();
    m_unitNotify = nullptr;
    Close();
    m_host = nullptr;
    m_sprite = nullptr;
    return KV_OK;
}

bool KVTheora::HostEnabled() const { return m_host && m_host->IsEnabled(); }

void KVTheora::Notify(const char* event) { RaiseNotifyEvent(m_host, m_unitNotify, event); }

void KVTheora::Open() {
    Close();
    if (m_file.size() < kShortestFile) return;
    std::string resolved = m_file;
    if (IKVSerialize* serialize = MediaService<IKVSerialize>(IID_IKVSerialize))
        serialize->MakeAbsolutePath(m_file, &resolved);
    resolved = LowerResourcePath(resolved);
    m_decoder = std::make_unique<KVTheoraDecoder>(static_cast<IKVTheoraHost*>(this),
                                                  MediaService<IKVFile>(IID_IKVFile));
    m_decoder->SetLoop(m_loop != 0);
    m_decoder->SetNoSound(m_noSound != 0);
    m_decoder->SetVideoTrack(m_videoTrack);
    m_decoder->SetAudioTrack(m_audioTrack);
    m_openNoSound = m_noSound != 0;
    m_openVideoTrack = m_videoTrack;
    m_openAudioTrack = m_audioTrack;
    // A failure was logged and left the movie closed.
    if (m_decoder->Open(resolved) != KV_OK) m_decoder.reset();
}

void KVTheora::Close() {
    if (!m_decoder) return;
    StopPlayback(false);
    m_decoder->Close(false);
    m_decoder.reset();
}

int32_t KVTheora::Play() {
    if (m_state == KVTHEORA_PLAYING || !m_decoder || (!m_decoder->HasVideo() && !m_decoder->HasSound()))
        return KV_OK;
    if (m_sound && m_decoder->HasSound()) m_sound->Play(1);
    m_state = KVTHEORA_PLAYING;
    Notify("OnVideoStart");
    return KV_OK;
}

int32_t KVTheora::Pause() {
    if (m_state == KVTHEORA_PAUSED || !m_decoder || (!m_decoder->HasVideo() && !m_decoder->HasSound()))
        return KV_OK;
    if (m_sound) m_sound->Pause();
    m_state = KVTHEORA_PAUSED;
    return KV_OK;
}

int32_t KVTheora::Stop() {
    m_started = false;
    StopPlayback(true);
    return KV_OK;
}

int32_t KVTheora::StopIfSet(int32_t flag) {
    if (flag != 0) Stop();
    return KV_OK;
}

void KVTheora::StopPlayback(bool rewind) {
    if (m_state == KVTHEORA_STOPPED || !m_decoder || (!m_decoder->HasVideo() && !m_decoder->HasSound())) return;
    // The decoder starts over with the reader: the next frame shown is the first.
    if (rewind) m_decoder->Rewind();
    if (m_sound) m_sound->Stop();
    m_state = KVTHEORA_STOPPED;
    Notify("OnVideoEnd");
}

int32_t KVTheora::Update(float dt) {
    if (m_state == KVTHEORA_STOPPED) {
        if (!m_autoplay || m_started) return KV_OK;
        Play();
    }
    if (m_state != KVTHEORA_PLAYING || !m_decoder) return KV_OK;
    m_started = true;
    m_decoder->DecodeVideo(false);
    m_decoder->UpdateClock(dt);
    if (m_decoder->Finished()) StopPlayback(true);
    return KV_OK;
}

uint32_t KVTheora::GetSamples(int16_t* buffer, uint32_t count) {
    if (m_decoder) return m_decoder->GetSamples(buffer, count);
    if (buffer) std::fill(buffer, buffer + count, int16_t(0));
    return count;
}

void KVTheora::FileChanged() {
    Close();
    if (!HostEnabled()) return;
    Open();
}

void KVTheora::LoopChanged() {
    if (m_decoder) m_decoder->SetLoop(m_loop != 0);
}

void KVTheora::StreamChoiceChanged() {
    if (!HostEnabled() || !m_decoder) return;
    const bool noSound = m_noSound != 0;
    if (noSound == m_openNoSound && m_videoTrack == m_openVideoTrack && m_audioTrack == m_openAudioTrack) return;
    m_openNoSound = noSound;
    m_openVideoTrack = m_videoTrack;
    m_openAudioTrack = m_audioTrack;
    m_decoder->SetNoSound(noSound);
    m_decoder->SetVideoTrack(m_videoTrack);
    m_decoder->SetAudioTrack(m_audioTrack);
    if (m_decoder->Reopen() != KV_OK) {
        // Headers that no longer read leave nothing to play or hear.
        if (m_sound) m_sound->Stop();
        return;
    }
    if (!m_sound) return;
    // The movie starts over from its first frame; so does the sound that
    // times it, and it is silent when the movie now has none.
    m_sound->Stop();
    if (m_state == KVTHEORA_PLAYING && m_decoder->HasSound()) m_sound->Play(1);
}

void KVTheora::VolumeChanged() {
    if (m_sound) m_sound->SetVolume(m_volume);
}

int32_t KVTheora::CreateFrameSurface(uint32_t width, uint32_t height) {
    if (!m_sprite) return KV_FAILED;
    const KVDeviceSize size = {int32_t(width), int32_t(height)};
    m_surfaceWidth = m_surfaceHeight = 0;
    const int32_t status = m_sprite->CreateOwnTexture(&size, true, kPlanarFormat);
    if (status == KV_OK) {
        m_surfaceWidth = width;
        m_surfaceHeight = height;
    }
    return status;
}

void KVTheora::ShowFrame(const KVTheoraFrame& frame) {
    if (!m_sprite || !m_picture.Take(frame)) return;
    // The texture converts its own size from the planes: a picture of
    // another size would be read past its end.
    if (m_picture.Width() != m_surfaceWidth || m_picture.Height() != m_surfaceHeight) return;
    m_sprite->CopyPixels(nullptr, m_picture.Planes(), m_picture.Stride());
}

void KVTheora::ReleaseFrameSurface() {
    m_surfaceWidth = m_surfaceHeight = 0;
    if (m_sprite) m_sprite->ReleaseOwnTexture();
}

bool KVTheora::CreateSound(uint32_t rate, uint32_t channels) {
    IKVSoundManager* manager = MediaService<IKVSoundManager>(IID_IKVSoundManager);
    if (!manager) return false;
    m_sound = CreateMovieSound(manager, rate, channels, m_volume, this);
    if (m_sound) return true;
    // The device plays 44100 Hz stereo only: the movie would be silent
    // without a word of why.
    if (rate != 44100 || channels != 2) {
        if (IKVLog* log = GetLog())
            log->WriteString(Format("{0}: sound of {1} Hz and {2} channels is not played (44100 Hz stereo only)",
                                    FormatValue(m_file), FormatValue(rate), FormatValue(channels)),
                             KVLOG_WARNING, 0);
    }
    return false;
}

void KVTheora::ReleaseSound() { ReleaseMovieSound(&m_sound); }

uint32_t KVTheora::GetSoundPosition() { return m_sound ? m_sound->GetPosition() : 0; }

void KVTheora::AdvanceSoundPosition(int32_t bytes) {
    if (m_sound) m_sound->AdvancePosition(bytes);
}

} // namespace kvl
