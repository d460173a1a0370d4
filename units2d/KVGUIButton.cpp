#include "KVGUIButton.h"

#include <vector>

#include "../kernel/IKVInput.h"
#include "../kernel/KVCore.h"
#include "../units/IKVSceneManager.h"
#include "../units/IKVUnitRef.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "../units/KVUnitRefArray.h"

namespace kvl {

namespace {

constexpr uint32_t kNoFrame = 0xFFFFFFFFu;

void FrozenChanged(void* unit) {
    if (KVGUIButton* button = KVGUIButton::FromUnit(static_cast<KVUnit*>(unit))) button->OnFrozenChanged();
}

void StateMaskChanged(void* unit) {
    if (KVGUIButton* button = KVGUIButton::FromUnit(static_cast<KVUnit*>(unit))) button->OnStateMaskChanged();
}

// Writes go through SetState, which keeps the old state for its events;
// values above 2 change nothing.
int32_t SetStateFrom(KVUnit* unit, void* holder, int32_t) {
    KVGUIButton* button = KVGUIButton::FromUnit(unit);
    if (button && holder) button->SetState(*static_cast<const uint32_t*>(holder));
    return KV_OK;
}

} // namespace

KVGUIButton* KVGUIButton::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVGUIButton*>(unit->GetUnit()) : nullptr;
}

void KVGUIButton::Init() {
    KVUnitSprite::Init();
    m_frozen = false;
    m_pushed = false;
    m_state = kNormal;
    m_type = kPush;
    for (bool& on : m_stateMask) on = true;
    if (IKVInput* input = QueryCoreInterface<IKVInput>(IID_IKVInput))
        m_listening = input->AddListener(kListenMask, this) == KV_OK;
    SetState(kNormal);
}

void KVGUIButton::Close() {
    if (m_listening) {
        if (IKVInput* input = QueryCoreInterface<IKVInput>(IID_IKVInput)) input->RemoveListener(this);
        m_listening = false;
    }
    KVUnitSprite::Close();
}

void KVGUIButton::Refresh() {
    KVUnitSprite::Refresh();
    // Back to Normal without telling the script. The Normal frame goes with
    // it: a button disabled while pushed would otherwise come back showing
    // the pushed picture in the Normal state.
    m_state = kNormal;
    m_pushed = false;
    SetFrame(FrameOf(kNormal));
}

uint32_t KVGUIButton::FrameOf(uint32_t state) const {
    if (state != kNormal && state <= kHighlight && m_stateMask[state]) {
        uint32_t frame = state;
        for (uint32_t before = 0; before < state; ++before)
            if (!m_stateMask[before]) --frame;
        return frame;
    }
    return m_stateMask[kNormal] ? 0u : kNoFrame;
}

void KVGUIButton::SetState(uint32_t state) {
    if (state > kHighlight) return;
    // The script may close the button from any of its events.
    Retain();
    ChangeState(state);
    Release();
}

bool KVGUIButton::Raise(const char* name) {
    CallScriptFunction(name, 0, 0, nullptr, nullptr);
    return !IsClosing();
}

bool KVGUIButton::ChangeState(uint32_t state) {
    const uint32_t oldState = m_state;
    const bool oldPushed = m_pushed;
    m_state = state;
    if (state == kNormal) m_pushed = false;
    if (state == kPushed) m_pushed = true;
    SetFrame(FrameOf(state));

    if (state != oldState && IsEnabled()) {
        const char* event = nullptr;
        if (state == kNormal && oldPushed) event = "OnButtonUp";
        if (state == kPushed && !oldPushed) event = "OnButtonDown";
        if (state == kHighlight) event = "OnButtonHighlight";
        if (event && !Raise(event)) return false;
    }
    // Read again: the event may have changed it.
    if (m_state == kPushed && m_type == kRadio) ReleaseRadioSiblings();
    return !IsClosing();
}

void KVGUIButton::ReleaseRadioSiblings() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t parentIndex = GetParentIndex();
    IKVUnit* parent = factory && parentIndex >= 0 ? factory->GetUnit(parentIndex) : nullptr;
    if (!parent) return;
    // The siblings' events may close units or change the children: the
    // walk goes over the buttons as they stood, each held.
    std::vector<KVGUIButton*> siblings;
    const KVUnitRefArray* children = parent->GetChildren();
    for (size_t i = 0; children && i < children->Size(); ++i) {
        IKVUnitRef* ref = children->At(i);
        const int32_t index = ref ? ref->GetIndex() : -1;
        KVGUIButton* sibling = index >= 0 ? FromUnit(factory->GetUnit(index)) : nullptr;
        // Only the buttons it is the parent of are siblings.
        if (!sibling || sibling == this || !sibling->m_pushed || sibling->GetParentIndex() != parentIndex) continue;
        sibling->Retain();
        siblings.push_back(sibling);
    }
    for (KVGUIButton* sibling : siblings) {
        if (sibling->m_pushed && !sibling->IsClosing()) sibling->ChangeState(kNormal);
        sibling->Release();
    }
}

int32_t KVGUIButton::OnInput(uint32_t* mask, int32_t x, int32_t y) {
    if (!mask || !(*mask & kPointerKinds) || m_frozen) return KV_OK;
    auto* scene = QueryCoreInterface<IKVSceneManager>(IID_IKVSceneManager);
    const bool hit = scene && scene->IsPointInside(this, KVScreenPoint{x, y}, false, nullptr, nullptr);
    Retain();
    if (m_type == kRadio)
        OnRadioInput(mask, hit);
    else
        OnPushInput(mask, hit);
    Release();
    return KV_OK;
}

void KVGUIButton::OnPushInput(uint32_t* mask, bool hit) {
    if (!hit) {
        // A pushed button that loses the pointer is released.
        ChangeState(kNormal);
        return;
    }
    if ((*mask & kLeftDown) && !m_pushed) {
        *mask &= ~kLeftDown;
        if (!ChangeState(kPushed) || !Raise("OnMouseLDown")) return;
    }
    if (*mask & kLeftUp) {
        if (!m_pushed) {
            ChangeState(kHighlight);
            return;
        }
        *mask &= ~kLeftUp;
        if (!ChangeState(kNormal) || !Raise("OnMouseLUp")) return;
    }
    if (!m_pushed) ChangeState(kHighlight);
}

void KVGUIButton::OnRadioInput(uint32_t* mask, bool hit) {
    // A radio button is released only by its group or by script.
    if (!hit || !(*mask & kLeftDown) || m_pushed) return;
    *mask &= ~kLeftDown;
    if (ChangeState(kPushed)) Raise("OnMouseLDown");
}

int32_t KVGUIButton::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "GUIButton", &KVGUIButton::Create, "Sprite", kClassId, "");
    if (classIndex < 0) return -1;
    KVGUIButton probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Frozen", KVATTR_BOOLEAN, &probe.m_frozen, 1, kFrozenId, kStored, 0, nullptr, FrozenChanged, nullptr, "", 0},
        {"Pushed", KVATTR_BOOLEAN, &probe.m_pushed, 1, kPushedId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"StateMask~Normal~Pushed~Highlight", KVATTR_BOOLEAN, &probe.m_stateMask, 3, kStateMaskId, kStored, 0,
         nullptr, StateMaskChanged, nullptr, "", 0},
        {"Type~Push~Radio", KVATTR_ENUM, &probe.m_type, 1, kTypeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"State~Normal~Pushed~Highlight", KVATTR_ENUM, &probe.m_state, 1, kStateId, kStored, 0, SetStateFrom,
         nullptr, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterButtonClass() { return KVGUIButton::RegisterClass(); }

} // namespace kvl
