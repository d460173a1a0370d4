#include "KVSoundManager.h"

#include <algorithm>
#include <string>
#include <vector>

#include "../KVLua/IKVLua.h"
#include "../kernel/KVCore.h"
#include "KVResourceSoundBuffer.h"
#include "KVSound.h"

namespace kvl {

KVSoundManager::~KVSoundManager() {
    DropPending();
    // Sounds still owned elsewhere outlive the manager; they stop reaching it.
    for (int32_t i = m_sounds.Head(); i != KVIndexedList<KVSound*>::kNone; i = m_sounds.Next(i))
        (*m_sounds.At(i))->DetachManager();
}

int32_t KVSoundManager::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVSoundManager) return AnswerInterface(static_cast<IKVSoundManager*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVSoundManager::Init(int32_t phase) {
    switch (phase) {
    case 1:
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVSoundManager", this);
        m_paused = false;
        m_globalVolume = 1.0f;
        m_globalPan = 0.0f;
        break;
    case 2:
        if (KVCore::Instance()) m_device = QueryCoreInterface<IKVSoundDevice>(IID_IKVSoundDevice);
        break;
    case 5:
        SetPaused(false);
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVSoundManager::Release(int32_t phase) {
    if (phase == 0)
        SetPaused(true);
    else if (phase == 1 || phase == 4)
        ReleasePausedSounds();
    return KV_OK;
}

int32_t KVSoundManager::Update(float dt) {
    (void)dt;
    // A walk that survives a sound leaving the pool.
    KVIndexedList<KVSound*>::Iterator it(m_sounds, m_sounds.Head());
    while (!it.AtEnd()) {
        KVSound* sound = *m_sounds.At(it.Index());
        it.Next();
        sound->UpdateStream();
    }
    return KV_OK;
}

IKVFile* KVSoundManager::FileLayer() const {
    return m_file ? m_file : QueryCoreInterface<IKVFile>(IID_IKVFile);
}

// --- listeners and global values ---------------------------------------------------

int32_t KVSoundManager::AddEntry(IKVSoundVolumeListener* listener) {
    if (!listener) return KV_INVALID;
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
    return KV_OK;
}

int32_t KVSoundManager::RemoveEntry(IKVSoundVolumeListener* listener) {
    auto found = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (found != m_listeners.end()) m_listeners.erase(found);
    return KV_OK;
}

void KVSoundManager::SetGlobalVolume(float volume) {
    m_globalVolume = volume == volume ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
    for (int32_t i = m_sounds.Head(); i != KVIndexedList<KVSound*>::kNone; i = m_sounds.Next(i)) {
        KVSound* sound = *m_sounds.At(i);
        sound->SetVolume(sound->GetVolume());
    }
    // A copy: a listener may leave the list while it is told.
    const std::vector<IKVSoundVolumeListener*> listeners = m_listeners;
    for (IKVSoundVolumeListener* listener : listeners) listener->OnGlobalVolumeChanged();
}

void KVSoundManager::SetGlobalPan(float pan) {
    m_globalPan = pan == pan ? std::clamp(pan, -1.0f, 1.0f) : 0.0f;
    for (int32_t i = m_sounds.Head(); i != KVIndexedList<KVSound*>::kNone; i = m_sounds.Next(i)) {
        KVSound* sound = *m_sounds.At(i);
        sound->SetPan(sound->GetPan());
    }
}

// --- pause ------------------------------------------------------------------------

void KVSoundManager::SetPaused(bool paused) {
    if (paused == m_paused) return;
    m_paused = paused;
    if (paused) {
        ReleasePausedSounds();
        for (int32_t i = m_sounds.Head(); i != KVIndexedList<KVSound*>::kNone; i = m_sounds.Next(i)) {
            KVSound* sound = *m_sounds.At(i);
            if (sound->GetState() != KVSOUND_PLAYING) continue;
            sound->Pause();
            sound->Retain();
            m_pausedSounds.PushBack(sound);
        }
        return;
    }
    // Only a sound that someone still owns plays again.
    for (int32_t i = m_pausedSounds.Head(); i != KVIndexedList<KVSound*>::kNone; i = m_pausedSounds.Next(i)) {
        KVSound* sound = *m_pausedSounds.At(i);
        if (sound->Release() > 0) sound->Play(sound->GetLoop());
    }
    m_pausedSounds.Clear();
}

void KVSoundManager::ReleasePausedSounds() {
    for (int32_t i = m_pausedSounds.Head(); i != KVIndexedList<KVSound*>::kNone; i = m_pausedSounds.Next(i))
        (*m_pausedSounds.At(i))->Release();
    m_pausedSounds.Clear();
}

void KVSoundManager::RemoveSound(KVSound* sound) {
    const int32_t index = sound->GetPoolIndex();
    KVSound** entry = m_sounds.At(index);
    if (entry && *entry == sound) m_sounds.Remove(index);
    sound->SetPoolIndex(-1);
}

// --- making sounds ------------------------------------------------------------------

void KVSoundManager::DropPending() {
    if (m_pendingReader && m_pendingHandle) m_pendingReader->Close(m_pendingHandle);
    m_pendingReader = nullptr;
    m_pendingHandle = nullptr;
}

int32_t KVSoundManager::NeedsRebuild(IKVResource* resource) {
    (void)resource;
    return 0;
}

int32_t KVSoundManager::CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource,
                                       int32_t* managed, uint32_t* size) {
    (void)size;
    if (!resource) return KV_INVALID;
    // A sound buffer is never freed for a later reload; its data stays.
    if (*resource) return KV_FAILED;
    if (!m_device || !reader || !path) return KV_FAILED;
    void* answer = nullptr;
    if (reader->QueryInterface(IID_IKVSoundReader, &answer) != KV_OK || !answer) return KV_FAILED;
    auto* soundReader = static_cast<IKVSoundReader*>(answer);

    void* handle = nullptr;
    int32_t status = soundReader->Open(path, &handle);
    if (status != KV_OK) return status;
    KVSoundReaderInfo info = {};
    soundReader->GetInfo(handle, &info);

    const bool whole = m_wholeLoad;
    SoundFormat format = {info.rate, info.channels, whole ? info.byteLength : 0u, 0u, uint8_t(whole ? 0 : 1)};
    IKVSoundBuffer* buffer = nullptr;
    status = m_device->CreateBuffer(&format, &buffer);
    if (status != KV_OK || !buffer) {
        soundReader->Close(handle);  // not left open by a refused format
        return status != KV_OK ? status : KV_FAILED;
    }
    format.size = buffer->GetSize();

    if (whole) {
        // Decoded aside, so the mixer is kept out only for the copy.
        std::vector<uint8_t> pcm(format.size);
        status = soundReader->Read(handle, pcm.data(), format.size);
        soundReader->Close(handle);
        if (status != KV_OK) {
            buffer->Release();
            return status;
        }
        void* data = nullptr;
        if (buffer->Lock(format.size, &data) == KV_OK) {
            if (data && !pcm.empty()) std::copy(pcm.begin(), pcm.end(), static_cast<uint8_t*>(data));
            buffer->Unlock();
        }
    } else {
        DropPending();
        m_pendingReader = soundReader;
        m_pendingHandle = handle;
    }
    *resource = new KVResourceSoundBuffer(buffer, path, whole, format, info.byteLength, info.secondLength, FileLayer());
    if (managed) *managed = whole ? 1 : 0;
    return KV_OK;
}

int32_t KVSoundManager::LoadStreamed(IKVResource** resource) {
    IKVResource* kept = *resource;
    *resource = nullptr;
    const std::string name = kept->GetName();
    kept->Release();
    IKVResourceManager* resources = FindResourceManager();
    IKVResourceReader* reader = resources ? resources->FindReader(name.c_str()) : nullptr;
    if (!reader) return KV_FAILED;
    int32_t managed = 0;
    uint32_t size = 0;
    return CreateResource(name.c_str(), reader, resource, &managed, &size);
}

int32_t KVSoundManager::CreateSound(const char* path, IKVSound** out, uint8_t streamed) {
    if (!out) return KV_INVALID;
    *out = nullptr;
    IKVResourceManager* resources = FindResourceManager();
    if (!path || !m_device || !resources) return KV_FAILED;
    m_wholeLoad = streamed == 0;
    DropPending();
    IKVResource* loaded = nullptr;
    int32_t status = resources->Load(path, this, nullptr, &loaded, 0);
    if (status == KV_OK && loaded && streamed && !m_pendingHandle) {
        // The path is kept loaded whole, and the kept buffer has no reader
        // to stream from: the streamed sound opens the file for itself.
        status = LoadStreamed(&loaded);
    }
    m_wholeLoad = true;
    if (status != KV_OK || !loaded) {
        if (loaded) loaded->Release();
        DropPending();
        return status != KV_OK ? status : KV_FAILED;
    }
    auto* resource = dynamic_cast<KVResourceSoundBuffer*>(loaded);
    IKVSoundVoice* voice = nullptr;
    status = resource && resource->GetDeviceBuffer() ? m_device->CreateVoice(resource->GetDeviceBuffer(), &voice)
                                                     : KV_FAILED;
    if (status != KV_OK || !voice) {
        loaded->Release();
        DropPending();
        return status != KV_OK ? status : KV_FAILED;
    }
    auto* sound = new KVSound(this, resource, voice);
    if (streamed) {
        sound->StartStreaming(m_pendingReader, m_pendingHandle, (m_device->GetCaps() & KVSOUND_CAP_THREADED_REFILL) != 0);
        m_pendingReader = nullptr;
        m_pendingHandle = nullptr;
    }
    sound->SetPoolIndex(m_sounds.PushBack(sound));
    *out = sound;
    return KV_OK;
}

int32_t KVSoundManager::CreateBuffer(uint32_t rate, uint32_t channels, uint32_t bytes, IKVSound** out) {
    if (!out) return KV_INVALID;
    *out = nullptr;
    // An empty ring could never be refilled.
    if (!m_device || bytes == 0) return KV_FAILED;
    SoundFormat format = {rate, channels, bytes, 0u, 1u};
    IKVSoundBuffer* buffer = nullptr;
    int32_t status = m_device->CreateBuffer(&format, &buffer);
    if (status != KV_OK || !buffer) return status != KV_OK ? status : KV_FAILED;
    auto* resource = new KVResourceSoundBuffer(buffer, std::string(), false, format, 0, 0, FileLayer());
    IKVSoundVoice* voice = nullptr;
    status = m_device->CreateVoice(buffer, &voice);
    if (status != KV_OK || !voice) {
        resource->Release();
        return status != KV_OK ? status : KV_FAILED;
    }
    auto* sound = new KVSound(this, resource, voice);
    sound->SetPoolIndex(m_sounds.PushBack(sound));
    *out = sound;
    return KV_OK;
}

} // namespace kvl
