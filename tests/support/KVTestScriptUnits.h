#pragma once
// Stand-in units for raising script events: plain records behind the
// binding's unit interface. A unit handle is the record's address.
#include <deque>
#include <map>
#include <string>

#include "KVScriptUnitsStub.h"

namespace kvtest {

class KVTestScriptUnits : public KVScriptUnitsStub {
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
    void OnScriptTableAdopted(kvl::IKVUnit* unit) override { Get(unit).hasScript = true; }
    int32_t FindUnitIndex(const char* name, const char* className) override;

private:
    std::deque<Unit> m_units;  // stable addresses
};

} // namespace kvtest
