// Enabling and disabling a unit and its subtree with their script events,
// calls into the unit's script, and the per-frame update.
#include <deque>

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

// A walk of the enable machinery down a subtree, without recursion: one
// step per unit whose children are being walked, deepest last. Each step's
// children (as they stood when the walk reached it) and the children it
// holds lie in the walk's two lists, after those of the step above it.
struct KVUnit::EnableWalk {
    struct Step {
        explicit Step(KVUnit* u) : unit(u), watch(u) {}
        KVUnit* unit;
        KVUnitWatch watch;
        size_t childrenFrom = 0;
        size_t childrenTo = 0;
        size_t next = 0;
        size_t heldFrom = 0;
        bool logTime = false;
        double start = 0.0;
    };
    explicit EnableWalk(std::vector<int32_t>* list) : enabled(list) {}
    std::vector<int32_t>* enabled;
    // A deque: its steps stay where they are while steps are added.
    std::deque<Step> steps;
    std::vector<int32_t> children;
    std::vector<KVUnit*> held;
};

void KVUnit::Apply(std::vector<int32_t>* enabled) {
    EnableWalk walk(enabled);
    ApplyOwn(walk);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    while (!walk.steps.empty()) {
        EnableWalk::Step& step = walk.steps.back();
        KVUnit* unit = step.unit;
        if (step.watch.Alive() && step.next < step.childrenTo) {
            const int32_t index = walk.children[step.next++];
            IKVUnit* found = factory ? factory->GetUnit(index) : nullptr;
            KVUnit* child = found ? found->GetUnit() : nullptr;
            // Only a unit's parent switches it: a listing kept as stored
            // with parent checks off is no link of the tree.
            if (!child || child->GetParentIndex() != unit->m_index) continue;
            child->Retain();
            walk.held.push_back(child);
            child->m_parentEnabled = unit->m_enabled;
            child->ApplyOwn(walk);
            continue;
        }
        // The children are walked, or the unit went away meanwhile.
        const size_t heldFrom = step.heldFrom;
        for (size_t i = heldFrom; i < walk.held.size(); ++i) walk.held[i]->Release();
        walk.held.resize(heldFrom);
        walk.children.resize(step.childrenFrom);
        if (step.watch.Alive()) unit->EndSwitch();
        if (step.watch.Alive() && unit->m_enabled && step.logTime) {
            if (IKVLog* log = GetLog())
                log->Info(Format("Enable {0}:{1} sec", unit->m_name.empty() ? FormatValue() : FormatValue(unit->m_name),
                                 Clock() - step.start));
        }
        walk.steps.pop_back();
    }
}

void KVUnit::ApplyOwn(EnableWalk& walk) {
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
    if (!Switch(walk.enabled) || !watch.Alive()) return;
    walk.steps.emplace_back(this);
    EnableWalk::Step& step = walk.steps.back();
    step.logTime = logTime;
    step.start = start;
    step.heldFrom = walk.held.size();
    step.childrenFrom = walk.children.size();
    if (walk.steps.size() <= MaxTreeDepth())
        for (size_t i = 0; i < m_children.Size(); ++i) walk.children.push_back(m_children.At(i)->GetIndex());
    step.childrenTo = walk.children.size();
    step.next = step.childrenFrom;
}

bool KVUnit::Switch(std::vector<int32_t>* enabled) {
    KVUnitWatch watch(this);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (m_inDisable && m_enabled) {
        // Enabled from its own "OnDisable": carried out once that returns.
        m_enabled = false;
        m_reenablePending = true;
        s_enableDuringClose = true;
        return false;
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
    return watch.Alive();
}

void KVUnit::EndSwitch() {
    if (KVCore* core = KVCore::Instance()) core->Notify(kNotifyValuesChanged, m_index, nullptr);
    if (KVUnitFactory* factory = KVUnitFactory::Instance()) factory->UpdateRootMembership(this);
}

} // namespace kvl
