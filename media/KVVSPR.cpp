#include "KVVSPR.h"

#include "../kernel/IKVFile.h"
#include "../kernel/KVPath.h"
#include "../units/IKVSerialize.h"
#include "../units/IKVUnit.h"
#include "../units/IKVUnitFactory.h"
#include "../units/IKVUnitRef.h"
#include "../units2d/IKVUnitSprite.h"
#include "KVMediaServices.h"
#include "KVUnitEvents.h"

namespace kvl {

namespace {

// Pixel format of the own texture: 32-bit B, G, R, A.
constexpr uint32_t kColourFormat = 259;

} // namespace

IKVExternal* KVVSPR::CreateVSPR() { return new KVVSPR; }

KVVSPR::KVVSPR() : m_decoder(MediaService<IKVFile>(IID_IKVFile)) {}

KVVSPR::~KVVSPR() {
    if (m_unitNotify) m_unitNotify->Release();
}

int32_t KVVSPR::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitExternal) return AnswerInterface(static_cast<IKVUnitExternal*>(this), out);
    if (id == IID_IKVUnitSpriteExternal) return AnswerInterface(static_cast<IKVUnitSpriteExternal*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVVSPR::Attach(IKVUnit* host) {
    m_streamed = m_autoplay = m_loop = m_autoOffset = 1;
    m_file.clear();
    m_decoder.Close();
    m_host = host;
    m_sprite = QueryInterfaceOf<IKVUnitSprite>(host, IID_IKVUnitSprite);
    IKVUnitFactory* factory = MediaService<IKVUnitFactory>(IID_IKVUnitFactory);
    if (factory && host && !m_unitNotify) m_unitNotify = factory->MakeUnitRef(host->GetIndex(), &kUnitNotifyId);
    Rewind();
    return KV_OK;
}

int32_t KVVSPR::Detach() {
    m_decoder.Close();
    m_frame = 0;
    if (m_unitNotify) m_unitNotify->Release();
    m_unitNotify = nullptr;
    m_host = nullptr;
    m_sprite = nullptr;
    return KV_OK;
}

void KVVSPR::Rewind() {
    m_state = KVVSPR_STOPPED;
    m_elapsed = 0.0f;
    m_frame = 0;
}

void KVVSPR::SetState(uint32_t state) {
    if (state == m_state) return;
    const bool stops = state == KVVSPR_STOPPED || state == KVVSPR_ENDED;
    const bool wasStopped = m_state == KVVSPR_STOPPED || m_state == KVVSPR_ENDED;
    const char* event = nullptr;
    if (state == KVVSPR_PLAYING && wasStopped) event = "OnVideoSpriteStart";
    if (m_state == KVVSPR_PLAYING && stops) event = "OnVideoSpriteEnd";
    if (event) RaiseNotifyEvent(m_host, m_unitNotify, event);
    m_state = state;
}

void KVVSPR::ScriptStop() {
    SetState(KVVSPR_STOPPED);
    m_elapsed = 0.0f;
    if (m_decoder.IsStreaming()) ShowFrame(0);
}

void KVVSPR::OpenFile() {
    m_decoder.Close();
    m_elapsed = 0.0f;
    m_frame = 0;
    if (!m_host || !m_host->IsEnabled() || m_file.size() <= 2) return;

    std::string resolved = m_file;
    if (IKVSerialize* serialize = MediaService<IKVSerialize>(IID_IKVSerialize))
        serialize->MakeAbsolutePath(m_file, &resolved);
    resolved = LowerResourcePath(resolved);
    if (m_decoder.Open(resolved) == KV_OK) {
        const KVVsprHeader& header = m_decoder.Header();
        const KVDeviceSize size = {int32_t(header.width), int32_t(header.height)};
        if (!m_sprite || m_sprite->CreateOwnTexture(&size, true, kColourFormat) != KV_OK) {
            m_decoder.Close();
        } else {
            if (m_autoOffset) m_sprite->SetPosition(float(header.offsetX), float(header.offsetY));
            if (!m_streamed) m_decoder.LoadIntoMemory();
            if (m_decoder.HasSource()) ShowFrame(0);
        }
    }
    if (!m_decoder.HasSource() && m_host) m_host->RaiseError(0);
}

void KVVSPR::FrameChanged() {
    if (!m_decoder.IsStreaming()) return;
    const uint32_t count = m_decoder.Header().frameCount;
    if (count == 0) return;
    if (m_frame >= count) m_frame = count - 1;
    ShowFrame(m_frame);
}

void KVVSPR::ShowFrame(uint32_t n) {
    const int32_t held = m_decoder.HeldFrame();
    // The frames since the key frame are brought along without being shown.
    if (m_decoder.DecodeFrame(n) != KV_OK) return;
    if (held != int32_t(n) && m_sprite) {
        void* pixels = nullptr;
        int32_t pitch = 0;
        if (m_sprite->Lock(0, &pixels, &pitch) == KV_OK) {
            if (pixels) m_decoder.WritePixels(static_cast<uint8_t*>(pixels), pitch);
            m_sprite->Unlock();
        }
    }
    m_frame = n;
}

int32_t KVVSPR::Update(float dt) {
    if (!m_decoder.HasSource()) return KV_OK;
    if (m_state == KVVSPR_STOPPED) {
        if (!m_autoplay) return KV_OK;
        SetState(KVVSPR_PLAYING);
    }
    if (m_state != KVVSPR_PLAYING) return KV_OK;
    const KVVsprStep step = m_decoder.Advance(&m_elapsed, dt, m_loop != 0);
    if (step.ended) {
        SetState(KVVSPR_ENDED);
        m_elapsed = 0.0f;
        return KV_OK;
    }
    ShowFrame(step.frame);
    return KV_OK;
}

uint32_t KVVSPR::GetPixelColor(int32_t x, int32_t y) {
    if (x < 0 || y < 0) return 0;
    return m_decoder.GetPixelColor(uint32_t(x), uint32_t(y));
}

} // namespace kvl
