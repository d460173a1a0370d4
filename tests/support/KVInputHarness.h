#pragma once
// The input module over a given device, with a started script host, test
// units the scripts can name and a screenless graphic device: phases 1 and
// 2 have run, the library "KVInput" is published, and Flush runs the two
// updates that discard input.
#include <memory>
#include <string>

#include "KVFakeGraphicDevice.h"
#include "KVTestInputUnits.h"
#include "KVTestLuaHost.h"
#include "kernel/KVInput.h"

namespace kvtest {

class KVInputHarness {
public:
    explicit KVInputHarness(kvl::IKVInputDevice* device);
    ~KVInputHarness();

    kvl::KVInput& Input() { return *m_input; }
    KVTestLuaHost& Host() { return m_host; }
    KVTestInputUnits& Units() { return m_units; }
    KVFakeGraphicDevice& Graphic() { return m_graphic; }

    // A unit with its namespace table.
    KVTestInputUnit* AddUnit(const std::string& name) { return m_units.Add(name, &m_host.Lua()); }
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
    KVTestInputUnits m_units;
    KVFakeGraphicDevice m_graphic;
    std::unique_ptr<kvl::KVInput> m_input;
};

} // namespace kvtest
