#include "KVInput.h"

#include "../KVLua/IKVLua.h"
#include "../graphics/IKVGraphicDevice.h"
#include "../units/IKVUnit.h"
#include "../units/IKVUnitFactory.h"
#include "IKVLog.h"
#include "IKVProperties.h"
#include "KVCore.h"
#include "KVFormat.h"
#include "KVInputEvents.h"

namespace kvl {
namespace {

constexpr uint8_t kCommandKey = 'z';
constexpr uint8_t kCommandModifier = 17;

const KVInput::HandlerRow kKeyHandlers[] = {{KVINPUT_KEY_DOWN, "OnKeyDown"}, {KVINPUT_KEY_UP, "OnKeyUp"}};
const KVInput::HandlerRow kCharHandlers[] = {{KVINPUT_KEY_CHAR, "OnKeyChar"}};

// The value a native listener gets for an argument: integers and indexes as
// they are, texts as 0.
int32_t NativeValue(const std::vector<KVInput::EventArgument>& arguments, size_t position) {
    if (position >= arguments.size() || arguments[position].kind == 2) return 0;
    return arguments[position].value;
}

} // namespace

KVInput::KVInput() { m_scene = &m_sceneStandIn; }

KVInput::~KVInput() { ClearLists(); }

int32_t KVInput::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVInput) return AnswerInterface(static_cast<IKVInput*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVInput::Init(int32_t phase) {
    if (phase == 1) {
        if (auto* units = QueryCoreInterface<IKVUnitFactory>(IID_IKVUnitFactory)) m_units = units;
        if (auto* device = QueryCoreInterface<IKVInputDevice>(IID_IKVInputDevice)) m_device = device;
        if (auto* graphic = QueryCoreInterface<IKVGraphicDevice>(IID_IKVGraphicDevice)) m_graphic = graphic;
        if (auto* scene = QueryCoreInterface<IKVInputScene>(IID_IKVInputScene)) m_scene = scene;
        m_sceneStandIn.SetGraphicDevice(m_graphic);
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVInput", this);
        for (uint32_t& word : m_keyState) word = 0;
        m_state = InputState{};
        m_maxPadIndex = 4;
        m_commands = false;
        m_logLeftClicks = false;
        m_commandMode = false;
    } else if (phase == 2) {
        DeclareProperties();
        m_pointerOutside = 0;
        m_buttons = 0;
        m_caps = m_device ? m_device->GetCaps() : 0;
        m_flushCountdown = 2;
    }
    return KV_OK;
}

void KVInput::DeclareProperties() {
    IKVProperties* properties = QueryCoreInterface<IKVProperties>(IID_IKVProperties);
    if (!properties) properties = m_properties;
    if (!properties) return;
    properties->DeclareProperty(
        DescribeProperty(&m_commands, PROPERTY_BOOLEAN, "Commands", "Commands", "Input", kCommandsId));
    properties->DeclareProperty(DescribeProperty(&m_logLeftClicks, PROPERTY_BOOLEAN, "Log left clicks",
                                                 "LogLeftClicks", "Input", kLogLeftClicksId));
}

int32_t KVInput::Release(int32_t phase) {
    if (phase == 2) ClearLists();
    return KV_OK;
}

int32_t KVInput::Update(float dt) {
    if (!m_device) return 1;
    if (m_flushCountdown > 0) {
        --m_flushCountdown;
        if (m_caps & KVINPUT_CAP_POINTER) {
            KVPointerState pointer;
            m_device->GetPointerState(&pointer);
        }
        if (m_caps & KVINPUT_CAP_KEYBOARD) {
            KVKeyEvents keys;
            m_device->GetKeyEvents(&keys);
        }
        if (m_caps & KVINPUT_CAP_TOUCHES) {
            std::vector<KVTouchRecord> touches;
            m_device->GetTouches(&touches);
        }
        return KV_OK;
    }
    if (m_caps & KVINPUT_CAP_GAMEPADS) UpdatePads(dt);
    if (m_caps & KVINPUT_CAP_POINTER) UpdatePointer();
    if (m_caps & KVINPUT_CAP_KEYBOARD) UpdateKeys();
    if (m_caps & KVINPUT_CAP_TOUCHES) UpdateTouches();
    return KV_OK;
}

// ---- Priority lists ----

std::vector<KVInput::EntryPtr> KVInput::Snapshot() const {
    std::vector<EntryPtr> entries;
    for (const EntryList& list : m_lists) entries.insert(entries.end(), list.begin(), list.end());
    return entries;
}

bool KVInput::Locate(const ListenerEntry* entry, int32_t* list, size_t* position) const {
    for (int32_t l = 0; l < 3; ++l) {
        for (size_t p = 0; p < m_lists[l].size(); ++p) {
            if (m_lists[l][p].get() != entry) continue;
            *list = l;
            *position = p;
            return true;
        }
    }
    return false;
}

size_t KVInput::CountEntries(int32_t priority) const {
    return priority >= 0 && priority < 3 ? m_lists[priority].size() : 0;
}

void KVInput::EraseEntry(int32_t list, size_t position, bool unitGoing) {
    EntryPtr entry = m_lists[list][position];
    m_lists[list].erase(m_lists[list].begin() + std::ptrdiff_t(position));
    entry->removed = true;
    // Each entry with a unit holds one place in the unit's listener list;
    // a unit that outlives its entry must not call back into this module.
    if (!unitGoing && entry->unit) entry->unit->RemoveListener(this);
}

void KVInput::ClearLists() {
    for (int32_t l = 0; l < 3; ++l) {
        while (!m_lists[l].empty()) EraseEntry(l, m_lists[l].size() - 1, false);
    }
}

int32_t KVInput::AddListener(uint32_t mask, IKVInputListener* listener) {
    void* answer = nullptr;
    IKVUnit* unit = nullptr;
    if (listener && listener->QueryInterface(IID_IKVUnit, &answer) == KV_OK) unit = static_cast<IKVUnit*>(answer);
    for (EntryList& list : m_lists) {
        for (EntryPtr& entry : list) {
            if (entry->listener == listener && entry->unit == unit) {
                entry->mask |= mask;
                return KV_OK;
            }
        }
    }
    auto entry = std::make_shared<ListenerEntry>();
    entry->mask = mask;
    entry->listener = listener;
    entry->unit = unit;
    entry->target = unit;
    entry->targetIndex = unit ? unit->GetIndex() : -1;
    entry->kind = ENTRY_NATIVE;
    m_lists[PRIORITY_NORMAL].push_back(entry);
    if (unit) unit->AddListener(this);
    return KV_OK;
}

int32_t KVInput::RemoveListener(IKVInputListener* listener) {
    for (int32_t l = 0; l < 3; ++l) {
        for (size_t p = 0; p < m_lists[l].size(); ++p) {
            if (m_lists[l][p]->listener != listener) continue;
            EraseEntry(l, p, false);
            return KV_OK;
        }
    }
    return KV_NOT_FOUND;
}

int32_t KVInput::UnlinkUnit(IKVUnit* unit, int32_t) {
    for (int32_t l = 0; l < 3; ++l) {
        for (size_t p = 0; p < m_lists[l].size(); ++p) {
            if (m_lists[l][p]->unit != unit) continue;
            EraseEntry(l, p, true);
            return KV_OK;
        }
    }
    return KV_OK;
}

int32_t KVInput::OnUnitChanged(IKVUnit*, int32_t) { return KV_OK; }

int32_t KVInput::RegisterScriptListener(IKVUnit* unit, uint32_t mask, IKVUnit* target) {
    if (!unit) return KV_INVALID;
    for (EntryList& list : m_lists) {
        for (EntryPtr& entry : list) {
            if (entry->kind == ENTRY_SCRIPT && entry->unit == unit) {
                entry->mask |= mask;
                return KV_OK;
            }
        }
    }
    auto entry = std::make_shared<ListenerEntry>();
    entry->mask = mask;
    entry->unit = unit;
    entry->target = target ? target : unit;
    entry->targetIndex = entry->target->GetIndex();
    entry->kind = ENTRY_SCRIPT;
    m_lists[PRIORITY_NORMAL].push_back(entry);
    unit->AddListener(this);
    return KV_OK;
}

int32_t KVInput::UnregisterUnit(int32_t unitIndex) {
    for (int32_t l = 0; l < 3; ++l) {
        for (size_t p = 0; p < m_lists[l].size(); ++p) {
            IKVUnit* unit = m_lists[l][p]->unit;
            if (!unit || unit->GetIndex() != unitIndex) continue;
            EraseEntry(l, p, false);
            return KV_OK;
        }
    }
    return KV_NOT_FOUND;
}

int32_t KVInput::SetPriority(IKVUnit* unit, int32_t priority) {
    if (priority < 0 || priority > 2) return KV_INVALID;
    for (int32_t l = 0; l < 3; ++l) {
        for (size_t p = 0; p < m_lists[l].size(); ++p) {
            if (m_lists[l][p]->unit != unit) continue;
            if (l == priority) return KV_OK;
            EntryPtr entry = m_lists[l][p];
            m_lists[l].erase(m_lists[l].begin() + std::ptrdiff_t(p));
            EntryList& to = m_lists[priority];
            if (priority == PRIORITY_HIGH)
                to.insert(to.begin(), entry);
            else
                to.push_back(entry);
            return KV_OK;
        }
    }
    return KV_NOT_FOUND;
}

// ---- Delivery of key and gamepad events ----

bool KVInput::EntryAccepts(const ListenerEntry& entry) {
    if (entry.listener) {
        int32_t index = entry.listener->GetUnitIndex();
        if (index != -1) {
            IKVUnit* unit = m_units ? m_units->GetUnit(index) : nullptr;
            if (!unit || !unit->IsEnabled()) return false;
            if (!m_scene->IsVisible(unit) && !entry.listener->WantsHiddenInput()) return false;
        }
    }
    return !entry.unit || entry.unit->IsEnabled();
}

IKVUnit* KVInput::LiveTarget(const ListenerEntry& entry) {
    if (!entry.target || entry.target == entry.unit) return entry.unit;
    // The target holds no link to this module: it is looked up again, so
    // that a target that went away is never called.
    if (!m_units || m_units->GetUnit(entry.targetIndex) != entry.target) return nullptr;
    return entry.target;
}

void KVInput::Deliver(uint32_t mask, const std::vector<EventArgument>& arguments, const HandlerRow* rows,
                      size_t rowCount) {
    // Handlers may register, unregister or close units: the walk goes over
    // the entries as they stood, skipping those taken off meanwhile.
    for (const EntryPtr& entry : Snapshot()) {
        if (!mask) return;
        if (entry->removed || !EntryAccepts(*entry)) continue;
        uint32_t e = entry->mask & mask;
        if (!e) continue;
        if (entry->listener) {
            entry->listener->OnInput(&e, NativeValue(arguments, 0),
                                     arguments.size() >= 2 ? NativeValue(arguments, 1) : 0);
            mask = e | (mask & ~entry->mask);
            continue;
        }
        for (size_t r = 0; r < rowCount; ++r) {
            if (!(e & rows[r].bit)) continue;
            if (entry->removed) break;
            IKVUnit* target = LiveTarget(*entry);
            if (!target) break;
            if (CallScriptHandler(target, rows[r].name, arguments)) mask &= ~rows[r].bit;
        }
    }
}

bool KVInput::CallScriptHandler(IKVUnit* unit, const char* handler, const std::vector<EventArgument>& arguments) {
    IKVLua* lua = GetLuaBinding();
    if (!lua || !unit) return false;
    for (const EventArgument& argument : arguments) {
        if (argument.kind == 2)
            lua->PushString(argument.text.c_str());
        else if (argument.kind == 1)
            lua->PushInteger(argument.value < INT32_MAX ? argument.value + 1 : argument.value);
        else
            lua->PushInteger(argument.value);
    }
    int32_t results = 0;
    EventCall call;
    call.unit = unit;
    call.functionName = handler;
    call.argumentCount = int32_t(arguments.size());
    call.resultCount = &results;
    lua->CallEvent(&call);
    if (results <= 0) return false;
    bool consumed = lua->ToBoolean(-results);
    lua->Pop(results);
    return consumed;
}

bool KVInput::CallUnitHandler(IKVUnit* unit, const char* handler, const int32_t* values, int32_t count,
                              uint8_t* stillEnabled) {
    if (stillEnabled) *stillEnabled = 1;
    IKVLua* lua = GetLuaBinding();
    if (!lua || !unit) return false;
    for (int32_t i = 0; i < count; ++i) lua->PushInteger(values[i]);
    int32_t results = 0;
    EventCall call;
    call.unit = unit;
    call.functionName = handler;
    call.argumentCount = count;
    call.resultCount = &results;
    lua->CallEvent(&call);
    if (stillEnabled) *stillEnabled = call.stillEnabled;
    if (results <= 0) return false;
    bool consumed = lua->ToBoolean(-results);
    lua->Pop(results);
    return consumed;
}

void KVInput::LogLeftClick(const std::string& unitName, int32_t x, int32_t y, bool processed) {
    if (!m_logLeftClicks) return;
    IKVLog* log = GetLog();
    if (!log) return;
    std::string text = Format("Left click on {0} (x={1} y={2})", unitName, x, y);
    if (processed) text += " event processed";
    log->WriteStringLevel(text, KVLOG_INFO);
}

// ---- Keys ----

void KVInput::UpdateKeys() {
    KVKeyEvents events;
    if (!m_device->GetKeyEvents(&events)) return;
    for (const KVKeyEvent& key : events.keys) {
        uint32_t bit = 1u << (key.code & 31);
        if (key.down)
            m_keyState[key.code >> 5] |= bit;
        else
            m_keyState[key.code >> 5] &= ~bit;
        if (m_commands) {
            if (key.code == kCommandKey && IsKeyDown(kCommandModifier)) m_commandMode = !m_commandMode;
            if (m_commandMode) {
                CommandHook(key);
                continue;
            }
        }
        std::vector<EventArgument> arguments(1);
        arguments[0].value = key.code;
        Deliver(key.down ? KVINPUT_KEY_DOWN : KVINPUT_KEY_UP, arguments, kKeyHandlers, 2);
    }
    for (uint32_t value : events.characters) {
        std::vector<EventArgument> arguments(2);
        arguments[0].kind = 2;
        arguments[1].kind = 2;
        DescribeKeyChar(value, &arguments[0].text, &arguments[1].text);
        Deliver(KVINPUT_KEY_CHAR, arguments, kCharHandlers, 1);
    }
}

// Key events of command mode stop here: no console stands behind it.
void KVInput::CommandHook(const KVKeyEvent&) {}

uint32_t KVInput::KeyCodeToChar(int32_t code) {
    return m_device ? m_device->KeyCodeToChar(uint8_t(uint32_t(code) & 0xffu)) : 0;
}

bool KVInput::GetMouseButtonState(int32_t number) const {
    if (number < 1 || number > 3) return false;
    return (m_buttons >> (number - 1)) & 1u;
}

} // namespace kvl
