#include "KVUnitSound.h"

#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVResources.h"
#include "../units/IKVSerialize.h"
#include "../units/IKVUnitRef.h"
#include "../units/KVUnitFactory.h"
#include "IKVSoundManager.h"
#include "KVUnitEvents.h"

namespace kvl {

KVUnit* KVUnitSound::Create() { return new KVUnitSound; }

KVUnitSound::~KVUnitSound() {
    // A unit deleted without closing still lets go of what it holds.
    ReleaseSound();
    for (IKVUnitRef** ref : {&m_unitNotify, &m_locator}) {
        if (*ref) (*ref)->Release();
        *ref = nullptr;
    }
}

int32_t KVUnitSound::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitSound) return AnswerInterface(static_cast<IKVUnitSound*>(&m_face), out);
    if (id == IID_IKVSound) {
        if (out) *out = m_sound;
        return m_sound ? KV_OK : KV_FAILED;
    }
    return KVUnit::QueryInterface(id, out);
}

void KVUnitSound::Init() {
    KVUnit::Init();
    m_streamed = false;
    m_path.clear();
    m_loop = false;
    m_autoplay = false;
    m_volume = 0.8f;
    m_autoDisable = false;
    m_panFactor = 0.4f;
    m_dopplerFactor = 1.0f;
    m_radius = 10.0f;
    m_attenuationFactor = 1.0f;
    m_sound3D = false;
    m_position = KV3DVector();
    m_playing = 0;
    m_autoplayed = 0;
    m_previousDistance = 0.0f;
    m_previousValid = 0;
    // Updated every frame while "Update" is set, whatever the script holds.
    SetNativeUpdate(true);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return;
    if (!m_unitNotify) m_unitNotify = factory->MakeUnitRef(GetIndex(), &kUnitNotifyId);
    if (!m_locator) m_locator = factory->MakeUnitRef(GetIndex(), &kLocatorId);
}

void KVUnitSound::Close() {
    if (!IsClosing()) {
        KVUnitWatch watch(this);
        if (!CheckEnd() || !watch.Alive()) return;
        ReleaseSound();
        for (IKVUnitRef** ref : {&m_unitNotify, &m_locator}) {
            if (*ref) (*ref)->Release();
            *ref = nullptr;
        }
    }
    KVUnit::Close();
}

void KVUnitSound::ResetState() {
    KVUnit::ResetState();
    m_playing = 0;
    m_autoplayed = 0;
}

void KVUnitSound::Refresh() {
    m_previousValid = 0;
    m_autoplayed = 0;
}

bool KVUnitSound::CheckEnd() {
    if (!m_playing || !m_sound) return true;
    // Asking IsPlaying first turns a sound whose voice ended into a stopped
    // one; a paused sound (the game's pause too) has not ended.
    if (m_sound->IsPlaying() != 0 || m_sound->GetState() == KVSOUND_PAUSED) return true;
    m_playing = 0;
    KVUnitWatch watch(this);
    Notify("OnEndSound");
    return watch.Alive();
}

void KVUnitSound::ReleaseSound() {
    m_playing = 0;
    if (!m_sound) return;
    IKVSound* sound = m_sound;
    m_sound = nullptr;
    sound->Release();
}

void KVUnitSound::Notify(const char* event) { RaiseNotifyEvent(this, m_unitNotify, event); }

int32_t KVUnitSound::LoadSound() {
    if (!CheckEnd()) return KV_OK;
    ReleaseSound();
    if (!IsEnabled() || m_path.size() <= 2) return KV_OK;

    KVResources* resources = KVResources::Instance();
    if (resources) resources->SetCurrentUnit(GetIndex());
    const std::string path = m_path;
    std::string resolved = path;
    if (IKVSerialize* serialize = QueryCoreInterface<IKVSerialize>(IID_IKVSerialize))
        serialize->MakeAbsolutePath(path, &resolved);
    IKVSoundManager* manager = QueryCoreInterface<IKVSoundManager>(IID_IKVSoundManager);
    IKVSound* sound = nullptr;
    int32_t result = manager ? manager->CreateSound(resolved.c_str(), &sound, m_streamed ? 1 : 0) : KV_FAILED;
    if (result == KV_OK && !sound) result = KV_FAILED;
    if (result != KV_OK) {
        KVUnitWatch watch(this);
        RaiseError(0);
        if (IKVLog* log = GetLog()) log->WriteString("Error loading sound file " + path, KVLOG_ERROR, 0);
        if (resources) resources->SetCurrentUnit(-1);
        return result;
    }
    m_sound = sound;
    ApplyVolume();
    if (resources) resources->SetCurrentUnit(-1);
    return KV_OK;
}

int32_t KVUnitSound::Reload() {
    if (!IsEnabled() || !m_sound) return KV_FAILED;
    return LoadSound();
}

int32_t KVUnitSound::ApplyVolume() {
    if (!IsEnabled() || !m_sound) return KV_OK;
    if (m_sound3D) {
        Update3D(0.0f);
        return KV_OK;
    }
    return m_sound->SetVolume(m_volume);
}

int32_t KVUnitSound::PlaySound() {
    if (!m_sound) return KV_FAILED;
    m_autoplayed = 1;
    m_playing = 1;
    Update3D(0.0f);
    const int32_t result = m_sound->Play(m_loop ? 1 : 0);
    if (result != KV_OK) return result;
    Notify("OnPlaySound");
    return KV_OK;
}

int32_t KVUnitSound::StopSound() {
    if (!m_sound) return KV_FAILED;
    m_playing = 0;
    return m_sound->Stop();
}

int32_t KVUnitSound::PauseSound() {
    if (!m_sound) return KV_FAILED;
    m_playing = 0;
    return m_sound->Pause();
}

int32_t KVUnitSound::SetVolume(float volume) {
    m_volume = volume;
    return ApplyVolume();
}

void KVUnitSound::Update(float dt) {
    KVUnitWatch watch(this);
    KVUnit::Update(dt);
    if (!watch.Alive()) return;
    if (m_playing) {
        if (!m_sound) {
            m_playing = 0;
            return;
        }
        if (m_sound->IsPlaying() == 0 && m_sound->GetState() != KVSOUND_PAUSED) {
            m_playing = 0;
            Notify("OnEndSound");
            // The event may have closed the unit.
            if (watch.Alive() && m_autoDisable) SetEnabled(false);
            return;
        }
        Update3D(dt);
    } else if (m_autoplay && !m_autoplayed) {
        PlaySound();
    }
}

} // namespace kvl
