#pragma once
// Class "GUIButton": a sprite that listens to the pointer and shows one
// image frame per state (Normal, Pushed, Highlight; StateMask says which
// states have a frame). A push button, or one of a radio group made of the
// "GUIButton" children of one parent. State changes reach its script as
// "OnButtonUp", "OnButtonDown" and "OnButtonHighlight"; presses and
// releases it handles as "OnMouseLDown" and "OnMouseLUp".
#include <cstdint>

#include "../kernel/IKVInputListener.h"
#include "KVUnitSprite.h"

namespace kvl {

class IKVSceneManager;

class KVGUIButton : public KVUnitSprite, public IKVInputListener {
public:
    static constexpr uint64_t kClassId = 0x0001D4BF0C206EE0ull;
    static constexpr uint64_t kFrozenId = 0x0013C73565C9E2AAull;
    static constexpr uint64_t kPushedId = 0x00672ECC39C868ACull;
    static constexpr uint64_t kStateMaskId = 0x001613C19B1A410Bull;
    static constexpr uint64_t kTypeId = 0x00452E729AFFDA58ull;
    static constexpr uint64_t kStateId = 0x004F4732A2C73BD0ull;

    enum State : uint32_t { kNormal = 0, kPushed = 1, kHighlight = 2 };
    enum Type : uint32_t { kPush = 0, kRadio = 1 };

    // The input kinds the button listens to: left press, left release and
    // pointer motion.
    static constexpr uint32_t kLeftDown = 0x1;
    static constexpr uint32_t kLeftUp = 0x8;
    static constexpr uint32_t kMove = 0x200;
    static constexpr uint32_t kListenMask = kLeftDown | kLeftUp | kMove;
    // Pointer kinds; other input passes the button by.
    static constexpr uint32_t kPointerKinds = 0x7FF;

    static KVUnit* Create() { return new KVGUIButton; }
    // Registers class "GUIButton"; the class index, or -1.
    static int32_t RegisterClass();
    // The button object of a unit, or null when it is no button.
    static KVGUIButton* FromUnit(IKVUnit* unit);

    // KVUnit
    void Init() override;
    void Close() override;
    void Refresh() override;

    // Shows the state's frame and tells the script; pushing a radio button
    // releases its pushed siblings. States above 2 are ignored.
    void SetState(uint32_t state);
    // The frame a state shows under the current StateMask; 0xFFFFFFFF for
    // none.
    uint32_t FrameOf(uint32_t state) const;

    // IKVInputListener
    int32_t GetUnitIndex() override { return GetIndex(); }
    int32_t WantsHiddenInput() override { return 0; }
    int32_t OnInput(uint32_t* mask, int32_t x, int32_t y) override;

    uint32_t GetState() const { return m_state; }
    bool IsPushed() const { return m_pushed; }
    bool IsFrozen() const { return m_frozen; }
    uint32_t GetType() const { return m_type; }

    // Attribute hooks.
    void OnFrozenChanged() { SetState(kNormal); }
    void OnStateMaskChanged() { SetState(m_state); }

protected:
    ~KVGUIButton() override = default;

private:
    // Raises an event; false when the script closed the button meanwhile.
    bool Raise(const char* name);
    // SetState's steps once the reference is held; false when the button
    // was closed by its script.
    bool ChangeState(uint32_t state);
    void ReleaseRadioSiblings();
    void OnPushInput(uint32_t* mask, bool hit);
    void OnRadioInput(uint32_t* mask, bool hit);

    bool m_frozen = false;
    bool m_pushed = false;
    bool m_stateMask[3] = {true, true, true};
    uint32_t m_type = kPush;
    uint32_t m_state = kNormal;
    bool m_listening = false;
};

} // namespace kvl
