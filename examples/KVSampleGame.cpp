// Writes the sample game into a directory: its configuration, project file,
// scene of units, the units' and the application's scripts and the
// loading-screen script.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/KVProjectFileWriter.h"
#include "support/KVPropertiesBlockWriter.h"
#include "support/KVSceneUnitsWriter.h"

namespace {

constexpr uint64_t kProjectId = 0x004B56414D504C45ull;
constexpr uint64_t kProjectFullName = 0x0066B9570C13C898ull;
constexpr uint64_t kLoadAnimator = 0x003471247D5E3310ull;
constexpr uint64_t kNeedSoundDevice = 0x001D90A67E3277C9ull;

bool WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
    return bool(out);
}

const char* const kConfig =
    "; Engine configuration of the sample game.\n"
    "[STARTUP]\n"
    "KVPROJ=sample.kvproj\n"
    "\n"
    "[General]\n"
    "LogOnDisk=1\n"
    "\n"
    "; Script errors go to loglua.txt.\n"
    "[Script]\n"
    "LogOnDisk=1\n";

const char* const kApplicationScript =
    "-- The sample game's application script.\n"
    "function Application.OnProjectLoaded()\n"
    "  log(\"Project loaded: \" .. KVProperties.GetProperty(\"ProjectFullname\"))\n"
    "  log(\"Engine version \" .. KVCore.GetVersion() .. \" on \" .. KVCore.GetPlatform())\n"
    "  log(\"Bits: 0x\" .. string.format(\"%x\", KVArith.Xor(0xff00, 0x0ff0)))\n"
    "end\n";

// The scene's units: the player with its sword and shield. Each tells its
// creation and enabling; the player counts its updates and ends the game
// after three.
const char* const kUnitScript =
    "-- The sample scene's units.\n"
    "for _, name in ipairs({\"Player\", \"Sword\", \"Shield\"}) do\n"
    "  local unit = {}\n"
    "  function unit.OnCreate() log(name .. \" created\") end\n"
    "  function unit.OnEnable() log(name .. \" enabled\") end\n"
    "  _G[name] = unit\n"
    "end\n"
    "updates = 0\n"
    "function Player.OnUpdate(dt, time)\n"
    "  updates = updates + 1\n"
    "  log(\"Player update \" .. updates)\n"
    "  if updates == 3 then\n"
    "    log(\"Units: \" .. (KVUnitFactory.DoesUnitExist(\"Sword\") and \"sword\" or \"no sword\"))\n"
    "    KVCore.Exit()\n"
    "  end\n"
    "end\n";

// Loaded from "loader.luac": the loader accepts text chunks as well.
const char* const kLoaderScript =
    "-- The sample game's loading screen: a few frames, then done.\n"
    "frames = 0\n"
    "function OnAnimatorInit()\n"
    "  bar = KVLoadAnimator.CreateRect()\n"
    "  KVLoadAnimator.SetParameters(bar, { x = 0, y = 380, width = 0, height = 8, show = true })\n"
    "  log(\"Loading screen on \" .. KVLoadAnimator.GetPlatform())\n"
    "end\n"
    "function OnAnimatorUpdate(dt)\n"
    "  frames = frames + 1\n"
    "  KVLoadAnimator.SetParameters(bar, { width = frames * 200 })\n"
    "  log(\"Loading frame \" .. frames)\n"
    "  if frames >= 5 then KVLoadAnimator.Exit() end\n"
    "end\n";

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s GAME_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::filesystem::path assets = std::filesystem::path(argv[1]) / "assets";
    std::filesystem::create_directories(assets / "scenes");

    kvtest::KVPropertiesBlockWriter properties(0x10005);
    properties.AddString(kProjectFullName, "Kelvane Sample");
    properties.AddString(kLoadAnimator, "loading/loader.lua");
    properties.AddBoolean(kNeedSoundDevice, 0);
    kvtest::KVProjectFileWriter project(0x10005, kProjectId);
    project.AddKvl("scenes/main.kvl").AddGroup("main", {0}, true).Append(properties.Build());
    kvtest::KVSceneUnitsWriter scene;
    scene.AddPlainUnit("Player", 0x504C4159455201ull,
                       {kvtest::KVStored::Local(1), kvtest::KVStored::Local(2)});
    scene.AddPlainUnit("Sword", 0x504C4159455202ull);
    scene.AddPlainUnit("Shield", 0x504C4159455203ull);

    bool ok = WriteText(assets / "config.ini", kConfig) &&
              WriteText(assets / "script" / "app.lua", kApplicationScript) &&
              WriteText(assets / "script" / "units.lua", kUnitScript) &&
              WriteText(assets / "loading" / "loader.luac", kLoaderScript) &&
              project.WriteTo((assets / "sample.kvproj").string()) &&
              kvtest::KVChunkWriter::WriteFile((assets / "scenes" / "main.kvl").string(),
                                               scene.Scene(0x20004, kProjectId));
    if (!ok) {
        std::fprintf(stderr, "could not write the sample game into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
