#pragma once
// The input module over a given device, with a started script host, a unit
// factory whose units the scripts can name and a screenless graphic device:
// phases 1 and 2 have run, the library "KVInput" is published, and Flush
// runs the two updates that discard input.
#include <memory>
#include <string>

#include "KVFakeGraphicDevice.h"
#include "KVTestLuaHost.h"
#include "KVTestUnits.h"
#include "kernel/KVInput.h"

namespace kvtest {

class KVInputHarness {
public:
    explicit KVInputHarness(kvl::IKVInputDevice* device);
    ~KVInputHarness();

    kvl::KVInput& Input() { return *m_input; }
    KVTestLuaHost& Host() { return m_host; }
    kvl::KVUnitFactory& Factory() { return m_units->Factory(); }
    KVFakeGraphicDevice& Graphic() { return m_graphic; }

    // A unit of class "Unit" with that name and its script table.
    kvl::KVUnit* AddUnit(const std::string& name);
    // The unit goes away when nothing else holds it: its own reference is
    // given up.
    static void Close(kvl::KVUnit* unit) { unit->Release(); }
    // Sets a boolean property of the module ("Commands", "LogLeftClicks").
    void SetProperty(const std::string& key, bool value);
    void Flush();
    void Update(float dt = 0.02f) { m_input->Update(dt); }
    // Runs a chunk, expecting it to succeed.
    void Run(const std::string& code);
    // Texts that reached the binding's error hook.
    const std::vector<std::string>& Errors() const { return KVTestLuaHost::Errors(); }

private:
    KVTestLuaHost m_host;
    std::unique_ptr<KVTestUnits> m_units;
    KVFakeGraphicDevice m_graphic;
    std::unique_ptr<kvl::KVInput> m_input;
};

} // namespace kvtest
