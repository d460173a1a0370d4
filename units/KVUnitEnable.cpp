// Enabling and disabling a unit and its subtree with their script events,
// calls into the unit's script, and the per-frame update.
#include "../KVLua/KVLua.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVTimer.h"
#include "IKVUnitExternal.h"
#include "IKVUnitRef.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int32_t kNotifyValuesChanged = 14;

double Clock() {
    KVTimer* timer = KVTimer::Instance();
    return timer ? timer->GetTime() : 0.0;
}

} // namespace

int32_t KVUnit::CallScriptFunction(const char* name, int32_t option, int32_t count, const KVScriptArgument* arguments,
                                   KVScriptResult* result) {
    (void)option;
    if (result) *result = KVScriptResult();
    KVLua* lua = KVLua::Instance();
    if (!lua) return KV_NOT_FOUND;
    int32_t pushed = 0;
    for (int32_t i = 0; arguments && i < count; ++i) {
        const KVScriptArgument& a = arguments[i];
        switch (a.type) {
        case KVSCRIPT_INTEGER:
            lua->PushInteger(a.integer);
            break;
        case KVSCRIPT_NUMBER:
            lua->PushNumber(double(a.number));
            break;
        case KVSCRIPT_STRING:
            lua->PushString(a.text ? a.text : "");
            break;
        case KVSCRIPT_BOOLEAN:
            lua->PushBoolean(a.boolean);
            break;
        case KVSCRIPT_UNIT:
            lua->PushUnit(a.integer);
            break;
        default:
            continue;
        }
        ++pushed;
    }
    int32_t returned = 0;
    EventCall call;
    call.unit = static_cast<IKVUnit*>(this);
    call.functionName = name;
    call.argumentCount = pushed;
    call.resultCount = result ? &returned : nullptr;
    int32_t status = lua->CallEvent(&call);
    if (result && status == KV_OK && returned > 0) {
        ScriptType type = SCRIPT_UNKNOWN;
        lua->GetArgType(-1, &type);
        if (type == SCRIPT_NUMBER) {
            result->type = KVSCRIPT_NUMBER;
            result->number = float(lua->ToNumber(-1));
        } else if (type == SCRIPT_BOOLEAN) {
            result->type = KVSCRIPT_BOOLEAN;
            result->boolean = lua->ToBoolean(-1);
        } else {
            result->type = KVSCRIPT_STRING;
            result->text = lua->ToStdString(-1);
        }
    }
    if (returned > 0) lua->Pop(returned);
    lua->NotifyScriptCallDone();
    return status;
}

int32_t KVUnit::RaiseEvent(const char* name, KVScriptResult* result) {
    return CallScriptFunction(name, 0, 0, nullptr, result);
}

void KVUnit::RaiseError(int32_t code) {
    KVScriptArgument argument;
    argument.type = KVSCRIPT_INTEGER;
    argument.integer = code;
    CallScriptFunction("OnError", 0, 1, &argument, nullptr);
}

void KVUnit::Update(float dt) {
    if (!m_enabled || !m_updateWanted) return;
    KVLua* lua = KVLua::Instance();
    if (!lua) return;
    KVCore* core = KVCore::Instance();
    // The factory holds a reference across the call, so the unit is still
    // here when the call returns.
    if (lua->CallUpdateEvent(static_cast<IKVUnit*>(this), double(dt), core ? core->GetFrameTimeStamp() : 0.0) ==
        KV_NOT_FOUND)
        m_updateWanted = false;
    lua->NotifyScriptCallDone();
}

void KVUnit::SetEnabled(bool enabled) {
    m_wantedEnabled = enabled;
    ApplyEnabledState();
}

void KVUnit::ApplyEnabledState() {
    std::vector<int32_t> enabled;
    Apply(&enabled);
    // The unit itself may be gone now: only indices are used from here on.
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && factory->IsDeferringEnables()) {
        for (int32_t index : enabled) {
            IKVUnit* unit = factory->GetUnit(index);
            if (!unit) continue;
            unit->GetUnit()->m_enablePending = true;
            factory->QueueEnable(index);
        }
        return;
    }
    for (int32_t index : enabled) {
        IKVUnit* unit = factory ? factory->GetUnit(index) : nullptr;
        if (unit) unit->GetUnit()->RaiseEvent("OnEnable");
    }
}

