#pragma once
// Mouse-hover events: an extension module that keeps the last pointer
// position from the input module's pointer movements and, every tenth of a
// second, hit-tests it against every enabled unit through the scene
// manager. Units the pointer left get "OnMouseOff" at once; units it came
// over get "OnMouseOn" after the walk, so a pass raises every Off before
// every On. A unit that goes away while hovered gets "OnMouseOff"; one that
// is disabled while hovered loses its mark silently.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../kernel/IKVInputListener.h"
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
#include "../units/IKVLinker.h"
#include "../units/KV2DTempl.h"

namespace kvl {

class IKVInput;
class IKVSceneManager;
class IKVUnitFactory;

class KVUnitMouseEventInterface : public Singleton<KVUnitMouseEventInterface>,
                                  public IKVModuleExt,
                                  public IKVInputListener,
                                  public IKVLinker {
public:
    static constexpr uint64_t kModuleId = 0x0052A0CB91C9EE28ull;
    // Seconds between two passes.
    static constexpr float kPassInterval = 0.1f;
    // The pointer before the first movement: far from any screen.
    static constexpr int32_t kNoPointer = -1000000;

    // The creator that start-up registers: makes the module on the first
    // call, keeps the host of every call.
    static IKVModuleExt* Create(const KVModuleCreateInfo* info);

    KVUnitMouseEventInterface() = default;
    ~KVUnitMouseEventInterface() override = default;

    // Answers no interface.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // Phase 1: the unit factory and the scene manager, and the module joins
    // the factory's linkers. Phase 3: the pointer listener; the pass timer
    // starts from 0.
    int32_t Init(int32_t phase) override;
    // Phase 4: leaves the factory's linkers and the input module's
    // listeners.
    int32_t Release(int32_t phase) override;
    // A pass once at least a tenth of a second added up; what is left over
    // is dropped.
    int32_t Update(float dt) override;
    uint64_t GetId() override { return kModuleId; }
    int32_t GetPriority() override { return 0; }

    // IKVInputListener: belongs to no unit; keeps the position of every
    // event it gets and consumes nothing.
    int32_t GetUnitIndex() override { return -1; }
    int32_t WantsHiddenInput() override { return 0; }
    int32_t OnInput(uint32_t* mask, int32_t x, int32_t y) override;

    // IKVLinker: a hovered unit going away gets "OnMouseOff".
    int32_t UnlinkUnit(IKVUnit* unit, int32_t code) override;
    int32_t OnUnitChanged(IKVUnit* unit, int32_t code) override;

    // One pass over every unit, whatever the timer.
    void Pass();

    const KV2DTempl<int32_t>& GetPointer() const { return m_pointer; }
    float GetTimer() const { return m_timer; }
    // Whether the unit index has its hover mark.
    bool IsHovered(int32_t unitIndex) const;
    // Unit indices the mark set holds room for.
    size_t GetCapacity() const { return m_hovered.size() * 64; }

private:
    // Grows the set to hold the index (new marks clear).
    void Reserve(int32_t unitIndex);
    void SetMark(int32_t unitIndex, bool on);
    void* Ask(const KVInterfaceId& id) const;

    IKVUnknown* m_host = nullptr;
    IKVUnitFactory* m_factory = nullptr;
    IKVSceneManager* m_scene = nullptr;
    IKVInput* m_input = nullptr;
    bool m_linked = false;
    KV2DTempl<int32_t> m_pointer{kNoPointer, kNoPointer};
    float m_timer = 0.0f;
    std::vector<uint64_t> m_hovered;
};

// Start-up's creator of the mouse-hover module (the fourth).
IKVModuleExt* CreateMouseEventInterface(const KVModuleCreateInfo* info);

} // namespace kvl
