#pragma once
// Input module: once per frame reads the input device and turns what it
// reports into named input events (pointer, keys, gamepads, touches) for the
// parties registered in three priority lists. Native parties register
// through IKVInput, units from scripts through the "KVInput" library. A party
// consumes an event by clearing its bit, which withholds it from every party
// after it in that frame.
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "../units/IKVLinker.h"
#include "IKVInput.h"
#include "IKVInputDevice.h"
#include "IKVInputListener.h"
#include "IKVInputScene.h"
#include "IKVModule.h"
#include "KVInputSceneStandIn.h"
#include "KVLuaLibrary.h"
#include "Singleton.h"

namespace kvl {

class IKVGraphicDevice;
class IKVProperties;
class IKVUnit;
class IKVUnitFactory;

class KVInput : public Singleton<KVInput>, public IKVInput, public KVLuaLibrary, public IKVLinker, public IKVModule {
public:
    static constexpr uint64_t kCommandsId = 0x0019977187D90B77ull;
    static constexpr uint64_t kLogLeftClicksId = 0x003453B63F7331F2ull;

    enum Priority : int32_t { PRIORITY_HIGH = 0, PRIORITY_NORMAL = 1, PRIORITY_LOW = 2 };
    enum EntryKind : int32_t { ENTRY_NATIVE = 0, ENTRY_SCRIPT = 1 };

    // One registration in a priority list.
    struct ListenerEntry {
        uint32_t mask = 0;
        IKVInputListener* listener = nullptr;
        IKVUnit* unit = nullptr;
        IKVUnit* target = nullptr;  // receives the script calls
        int32_t targetIndex = -1;
        int32_t kind = ENTRY_NATIVE;
        bool removed = false;  // taken off its list during a delivery
    };

    // A value handed to handlers: kind 0 integer, 1 index (scripts see it
    // plus one), 2 text.
    struct EventArgument {
        int32_t kind = 0;
        int32_t value = 0;
        std::string text;
    };

    struct HandlerRow {
        uint32_t bit;
        const char* name;
    };

    KVInput();
    ~KVInput() override;

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // IKVInput
    int32_t AddListener(uint32_t mask, IKVInputListener* listener) override;
    int32_t RemoveListener(IKVInputListener* listener) override;
    InputState* GetInputState() override { return &m_state; }

    // IKVModule
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float dt) override;

    // KVLuaLibrary: "KVInput"
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // IKVLinker: a unit that goes away takes its first entry with it.
    int32_t UnlinkUnit(IKVUnit* unit, int32_t code) override;
    int32_t OnUnitChanged(IKVUnit* unit, int32_t code) override;

    // What phase 1 keeps when the core does not answer for it.
    void SetDevice(IKVInputDevice* device) { m_device = device; }
    void SetUnitFactory(IKVUnitFactory* units) { m_units = units; }
    void SetGraphicDevice(IKVGraphicDevice* graphic) { m_graphic = graphic; }
    void SetScene(IKVInputScene* scene) { m_scene = scene; }
    void SetPropertiesInterface(IKVProperties* properties) { m_properties = properties; }

    // Script registrations and the list operations of the library.
    int32_t RegisterScriptListener(IKVUnit* unit, uint32_t mask, IKVUnit* target);
    // Removes the first entry whose unit has that index; 4 when none.
    int32_t UnregisterUnit(int32_t unitIndex);
    // Moves the unit's first entry to a list; 4 when the unit has none.
    int32_t SetPriority(IKVUnit* unit, int32_t priority);
    // Hands a position in game coordinates to the device.
    int32_t SetMousePosition(double x, double y);
    uint32_t KeyCodeToChar(int32_t code);
    bool IsMouseOutsideScreen() const { return m_pointerOutside != 0; }
    bool GetMouseButtonState(int32_t number) const;
    IKVUnitFactory* GetUnitFactory() const { return m_units; }

    // Gamepads (the pad functions of the library).
    size_t GetPadCount() const { return m_pads.size(); }
    const KVPadState* GetPad(int32_t pad) const;
    KVPadInfo GetPadInfo(int32_t pad);
    // 0, 1 for an invalid pad index, 2 for a pad without rumble.
    int32_t RunPadRumble(int32_t pad, float duration, bool hasIntensity, float intensity);
    int32_t DisconnectGamepad(int32_t pad);
    int32_t SetMaxNumberOfGamepad(int32_t count);
    int32_t GetMaxPadIndex() const { return m_maxPadIndex; }
    // Position of a button, stick or accelerometer named by the script value
    // at that stack position (a 1-based number or a device name), or -1.
    int32_t FindPadButton(int32_t pad, int32_t position);
    int32_t FindPadStick(int32_t pad, int32_t position);
    int32_t FindPadAccelerometer(int32_t pad, int32_t position);

