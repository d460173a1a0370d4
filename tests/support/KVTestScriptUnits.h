#pragma once
// Stand-in units for raising script events: plain records behind the
// binding's unit interface. A unit handle is the record's address.
#include <deque>
#include <map>
#include <string>

#include "KVLua/IKVScriptUnits.h"

namespace kvtest {

class KVTestScriptUnits : public kvl::IKVScriptUnits {
public:
    struct Unit {
        int32_t index = -1;
        std::string name;
        std::string alias;
        std::string className;
        bool hasScript = true;
        bool enabled = true;
        bool exists = true;
        int32_t references = 1;
        std::map<std::string, int32_t> delegates;  // function name -> target index
    };

    // Adds a unit at the next index.
    kvl::IKVUnit* Add(const std::string& name, const std::string& className);
    Unit& Get(kvl::IKVUnit* unit) { return *reinterpret_cast<Unit*>(unit); }
    Unit& At(int32_t index) { return m_units[size_t(index)]; }
    kvl::IKVUnit* Handle(int32_t index) { return reinterpret_cast<kvl::IKVUnit*>(&m_units[size_t(index)]); }

    int32_t GetUnitIndex(kvl::IKVUnit* unit) override;
    kvl::IKVUnit* GetUnit(int32_t unitIndex) override;
    bool HasScript(kvl::IKVUnit* unit) override;
    kvl::IKVUnit* FindDelegate(kvl::IKVUnit* unit, const char* functionName) override;
    const std::string& GetUnitName(kvl::IKVUnit* unit) override;
    const std::string& GetAliasName(kvl::IKVUnit* unit) override;
    const std::string& GetClassName(kvl::IKVUnit* unit) override;
    void RetainUnit(kvl::IKVUnit* unit) override;
    void ReleaseUnit(kvl::IKVUnit* unit) override;
    bool IsEffectivelyEnabled(kvl::IKVUnit* unit) override;
    void RebindScripts() override {}
    int32_t FindUnitIndex(const char* name, const char* className) override;
    // The records have no classes, attributes, parameters or unit arrays.
    bool IsClosing(int32_t) override { return false; }
    void* GetExtraData(kvl::IKVUnit*) override { return nullptr; }
    int32_t GetUnitClass(kvl::IKVUnit*) override { return -1; }
    int32_t GetClassCount() override { return 0; }
    const char* GetClassNameAt(int32_t) override { return nullptr; }
    int32_t GetBaseClass(int32_t) override { return -1; }
    int32_t PushAttributeToLua(kvl::IKVUnit*, const char*) override { return 1; }
    int32_t SetAttributeFromLua(kvl::IKVUnit*, const char*) override { return 1; }
    int32_t FindParameter(kvl::IKVUnit*, const char*) override { return -1; }
    bool GetParameter(int32_t, int32_t, kvl::KVScriptParameter*) override { return false; }
    void NotifyParameterChanged(int32_t, int32_t) override {}
    int32_t GetUnitArraySize(int32_t, uint64_t) override { return -1; }
    int32_t GetUnitArrayElement(int32_t, uint64_t, int32_t) override { return -1; }
    int32_t SetUnitArrayElement(int32_t, uint64_t, int32_t, int32_t) override { return 3; }

private:
    std::deque<Unit> m_units;  // stable addresses
};

} // namespace kvtest