void KVUnit::Apply(std::vector<int32_t>* enabled) {
    bool target = m_wantedEnabled && m_parentEnabled;
    if (target == m_enabled) return;
    // Closing while something still holds it (its own update, say): it
    // stays off whatever its script asks. A CloseOnDisable release under
    // way reports the attempt.
    if (target && m_factoryReferenceDropped) {
        s_enableDuringClose = true;
        return;
    }
    KVUnitWatch watch(this);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    bool logTime = factory && factory->LogEnabledUnits();
    double start = 0.0;
    if (target) {
        m_enabled = true;
        if (logTime) start = Clock();
    } else {
        KVScriptResult answer;
        RaiseEvent("OnQueryDisable", &answer);
        if (!watch.Alive()) return;
        // The last release disables whatever the script answers.
        bool refused = answer.type == KVSCRIPT_BOOLEAN && !answer.boolean;
        if (refused && !m_finalRelease) return;
        // The query may have changed the state itself.
        if (!m_enabled) return;
        m_enabled = false;
    }
    if (!Switch(enabled) || !watch.Alive()) return;
    if (m_enabled && logTime) {
        if (IKVLog* log = GetLog())
            log->Info(Format("Enable {0}:{1} sec", m_name.empty() ? FormatValue() : FormatValue(m_name),
                             Clock() - start));
    }
}

bool KVUnit::Switch(std::vector<int32_t>* enabled) {
    KVUnitWatch watch(this);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (m_inDisable && m_enabled) {
        // Enabled from its own "OnDisable": carried out once that returns.
        m_enabled = false;
        m_reenablePending = true;
        s_enableDuringClose = true;
        return true;
    }
    if (!m_enabled) {
        // Off before its flush: that going on has no "OnEnable" left.
        m_enablePending = false;
        m_inDisable = true;
        if (factory) factory->CountEnabled(-1);
        RaiseEvent("OnDisable");
        if (!watch.Alive()) return false;
        m_inDisable = false;
        if (m_externalImpl) m_externalImpl->SetEnabledState(false);
        m_drawNumber = -1;
        if (factory) factory->ApplyAllAttributes(this, true);
        if (!watch.Alive()) return false;
        if ((m_flags & KVUNIT_CLOSE_ON_DISABLE) && !m_reenablePending) {
            s_enableDuringClose = false;
            std::string name = m_name;
            // While the update sweep, the input walk or an event call still
            // holds the unit it outlives this, closing.
            DropFactoryReference();
            if (s_enableDuringClose) {
                if (IKVLog* log = GetLog())
                    log->WriteStringLevel(Format("Try to enable a closed unit ({0}). The unit has been closed because "
                                                 "of the CloseOnDisable flag.",
                                                 name),
                                          KVLOG_ERROR);
            }
            return false;
        }
        if (m_reenablePending) {
            m_enabled = true;
            m_reenablePending = false;
            Refresh();
            if (!watch.Alive()) return false;
        }
    } else if (!factory || !factory->IsReleasing()) {
        if (factory) factory->CountEnabled(1);
        RaiseEvent("OnPreEnable");
        if (!watch.Alive()) return false;
        ComputeVisible();
        m_inPreEnable = true;
        if (factory) factory->ApplyAllAttributes(this, false);
        if (!watch.Alive()) return false;
        m_inPreEnable = false;
        if (m_externalImpl) m_externalImpl->SetEnabledState(true);
        enabled->push_back(m_index);
    }
    Refresh();
    if (!watch.Alive()) return false;

    std::vector<KVUnit*> held;
    std::vector<int32_t> children;
    static thread_local int32_t depth = 0;
    KVTreeDepth guard(&depth);
    if (!guard.TooDeep())
        for (size_t i = 0; i < m_children.Size(); ++i) children.push_back(m_children.At(i)->GetIndex());
    for (int32_t index : children) {
        if (!watch.Alive()) break;
        IKVUnit* found = factory ? factory->GetUnit(index) : nullptr;
        if (!found) continue;
        KVUnit* child = found->GetUnit();
        child->Retain();
        held.push_back(child);
        child->m_parentEnabled = m_enabled;
        child->Apply(enabled);
    }
    for (KVUnit* child : held) child->Release();
    if (!watch.Alive()) return false;

    if (KVCore* core = KVCore::Instance()) core->Notify(kNotifyValuesChanged, m_index, nullptr);
    if (factory) factory->UpdateRootMembership(this);
    return true;
}

} // namespace kvl
