#include "KVTestUnitEvents.h"

#include <gtest/gtest.h>

#include "KVLua/KVLua.h"
#include "units/IKVUnitRef.h"

namespace kvtest {
namespace {

using kvl::IKVUnit;
using kvl::KVUnit;

void Record(const KVUnit* unit, const char* what) {
    KVTestCoreHost::Records().push_back(const_cast<KVUnit*>(unit)->GetName() + ":" + what);
}

class Probe : public KVUnit {
public:
    static KVUnit* Create() { return new Probe; }
    void Close() override {
        if (!IsClosing()) Record(this, "Close");
        KVUnit::Close();
    }
    void PreUpdate() override {
        Record(this, "PreUpdate");
        KVUnit::PreUpdate();
    }
    void UpdateExternal(float dt) override {
        Record(this, "UpdateExternal");
        KVUnit::UpdateExternal(dt);
    }
};

KVUnit* Named(int position) {
    kvl::IKVLua* lua = kvl::GetLuaBinding();
    kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
    IKVUnit* unit = nullptr;
    if (!lua || !factory || factory->FindUnitByName(lua->ToStdString(position), nullptr, &unit) != kvl::KV_OK)
        return nullptr;
    return unit->GetUnit();
}

int SetEnabled() {
    if (KVUnit* unit = Named(1)) unit->SetEnabled(kvl::GetLuaBinding()->ToBoolean(2));
    return 0;
}

int Release() {
    if (KVUnit* unit = Named(1)) unit->Release();
    return 0;
}

int SetParent() {
    KVUnit* parent = Named(2);
    if (KVUnit* unit = Named(1)) unit->SetParent(parent ? parent->GetIndex() : -1);
    return 0;
}

int Attributes() {
    KVUnit* unit = Named(1);
    return unit && KVUnit::PushAttributesProxy(unit->GetIndex()) == kvl::KV_OK ? 1 : 0;
}

int Exists() {
    kvl::GetLuaBinding()->PushBoolean(Named(1) != nullptr);
    return 1;
}

class Library : public kvl::KVLuaLibrary {
public:
    int32_t GetLuaFunctions(const kvl::KVLuaFunctionEntry** out) override {
        static const kvl::KVLuaFunctionEntry kFunctions[] = {
            {"SetEnabled", &SetEnabled}, {"Release", &Release}, {"SetParent", &SetParent},
            {"Attributes", &Attributes}, {"Exists", &Exists},   {nullptr, nullptr}};
        if (out) *out = kFunctions;
        return kvl::KV_OK;
    }
};

Library g_library;

} // namespace

const std::vector<std::string>& KVTestUnitEvents::BaseEvents() {
    static const std::vector<std::string> events{"OnCreate",  "OnPreEnable", "OnEnable",
                                                 "OnQueryDisable", "OnDisable", "OnUpdate"};
    return events;
}

void KVTestUnitEvents::RegisterLibrary() {
    if (kvl::KVLua* lua = kvl::KVLua::Instance()) lua->RegisterLibrary("TestUnits", &g_library);
}

KVTestUnitEvents::KVTestUnitEvents() {
    RegisterLibrary();
    m_host.StartProject();
    kvl::KVUnitClassDesc desc;
    desc.name = "Probe";
    desc.create = &Probe::Create;
    desc.baseClass = KVUnit::GetUnitClassIndex();
    desc.id = 0x0050524F4245ull;
    EXPECT_EQ(Factory().RegisterClass(desc, &m_probeClass), kvl::KV_OK);
    Run("function Track(name, ...)\n"
        "  local t = {}\n"
        "  for _, e in ipairs({...}) do\n"
        "    t[e] = function() TestRecorder.Record(name .. ':' .. e) end\n"
        "  end\n"
        "  _G[name] = t\n"
        "  return t\n"
        "end\n");
    KVTestCoreHost::Records().clear();
}

void KVTestUnitEvents::Track(const std::string& name, const std::vector<std::string>& events,
                             const std::string& extra) {
    std::string code = "local t = Track('" + name + "'";
    for (const std::string& e : events) code += ", '" + e + "'";
    Run(code + ")\n" + extra);
}

void KVTestUnitEvents::Namespace(const std::string& name, const std::vector<std::string>& events) {
    m_host.DefineUnitNamespace(name, events);
}

KVUnit* KVTestUnitEvents::Make(const std::string& name, KVUnit* parent) {
    Track(name);
    IKVUnit* unit = nullptr;
    EXPECT_EQ(Factory().NewUnit(m_probeClass, &unit), kvl::KV_OK);
    if (!unit) return nullptr;
    unit->GetUnit()->SetName(name);
    if (parent) unit->GetUnit()->SetParent(parent->GetIndex());
    KVTestCoreHost::Records().clear();
    return unit->GetUnit();
}

KVUnit* KVTestUnitEvents::Spawn(const std::string& name, KVUnit* parent) {
    IKVUnit* unit = nullptr;
    EXPECT_EQ(Factory().NewUnit(m_probeClass, &unit), kvl::KV_OK);
    if (!unit) return nullptr;
    unit->GetUnit()->SetName(name);
    if (parent) unit->GetUnit()->SetParent(parent->GetIndex());
    return unit->GetUnit();
}

std::vector<std::string> KVTestUnitEvents::Reports(const std::string& code) {
    KVTestCoreHost::Errors().clear();
    Run(code);
    std::vector<std::string> out;
    out.swap(KVTestCoreHost::Errors());
    return out;
}

KVUnit* KVTestUnitEvents::Find(const std::string& name) {
    IKVUnit* unit = nullptr;
    return Factory().FindUnitByName(name, nullptr, &unit) == kvl::KV_OK ? unit->GetUnit() : nullptr;
}

void KVTestUnitEvents::Run(const std::string& code) {
    std::string error;
    EXPECT_TRUE(m_host.Run(code, &error)) << error;
}

std::vector<std::string> KVTestUnitEvents::Take() {
    std::vector<std::string> out;
    out.swap(KVTestCoreHost::Records());
    return out;
}

} // namespace kvtest