    // For the walk through units: one handler call on a unit with integer
    // arguments; true when the handler consumed the event.
    bool CallUnitHandler(IKVUnit* unit, const char* handler, const int32_t* values, int32_t count,
                         uint8_t* stillEnabled);
    // The click log line, written when "LogLeftClicks" is on.
    void LogLeftClick(const std::string& unitName, int32_t x, int32_t y, bool processed);

    bool GetCommands() const { return m_commands; }
    bool GetLogLeftClicks() const { return m_logLeftClicks; }
    bool IsCommandMode() const { return m_commandMode; }
    bool IsKeyDown(uint8_t code) const { return (m_keyState[code >> 5] >> (code & 31)) & 1u; }
    int32_t GetFlushCountdown() const { return m_flushCountdown; }
    uint32_t GetCaps() const { return m_caps; }
    // Number of entries in a priority list.
    size_t CountEntries(int32_t priority) const;

private:
    using EntryPtr = std::shared_ptr<ListenerEntry>;
    using EntryList = std::vector<EntryPtr>;

    // A party collected for a pointer or touch event, references held.
    struct Target {
        IKVInputListener* listener = nullptr;
        IKVUnit* unit = nullptr;
        IKVUnit* target = nullptr;
        uint32_t entryMask = 0;
    };

    void DeclareProperties();
    // The entries of the three lists, high first, as they stand now.
    std::vector<EntryPtr> Snapshot() const;
    // Where an entry stands: list and position, or false.
    bool Locate(const ListenerEntry* entry, int32_t* list, size_t* position) const;
    // Takes an entry off its list; the unit's link is given back unless the
    // unit is going away.
    void EraseEntry(int32_t list, size_t position, bool unitGoing);
    void ClearLists();
    bool EntryAccepts(const ListenerEntry& entry);
    // The script target, or null when it left the unit table.
    IKVUnit* LiveTarget(const ListenerEntry& entry);

    void Deliver(uint32_t mask, const std::vector<EventArgument>& arguments, const HandlerRow* rows,
                 size_t rowCount);
    bool CallScriptHandler(IKVUnit* unit, const char* handler, const std::vector<EventArgument>& arguments);
    void UpdateKeys();
    void CommandHook(const KVKeyEvent& event);

    void UpdatePointer();
    void UpdateTouches();
    std::vector<Target> CollectTargets(uint32_t mask, int32_t x, int32_t y);
    // Collects the parties for the bits, gives native listeners their word
    // and each unit to the walk (with the shared mask), then lets them go.
    void ServeTargets(uint32_t mask, int32_t x, int32_t y,
                      const std::function<void(const Target&, uint32_t*)>& walk);
    static void ReleaseTargets(std::vector<Target>* targets);

    void UpdatePads(float dt);
    void UpdatePadButtons(int32_t pad, const KVPadInfo& info);
    void UpdateRumble(int32_t pad, float dt);
    void SetRumble(int32_t pad, bool on);

    EntryList m_lists[3];
    InputState m_state;
    IKVInputDevice* m_device = nullptr;
    IKVUnitFactory* m_units = nullptr;
    IKVGraphicDevice* m_graphic = nullptr;
    IKVInputScene* m_scene = nullptr;
    IKVProperties* m_properties = nullptr;
    KVInputSceneStandIn m_sceneStandIn;
    uint32_t m_caps = 0;
    uint32_t m_keyState[8] = {};
    uint32_t m_buttons = 0;
    uint8_t m_pointerOutside = 0;
    bool m_commandMode = false;
    int32_t m_flushCountdown = 0;
    bool m_commands = false;
    bool m_logLeftClicks = false;
    std::vector<KVPadState> m_pads;
    std::vector<uint8_t> m_padConnected;
    int32_t m_maxPadIndex = 4;
    struct TouchPoint {
        int32_t x = 0;
        int32_t y = 0;
    };
    std::vector<TouchPoint> m_previousTouches;
};

} // namespace kvl
