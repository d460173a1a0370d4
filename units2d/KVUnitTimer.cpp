#include "KVUnitTimer.h"

#include "../KVLua/KVLua.h"
#include "../units/IKVUnitRef.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

namespace {

int ScriptStart(IKVUnit* unit) {
    if (auto* timer = unit ? dynamic_cast<KVUnitTimer*>(unit->GetUnit()) : nullptr) timer->Start();
    return 0;
}

} // namespace

KVUnitTimer::~KVUnitTimer() {
    // A unit deleted without closing still lets go of its reference.
    ReleaseNotify();
}

void KVUnitTimer::ReleaseNotify() {
    if (m_unitNotify) m_unitNotify->Release();
    m_unitNotify = nullptr;
}

void KVUnitTimer::Init() {
    KVUnit::Init();
    m_elapsed = 0.0f;
    m_time = 1.0f;
    m_loop = false;
    m_autoplay = true;
    m_autodisable = true;
    m_running = false;
    // Updated every frame while "Update" is set, whatever the script holds.
    SetNativeUpdate(true);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && !m_unitNotify) m_unitNotify = factory->MakeUnitRef(GetIndex(), &kUnitNotifyId);
}

void KVUnitTimer::Close() {
    ReleaseNotify();
    KVUnit::Close();
}

void KVUnitTimer::ResetState() {
    KVUnit::ResetState();
    m_running = false;
    m_elapsed = 0.0f;
}

void KVUnitTimer::Refresh() {
    if (IsEnabled()) m_elapsed = 0.0f;
}

float KVUnitTimer::Period() const {
    // Not above 0 counts as 0; a NaN stays, and nothing is ever as large.
    return m_time <= 0.0f ? 0.0f : m_time;
}

void KVUnitTimer::NotifyTimeOut() {
    const int32_t index = m_unitNotify ? m_unitNotify->GetIndex() : -1;
    if (index == -1) {
        CallScriptFunction("OnTimeOut", 0, 0, nullptr, nullptr);
        return;
    }
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* target = factory ? factory->GetUnit(index) : nullptr;
    if (target && target->IsEnabled()) target->CallScriptFunction("OnTimeOut", 0, 0, nullptr, nullptr);
}

bool KVUnitTimer::IsGone(const KVUnitWatch& watch) {
    if (!watch.Alive() || IsClosing()) return true;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory && factory->IsClosing(GetIndex());
}

void KVUnitTimer::Update(float dt) {
    KVUnitWatch watch(this);
    KVUnit::Update(dt);
    if (IsGone(watch)) return;
    if (!m_running) {
        if (!m_autoplay || m_elapsed != 0.0f) return;
        m_running = true;
    }
    m_elapsed += dt;
    while (m_elapsed >= Period()) {
        const float before = m_elapsed;
        if (m_loop) {
            m_elapsed -= Period();
        } else {
            m_running = false;
            m_elapsed = 0.0f;
        }
        NotifyTimeOut();
        // The event may have closed the timer, or a script may have asked
        // for it to close: it fires no more.
        if (IsGone(watch)) return;
        if (!m_running && !m_loop && m_autodisable) {
            SetEnabled(false);
            break;
        }
        // A period of 0, or one too small to take anything off the elapsed
        // time, fires once.
        if (Period() == 0.0f || (m_loop && m_elapsed == before)) break;
    }
}

int32_t KVUnitTimer::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Timer", &KVUnitTimer::Create, "Unit", kClassId, "Timer class");
    if (classIndex < 0) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitTimer probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Time", KVATTR_F32, &probe.m_time, 1, kTimeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Loop", KVATTR_BOOLEAN, &probe.m_loop, 1, kLoopId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"UnitNotify", KVATTR_UNIT, &probe.m_unitNotify, 1, kUnitNotifyId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        {"Autoplay", KVATTR_BOOLEAN, &probe.m_autoplay, 1, kAutoplayId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Autodisable", KVATTR_BOOLEAN, &probe.m_autodisable, 1, kAutodisableId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);

    if (KVLua* lua = KVLua::Instance()) lua->RegisterClassFunction(classIndex, "Start", &ScriptStart);
    return classIndex;
}

int32_t RegisterTimerClass() { return KVUnitTimer::RegisterClass(); }

} // namespace kvl
