#pragma once
// The unit factory's table as the media modules see it, over stand-in script
// units: an extension module, so the core answers the unit factory's id
// with it ahead of the real factory. Attach() also hands the units to the
// script binding, so events raised by index reach the units' script tables.
// Classes and attributes are refused.
#include "kernel/IKVModule.h"
#include "support/KVTestScriptUnits.h"
#include "support/KVStubUnitFactory.h"

namespace kvtest {

class KVFakeUnitTable : public kvl::IKVModuleExt, public KVStubUnitFactory {
public:
    static KVFakeUnitTable* instance;
    // A creator for the module registry.
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo* info);

    KVFakeUnitTable() { instance = this; }
    ~KVFakeUnitTable() override;

    KVTestScriptUnits& Units() { return m_units; }
    // Gives the units to the binding (after its phase 0).
    void Attach();
    // Adds a unit, and a script table of its name bound to it when the
    // binding has a state.
    int32_t AddUnit(const std::string& name);

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x00056362B7CA0001ull; }
    int32_t GetPriority() override { return 1; }

    int32_t RegisterClass(const kvl::KVUnitClassDesc&, int32_t* outClassIndex) override;
    kvl::IKVUnit* GetUnit(int32_t unitIndex) override { return m_units.GetUnit(unitIndex); }

private:
    KVTestScriptUnits m_units;
};

} // namespace kvtest
