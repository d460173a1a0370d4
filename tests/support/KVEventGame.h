#pragma once
// A game whose units record their script events, played through the
// program's own frame (KVGameRig): scenes of units as a tool writes them,
// and one script made of the recorder below and the test's own code.
//
// The recorder's Lua: track(name, extra) gives the unit of that name a
// table whose "OnCreate", "OnPreEnable", "OnEnable", "OnUpdate" and
// "OnDisable" record "name:event" (then call extra[event], when given);
// record(text) adds a line of its own; of(name, skip) answers one unit's
// events in order and all(skip) every unit's, passing by one event name.
#include <cstdint>
#include <string>

#include "KVGameRig.h"
#include "KVSceneUnitsWriter.h"

namespace kvtest {

extern const char* const kEventRecorder;

class KVEventGame {
public:
    // A scene of a scene file of version 0x20004, in a group of its own
    // named after its path.
    void AddScene(const std::string& path, const KVSceneUnitsWriter& units, bool atStart) {
        m_game.AddScene(path, units.Scene(0x20004, KVGameRig::kProjectId), atStart);
    }
    // The game's script: the recorder, then this code.
    void WriteScript(const std::string& code) { m_game.WriteScript("game.lua", std::string(kEventRecorder) + code); }
    KVPropertiesBlockWriter& Properties() { return m_game.Properties(); }
    KVGameRig& Rig() { return m_game; }
    bool Start() { return m_game.Start(); }
    void Step(int32_t frames = 1) { m_game.Step(frames); }
    kvl::KVUnit* Find(const std::string& name) { return m_game.Find(name); }
    void Run(const std::string& code) { m_game.Run(code); }
    std::string Eval(const std::string& expression) { return m_game.Eval(expression); }
    // One unit's events, passing by "OnUpdate" unless told otherwise.
    std::string Of(const std::string& name, const char* skip = "OnUpdate") {
        return Eval("of('" + name + "', '" + skip + "')");
    }

private:
    KVGameRig m_game;
};

} // namespace kvtest
