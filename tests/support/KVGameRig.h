#pragma once
// A game as the program plays it. The test writes a game directory with the
// fixture writers (config.ini, the project, kvl scenes, scripts, resources
// under "assets/"); Start() brings it up through the program's own start-up
// (InitApplication: SDL's dummy drivers unless told otherwise, the
// platform's modules, the OpenGL ES device on a headless screen of the size
// asked for) and loads the project; Step() runs whole frames through the
// core's own Step and Render, each of the fixed frame time (config.ini's
// FIXED_DT). What the game did comes back as the log's lines, the script
// records (TestRecorder.Record) and the screen's pixels.
//
//     KVGameRig game;
//     KVSceneUnitsWriter units;           // units stored as a scene stores them
//     ...
//     game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
//     game.WriteScript("film.lua", "Film = {}\n"
//                                  "function Film.OnVideoEnd() TestRecorder.Record('end') end\n");
//     ASSERT_TRUE(game.Start());
//     game.StepUntil([&] { return !game.Records().empty(); }, 200);
//     EXPECT_EQ(game.Pixel(4, 4), 0xFFFF0000u);
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KVPakWriter.h"
#include "KVProjectClassWriter.h"
#include "KVProjectFileWriter.h"
#include "KVPropertiesBlockWriter.h"
#include "KVTestSupport.h"
#include "kernel/IKVModule.h"

namespace kvl {
class KVUnit;
} // namespace kvl

namespace kvtest {

class KVGameRig {
public:
    static constexpr uint64_t kProjectId = 0x00C0FFEE12345678ull;

    struct Options {
        // The screen the platform reports (the headless buffer's size).
        int32_t width = 64;
        int32_t height = 48;
        // Every frame's time, in milliseconds.
        int32_t frameMs = 20;
        // SDL's audio driver ("dummy" mixes in real time without output,
        // "disk" writes what it mixes to a file).
        std::string audioDriver = "dummy";
        // SDL's video driver ("dummy" draws off-screen; "x11" opens a
        // window on the X display DISPLAY names).
        std::string videoDriver = "dummy";
        // The project's version, as the current editor writes it: its 2D
        // anchors read as stored (projects up to 0x10005 store them
        // inverted, so an unstored anchor would pin units to the right and
        // bottom edges).
        uint32_t projectVersion = 0x10006;
    };

    KVGameRig();
    explicit KVGameRig(const Options& options);
    // Shuts the program down as it ends, and leaves the directory.
    ~KVGameRig();
    KVGameRig(const KVGameRig&) = delete;
    KVGameRig& operator=(const KVGameRig&) = delete;

    // The game directory (the working directory while the game runs) and
    // its asset root ("<dir>/assets/").
    const std::string& Directory() const { return m_directory; }
    const std::string& Root() const { return m_root; }

    // Files of the game, before Start (a path relative to the asset root).
    void WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes) const;
    void WriteText(const std::string& relative, const std::string& text) const;
    // A file of the game as it now is ("" when there is none).
    std::string ReadText(const std::string& relative) const;
    // A script under "assets/script/"; every script there loads with the
    // project.
    void WriteScript(const std::string& relative, const std::string& content) const;
    // A pak of the game, "paks/<name>.kvpak" with its entries stored or
    // compressed (paths as the project directory names them), named in the
    // pak descriptor Start writes: loaded with the project (the pak layer
    // keeps those until the project has loaded, while the scripts load), or
    // else only when a script asks (KVPak.LoadPak(name)).
    void AddPak(const std::string& name, KVPakWriter files, bool compressed, bool withProject);
    // A kvl of the project, in a group of its own named after the path,
    // loaded at start unless told otherwise; its index among the kvls.
    int32_t AddScene(const std::string& path, const std::vector<uint8_t>& bytes, bool atStart = true);
    // The project, its properties and class table, written by Start.
    KVProjectFileWriter& Project() { return m_project; }
    KVPropertiesBlockWriter& Properties() { return m_properties; }
    KVProjectClassWriter& Classes() { return m_classes; }
    // A line added to a section of config.ini ("Key=Value").
    void Config(const std::string& section, const std::string& line);
    // An extension module of the test's own, registered after the
    // platform's (before Start): a recording device face, say, with a
    // priority above the platform device's so that it answers first.
    void AddModule(kvl::KVModuleCreator creator) { m_modules.push_back(creator); }

    // Writes config.ini and the project and starts the program on them:
    // true when the project loaded and the core runs.
    bool Start();
    // Whole frames: the core's step, then its render.
    void Step(int32_t frames = 1);
    // Steps until `done` holds (checked before every frame) or `maxFrames`
    // have run: whether it held.
    bool StepUntil(const std::function<bool()>& done, int32_t maxFrames);
    // Frames stepped since Start.
    int32_t Frames() const { return m_frames; }
    // The game's time since Start, in seconds (frames times the frame time).
    double Seconds() const { return m_frames * (m_options.frameMs / 1000.0); }

    // Texts scripts gave TestRecorder.Record, in order.
    std::vector<std::string>& Records();
    // Every line the log received since the rig was made, and the lines
    // that contain a text.
    const std::vector<std::string>& Log() const;
    size_t CountLog(const std::string& part) const;
    // Script errors the binding reported (the error hook's texts).
    const std::vector<std::string>& ScriptErrors() const;

    // The pointer as a player moves it, in device pixels: each event is
    // queued with SDL and handed to the SDL input device as the main loop
    // hands them over after a frame's picture; the next frame's step sees
    // it. Button 1 is the left one.
    void PointerMove(int32_t x, int32_t y);
    void PointerButton(bool down, int32_t x, int32_t y, uint8_t button = 1);
    // The pointer moved to the point, pressed there for a frame and
    // released for another.
    void Click(int32_t x, int32_t y, uint8_t button = 1);

    // The screen as last rendered: 0xAARRGGBB, rows from the top.
    std::vector<uint32_t> Screen();
    uint32_t Pixel(int32_t x, int32_t y);
    int32_t Width() const { return m_options.width; }
    int32_t Height() const { return m_options.height; }

    // The first unit of that name, or null.
    kvl::KVUnit* Find(const std::string& name);
    // Runs Lua in the game's state; fails the test on an error.
    void Run(const std::string& code);
    // The first value of a Lua expression as text ("nil" for none).
    std::string Eval(const std::string& expression);

private:
    Options m_options;
    TempWorkDir m_dir;
    std::string m_directory;
    std::string m_root;
    KVProjectFileWriter m_project;
    KVPropertiesBlockWriter m_properties;
    KVProjectClassWriter m_classes;
    std::vector<std::pair<std::string, std::string>> m_config;
    std::vector<kvl::KVModuleCreator> m_modules;
    std::vector<KVPakDescriptorEntry> m_paks;
    int32_t m_kvls = 0;
    int32_t m_frames = 0;
    bool m_started = false;
};

} // namespace kvtest
