#include "KVInputHarness.h"

#include <gtest/gtest.h>

namespace kvtest {

KVInputHarness::KVInputHarness(kvl::IKVInputDevice* device) : m_units(new KVTestUnits) {
    m_host.Lua().SetScriptUnits(&m_units->Factory());
    m_input.reset(new kvl::KVInput());
    m_input->SetDevice(device);
    m_input->SetUnitFactory(&m_units->Factory());
    m_input->SetGraphicDevice(&m_graphic);
    m_input->SetPropertiesInterface(&m_host.Properties());
    m_input->Init(0);
    m_input->Init(1);
    m_host.Start();
    m_input->Init(2);
}

KVInputHarness::~KVInputHarness() {
    m_input->Release(2);
    m_input.reset();
    // Units closing still reach their scripts.
    m_units.reset();
    m_host.Lua().SetScriptUnits(nullptr);
}

kvl::KVUnit* KVInputHarness::AddUnit(const std::string& name) {
    kvl::KVUnit* unit = m_units->Create("Unit");
    if (!unit) {
        ADD_FAILURE() << "no unit for " << name;
        return nullptr;
    }
    unit->SetName(name);
    m_host.Lua().CreateNamespaceTable(name.c_str(), unit->GetIndex(), false);
    unit->UpdateScriptFlag();
    return unit;
}

void KVInputHarness::SetProperty(const std::string& key, bool value) {
    const kvl::PropertyDescriptor* property = m_host.Properties().FindByKey(key);
    ASSERT_NE(property, nullptr) << key;
    *static_cast<bool*>(property->target) = value;
}

void KVInputHarness::Flush() {
    m_input->Update(0.02f);
    m_input->Update(0.02f);
}

void KVInputHarness::Run(const std::string& code) {
    std::string error;
    EXPECT_TRUE(m_host.Run(code, &error)) << error;
}

} // namespace kvtest
