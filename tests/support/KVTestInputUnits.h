#pragma once
// Units for input tests: small objects behind the unit interface with their
// own enabled state, flags and listener list, a unit factory that finds them
// by index, and the binding's view of them, so that script handlers named
// "<unit name>.<handler>" receive their events. Closing a unit tells its
// listeners and takes it out of the table, as the engine's units do.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "KVScriptUnitsStub.h"
#include "units/IKVLinker.h"
#include "units/IKVUnit.h"
#include "units/IKVUnitFactory.h"
#include "support/KVStubUnitFactory.h"
#include "units/KVUnitRefArray.h"

namespace kvl {
class KVLua;
}

namespace kvtest {

class KVTestInputUnit : public kvl::IKVUnit {
public:
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Retain() override { return ++references; }
    int32_t Release() override { return --references; }
    int32_t GetClassIndex() override { return 0; }
    const uint64_t* GetClassId() override { return &classId; }
    bool IsEnabled() override { return enabled; }
    int32_t GetIndex() override { return index; }
    void* GetExtraData() override { return nullptr; }
    int32_t GetParentIndex() override { return -1; }
    kvl::KVUnitRefArray* GetChildren() override { return &children; }
    int32_t AddListener(kvl::IKVLinker* listener) override;
    int32_t RemoveListener(kvl::IKVLinker* listener) override;
    uint32_t GetFlags() override { return flags; }
    void SetFlags(uint32_t value) override { flags = value; }
    const std::string& GetName() override { return name; }
    kvl::KVUnit* GetUnit() override { return nullptr; }
    // The rest of the unit interface answers as a plain enabled unit.
    void SetEnabled(bool value) override { enabled = value; }
    bool IsVisible() override { return true; }
    bool IsDrawn() override { return true; }
    void SetParent(int32_t) override {}
    bool IsKindOf(uint64_t id) override { return id == classId; }
    int32_t CallScriptFunction(const char*, int32_t, int32_t, const kvl::KVScriptArgument*,
                               kvl::KVScriptResult*) override {
        return kvl::KV_NOT_FOUND;
    }
    void RaiseError(int32_t) override {}
    void SetModified() override {}
    void SetDrawable(bool) override {}
    int32_t GetNotifyTarget() override { return -1; }
    void SetNotifyTarget(int32_t) override {}
    void SetSceneList(int32_t) override {}
    int32_t GetSceneList() override { return 0; }

    int32_t index = -1;
    std::string name;
    bool enabled = true;
    bool closed = false;
    uint32_t flags = 0x1000012;
    int32_t references = 1;
    uint64_t classId = 0;
    std::vector<kvl::IKVLinker*> listeners;
    kvl::KVUnitRefArray children;
};

class KVTestInputUnits : public KVStubUnitFactory, public KVScriptUnitsStub {
public:
    KVTestInputUnits() = default;
    ~KVTestInputUnits() override = default;

    // A unit at the next index. With a binding whose state exists, the
    // unit's namespace table is made too.
    KVTestInputUnit* Add(const std::string& name, kvl::KVLua* lua = nullptr);
    KVTestInputUnit* At(int32_t index) { return m_units[size_t(index)].get(); }
    // Tells the unit's listeners it goes away and frees its index.
    void Close(KVTestInputUnit* unit);

    // Only the unit table is kept.
    kvl::IKVUnit* GetUnit(int32_t unitIndex) override;

    // IKVScriptUnits
    int32_t GetUnitIndex(kvl::IKVUnit* unit) override { return unit ? unit->GetIndex() : -1; }
    bool HasScript(kvl::IKVUnit*) override { return true; }
    kvl::IKVUnit* FindDelegate(kvl::IKVUnit*, const char*) override { return nullptr; }
    const std::string& GetUnitName(kvl::IKVUnit* unit) override { return unit->GetName(); }
    const std::string& GetAliasName(kvl::IKVUnit*) override;
    const std::string& GetClassName(kvl::IKVUnit*) override;
    void RetainUnit(kvl::IKVUnit* unit) override { unit->Retain(); }
    void ReleaseUnit(kvl::IKVUnit* unit) override { unit->Release(); }
    bool IsEffectivelyEnabled(kvl::IKVUnit* unit) override { return unit->IsEnabled(); }
    void RebindScripts() override {}
    int32_t FindUnitIndex(const char* name, const char*) override;

private:
    std::deque<std::unique_ptr<KVTestInputUnit>> m_units;
};

} // namespace kvtest
