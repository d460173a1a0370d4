#pragma once
// Units whose events are recorded through the real script binding: a whole
// core with its script state, a unit class "Probe" (base "Unit") whose
// native hooks record as well, and the script library "TestUnits" through
// which scripts act on units by name (SetEnabled, Release, SetParent,
// Attributes, Exists). Events and hooks land in one list, in order, as
// "name:Event" texts.
#include <string>
#include <vector>

#include "KVTestCoreHost.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

class KVTestUnitEvents {
public:
    // The unit events of the base unit, tracked by default.
    static const std::vector<std::string>& BaseEvents();

    KVTestUnitEvents();

    // Registers the script library "TestUnits" with the binding; before the
    // script state is made.
    static void RegisterLibrary();

    KVTestCoreHost& Host() { return m_host; }
    kvl::KVUnitFactory& Factory() { return *kvl::KVUnitFactory::Instance(); }
    int32_t ProbeClass() const { return m_probeClass; }

    // Defines the script table of that name: each listed event records
    // "name:Event"; extra Lua code may then change the table (named "t").
    void Track(const std::string& name, const std::vector<std::string>& events = BaseEvents(),
               const std::string& extra = "");
    // Defines the namespace table of a unit name, as a script file of the
    // unit defines it (members and methods reach the unit of that name
    // through it, now or once it is made), with each listed event
    // recording "name:Event".
    void Namespace(const std::string& name, const std::vector<std::string>& events);
    // A run-time Probe unit with that name and a tracked script table,
    // under the parent when one is given. Its creation is not recorded.
    kvl::KVUnit* Make(const std::string& name, kvl::KVUnit* parent = nullptr);
    // A run-time Probe unit with that name and no script table of its own
    // (scripts make its namespace table on first use), under the parent
    // when one is given.
    kvl::KVUnit* Spawn(const std::string& name, kvl::KVUnit* parent = nullptr);
    kvl::KVUnit* Find(const std::string& name);
    // Runs Lua code on the main state; fails the test on an error.
    void Run(const std::string& code);

    // Runs Lua code and gives the script errors it reported.
    std::vector<std::string> Reports(const std::string& code);

    // The records so far, emptied.
    std::vector<std::string> Take();

private:
    KVTestCoreHost m_host;
    int32_t m_probeClass = -1;
};

} // namespace kvtest
