#include "KVMedia.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVCore.h"
#include "KVUnitEvents.h"

namespace kvl {

KVMedia::~KVMedia() {
    if (m_registered)
        if (IKVLua* lua = GetLuaBinding()) lua->UnregisterLibrary("KVMedia");
}

int32_t KVMedia::Init(int32_t phase) {
    if (phase == 1) {
        m_service = QueryCoreInterface<IKVMediaSoundService>(IID_IKVMediaSoundService);
        if (m_service && !m_registered) {
            if (IKVLua* lua = GetLuaBinding()) {
                lua->RegisterLibrary("KVMedia", this);
                m_registered = true;
            }
        }
    } else if (phase == 5) {
        SetAllPaused(false);
    }
    return KV_OK;
}

int32_t KVMedia::Release(int32_t phase) {
    if (phase == 0)
        SetAllPaused(true);
    else if (phase == 4)
        StopAll();
    return KV_OK;
}

int32_t KVMedia::Update(float dt) {
    (void)dt;
    if (!m_service) return KV_OK;
    // A unit told of its sound's end may play or stop sounds: the iterator
    // moves on past any entry removed meanwhile.
    KVIndexedList<Sound>::Iterator it(m_pool, m_pool.Head());
    while (!it.AtEnd()) {
        const int32_t index = it.Index();
        it.Next();
        if (!m_service->IsPlaying(m_pool.At(index)->handle)) RemoveSound(index);
    }
    return KV_OK;
}

int32_t KVMedia::AddSound(int32_t handle, int32_t unit) { return m_pool.PushBack(Sound{handle, unit}); }

void KVMedia::RemoveSound(int32_t index) {
    Sound* sound = m_pool.At(index);
    if (!sound) return;
    const Sound taken = *sound;
    if (m_service) m_service->Release(taken.handle);
    m_pool.Remove(index);
    if (taken.unit != -1) RaiseUnitEvent(taken.unit, "OnEndSound");
}

void KVMedia::SetAllPaused(bool paused) {
    if (!m_service) return;
    for (int32_t i = m_pool.Head(); i != KVIndexedList<Sound>::kNone; i = m_pool.Next(i))
        m_service->SetPaused(m_pool.At(i)->handle, paused);
}

void KVMedia::StopAll() {
    if (m_service) {
        for (int32_t i = m_pool.Head(); i != KVIndexedList<Sound>::kNone; i = m_pool.Next(i)) {
            m_service->Stop(m_pool.At(i)->handle);
            m_service->Release(m_pool.At(i)->handle);
        }
    }
    m_pool.Clear();
}

} // namespace kvl
