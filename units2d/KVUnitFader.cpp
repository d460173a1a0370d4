#include "KVUnitFader.h"

#include <cmath>

#include "../graphics/IKVGraphic.h"
#include "../units/IKVUnitRef.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

namespace {

// One colour byte of the blend, as a byte whatever the weights were.
uint32_t BlendByte(float value) {
    if (!(value > 0.0f)) return 0;
    return value >= 255.0f ? 255u : uint32_t(value);
}

} // namespace

KVUnitFader::~KVUnitFader() {
    // A unit deleted without closing still lets go of its reference.
    if (m_unitNotify) m_unitNotify->Release();
}

KVUnitFader* KVUnitFader::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVUnitFader*>(unit->GetUnit()) : nullptr;
}

int32_t KVUnitFader::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitFader) return AnswerInterface(static_cast<IKVUnitFader*>(this), out);
    return KVUnitShape::QueryInterface(id, out);
}

void KVUnitFader::Init() {
    KVUnitShape::Init();
    m_position = {0.0f, 0.0f};
    if (IKVGraphic* graphic = GetGraphicModule()) {
        const int32_t* area = graphic->GetGameArea();
        SetDimension(area[0], area[1]);
    }
    m_color = 0xFF000000u;
    m_period = 0.5f;
    m_fadeOut = false;
    m_fadeOutSeen = false;
    m_faderColorEnd = 0;
    SetWantedEnabled(false);
    m_autoplay = false;
    m_elapsed = 0.0f;
    m_state = KVFADER_WAIT;
    m_onlyEditor = false;
    SetNativeUpdate(true);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && !m_unitNotify) m_unitNotify = factory->MakeUnitRef(GetIndex(), &kUnitNotifyId);
}

void KVUnitFader::Close() {
    if (m_unitNotify) m_unitNotify->Release();
    m_unitNotify = nullptr;
    KVUnitShape::Close();
}

void KVUnitFader::ResetState() {
    KVUnitShape::ResetState();
    m_state = KVFADER_WAIT;
    m_elapsed = 0.0f;
    m_drawColor = m_fadeOut ? m_faderColorEnd : m_color;
}

void KVUnitFader::Refresh() {
    Retain();
    KVUnitWatch watch(this);
    KVUnitShape::Refresh();
    if (watch.Alive() && IsEnabled()) ResetState();
    Release();
}

void KVUnitFader::OnFadeOutChanged() {
    if (m_fadeOut == m_fadeOutSeen) return;
    m_fadeOutSeen = m_fadeOut;
    ResetState();
}

void KVUnitFader::ApplyStateColor() {
    if (m_state == KVFADER_WAIT)
        m_drawColor = m_color;
    else if (m_state == KVFADER_END_PENDING || m_state == KVFADER_ENDED)
        m_drawColor = m_faderColorEnd;
}

int32_t KVUnitFader::SetState(uint32_t state) {
    m_state = state;
    ApplyStateColor();
    return KV_OK;
}

void KVUnitFader::RaiseEnd() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t target = m_unitNotify ? m_unitNotify->GetIndex() : -1;
    IKVUnit* unit = target != -1 && factory ? factory->GetUnit(target) : nullptr;
    if (!unit) unit = this;
    unit->CallScriptFunction("OnFaderEnd", 1, 0, nullptr, nullptr);
}

void KVUnitFader::Update(float dt) {
    KVUnitWatch watch(this);
    KVUnitShape::Update(dt);
    if (!watch.Alive() || !IsVisible()) return;
    if (m_state == KVFADER_END_PENDING) {
        m_state = KVFADER_ENDED;
        RaiseEnd();
        return;
    }
    if (m_state == KVFADER_ENDED) return;
    if (m_autoplay && m_state == KVFADER_WAIT) {
        m_state = KVFADER_RUNNING;
        CallScriptFunction("OnFaderStart", 0, 0, nullptr, nullptr);
        if (!watch.Alive()) return;
    }
    if (m_state != KVFADER_RUNNING) return;
    if (m_period == 0.0f) m_period = kShortestPeriod;
    const float period = m_period;
    bool ended = false;
    m_elapsed += dt;
    if (m_elapsed >= period) {
        m_elapsed = period;
        ended = true;
    }
    float towardColor = period - m_elapsed, towardEnd = m_elapsed;
    if (m_fadeOut) std::swap(towardColor, towardEnd);
    uint32_t color = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const float from = float((m_color >> shift) & 0xFFu), to = float((m_faderColorEnd >> shift) & 0xFFu);
        color |= BlendByte((from * towardColor + to * towardEnd) / period) << shift;
    }
    m_drawColor = color;
    if (ended) m_state = KVFADER_END_PENDING;
}

void KVUnitFader::Start(bool withNotify, int32_t notifyUnit) {
    KVUnitWatch watch(this);
    if (m_state != KVFADER_RUNNING) {
        if (m_state == KVFADER_ENDED) ResetState();
        m_state = KVFADER_RUNNING;
        CallScriptFunction("OnFaderStart", 0, 0, nullptr, nullptr);
        if (!watch.Alive()) return;
    }
    if (withNotify && m_unitNotify) m_unitNotify->SetIndex(notifyUnit);
}

void KVUnitFader::PauseFade(bool pause) {
    if (pause && m_state == KVFADER_RUNNING)
        m_state = KVFADER_PAUSED;
    else if (!pause && m_state == KVFADER_PAUSED)
        m_state = KVFADER_RUNNING;
}

} // namespace kvl
