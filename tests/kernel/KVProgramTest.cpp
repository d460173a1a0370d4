// The real program, started in a temporary game directory as a person would
// start it: no test hooks, SDL's dummy drivers, and what it leaves in its
// files, on standard error and in its exit status.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/KVLuaChunkWriter.h"
#include "support/KVProgramRunner.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVPropertiesBlockWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSupport.h"

namespace {

namespace fs = std::filesystem;
using kvtest::KVProgramResult;
using kvtest::KVProgramRunner;

constexpr uint64_t kProjectId = 0x00A1B2C3D4E5F607ull;
constexpr uint64_t kLoadAnimator = 0x003471247D5E3310ull;
constexpr uint64_t kNeedSoundDevice = 0x001D90A67E3277C9ull;
// Long enough for a slow (sanitizer) build; a hang takes all of it.
constexpr double kLimit = 20.0;

// A game: one scene, an application script, optionally a loading screen.
struct Game {
    std::string config;  // config.ini
    std::string app = "function Application.OnProjectLoaded() log('exiting') KVCore.Exit() end\n";
    std::string loader;  // the loading screen script, none when empty
    std::vector<std::pair<std::string, std::string>> scripts;  // more files under script/
};

std::vector<uint8_t> ProjectBytes(bool withLoader) {
    kvtest::KVPropertiesBlockWriter properties(0x10005);
    properties.AddBoolean(kNeedSoundDevice, 0);
    if (withLoader) properties.AddString(kLoadAnimator, "loader.lua");
    kvtest::KVProjectFileWriter project(0x10005, kProjectId);
    project.AddKvl("scenes/main.kvl").AddGroup("main", {0}, true).Append(properties.Build());
    return project.Build();
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(kvtest::KVChunkWriter::WriteFile(path.string(), bytes));
}

void WriteText(const fs::path& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void WriteGame(const fs::path& dir, const Game& game) {
    const fs::path assets = dir / "assets";
    WriteText(assets / "config.ini", game.config);
    WriteBytes(assets / "game.kvproj", ProjectBytes(!game.loader.empty()));
    WriteBytes(assets / "scenes" / "main.kvl", kvtest::KVSceneUnitsWriter().Scene(0x20004, kProjectId));
    WriteText(assets / "script" / "app.lua", game.app);
    if (!game.loader.empty()) WriteText(assets / "loader.luac", game.loader);
    for (const auto& script : game.scripts) WriteText(assets / "script" / script.first, script.second);
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

std::string Describe(const KVProgramResult& r) {
    return "exited " + std::to_string(r.exited) + " status " + std::to_string(r.status) + " signal " +
           std::to_string(r.signal) + " hung " + std::to_string(r.hung) + "\nstderr:\n" + r.err;
}

// ---- script errors --------------------------------------------------------

struct ScriptErrorCase {
    const char* name;
    std::string file;       // the script that fails
    std::string content;
    std::string app;        // replaces the application script when set
    std::string location;   // what the report names
};

std::vector<ScriptErrorCase> ScriptErrorCases() {
    std::string compiled = kvtest::CompileLuaChunk("broken = true", "=broken");
    return {
        {"syntax error", "bad.lua", "x = = 1\n", "", "script/bad.lua:1:"},
        {"error in OnProjectLoaded", "", "",
         "function Application.OnProjectLoaded()\n  log('exiting')\n  KVCore.Exit()\n  error('boom')\nend\n",
         "script/app.lua:4: boom"},
        {"corrupt compiled script", "bad.luac", compiled.substr(0, compiled.size() / 2), "", "script/bad.luac"},
    };
}

TEST(KVProgram, ScriptErrorsReachLogluaOnlyWhenAskedAndTheGameStillEnds) {
    for (const ScriptErrorCase& c : ScriptErrorCases()) {
        for (bool report : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (report ? ", reported" : ", not reported"));
            kvtest::TempWorkDir dir;
            Game game;
            game.config = "[General]\nLogOnDisk=1\n" + std::string(report ? "[Script]\nLogOnDisk=1\n" : "");
            if (!c.app.empty()) game.app = c.app;
            if (!c.file.empty()) game.scripts.push_back({c.file, c.content});
            WriteGame(dir.Path(), game);

            KVProgramResult r = KVProgramRunner::Run(dir.Path(), kLimit);
            ASSERT_TRUE(r.exited) << Describe(r);
            EXPECT_EQ(r.status, 0) << Describe(r);
            // Ended by KVCore.Exit from "OnProjectLoaded".
            const std::string log = dir.ReadFile("assets/log.txt");
            EXPECT_EQ(Count(log, "LUA  : exiting\r\n"), 1u) << log;
            EXPECT_EQ(Count(log, c.location), 0u) << log;
            if (report) {
                const std::string loglua = dir.ReadFile("assets/loglua.txt");
                EXPECT_EQ(Count(loglua, c.location), 1u) << loglua;
                EXPECT_EQ(loglua.substr(loglua.size() - 2), "\r\n");
            } else {
                EXPECT_FALSE(dir.Exists("assets/loglua.txt"));
            }
        }
    }
}

// A person who runs the game headless sees nothing on standard error but
// what the engine says: SDL's drivers (the dummy ones here) are opened as
// named, no other is probed on the way.
TEST(KVProgram, AGameThatEndsWellSaysNothingOnStandardError) {
    kvtest::TempWorkDir dir;
    Game game;
    game.config = "[General]\nLogOnDisk=1\n";
    WriteGame(dir.Path(), game);
    KVProgramResult r = KVProgramRunner::Run(dir.Path(), kLimit);
    ASSERT_TRUE(r.exited) << Describe(r);
    EXPECT_EQ(r.status, 0) << Describe(r);
    EXPECT_EQ(Count(dir.ReadFile("assets/log.txt"), "LUA  : exiting\r\n"), 1u);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
}

// ---- failed starts --------------------------------------------------------

TEST(KVProgram, AFailedStartSaysWhyOnStandardErrorAndExitsWithOne) {
    const std::vector<uint8_t> good = ProjectBytes(false);
    std::mt19937 random(7);
    std::vector<uint8_t> noise(300);
    for (uint8_t& b : noise) b = uint8_t(random());
    kvtest::KVPropertiesBlockWriter properties(0x10005);
    properties.AddBoolean(kNeedSoundDevice, 0);
    kvtest::KVProjectFileWriter newer(0x10005, kProjectId);
    newer.AddKvl("scenes/main.kvl").AddGroup("main", {0}, true).Append(properties.Build());
    newer.Append({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0});  // unit section of version 2

    struct Case {
        const char* name;
        std::vector<uint8_t> project;  // none when empty
        std::string config;
    };
    const std::vector<Case> cases = {
        {"no project", {}, ""},
        {"truncated project", std::vector<uint8_t>(good.begin(), good.begin() + 20), ""},
        {"random bytes", noise, ""},
        {"missing KVPROJ target", good, "[STARTUP]\nKVPROJ=missing.kvproj\n"},
        {"newer permanent-unit section", newer.Build(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kvtest::TempWorkDir dir;
        fs::create_directories(fs::path(dir.Path()) / "assets");
        if (!c.project.empty()) WriteBytes(fs::path(dir.Path()) / "assets" / "game.kvproj", c.project);
        if (!c.config.empty()) WriteText(fs::path(dir.Path()) / "assets" / "config.ini", c.config);
        WriteText(fs::path(dir.Path()) / "assets" / "script" / "app.lua",
                  "function Application.OnProjectLoaded() KVCore.Exit() end\n");

        KVProgramResult r = KVProgramRunner::Run(dir.Path(), kLimit);
        ASSERT_FALSE(r.hung) << Describe(r);
        ASSERT_TRUE(r.exited) << Describe(r);
        EXPECT_EQ(r.status, 1) << Describe(r);
        EXPECT_EQ(Count(r.err, "ERR  : Unable to load "), 1u) << Describe(r);
    }
}

// ---- log files that cannot be written -------------------------------------

TEST(KVProgram, ALogThatCannotBeWrittenIsSaidOnceOnStandardErrorAndTheGameGoesOn) {
    kvtest::TempWorkDir dir;
    Game game;
    game.config = "[General]\nLogOnDisk=1\n[Script]\nLogOnDisk=1\n";
    game.app = "function Application.OnProjectLoaded()\n"
               "  for i = 1, 5 do log('line ' .. i) end\n"
               "  KVLog.Log(1, 2, 3, 4, 5, 6)\n"
               "  KVCore.Exit()\n"
               "end\n";
    game.scripts.push_back({"bad.lua", "x = = 1\n"});
    game.scripts.push_back({"worse.lua", "y = = 2\n"});
    WriteGame(dir.Path(), game);
    // Directories where the files would be.
    fs::create_directories(fs::path(dir.Path()) / "assets" / "log.txt");
    fs::create_directories(fs::path(dir.Path()) / "assets" / "loglua.txt");

    KVProgramResult r = KVProgramRunner::Run(dir.Path(), kLimit);
    ASSERT_TRUE(r.exited) << Describe(r);
    EXPECT_EQ(r.status, 0) << Describe(r);
    EXPECT_EQ(Count(r.err, "log.txt: cannot write: "), 1u) << r.err;
    EXPECT_EQ(Count(r.err, "loglua.txt: cannot write: "), 1u) << r.err;
    EXPECT_NE(r.err.find("cannot write: Is a directory"), std::string::npos) << r.err;
}

// ---- termination ----------------------------------------------------------

// A game that never ends by itself, behind a short loading screen.
Game EndlessGame() {
    Game game;
    game.app = "function Application.OnProjectLoaded() log('running') end\n";
    game.loader = "n = 0\nfunction OnAnimatorInit() end\n"
                  "function OnAnimatorUpdate(dt) n = n + 1 if n >= 10 then KVLoadAnimator.Exit() end end\n";
    return game;
}

TEST(KVProgram, SigtermAtAnyMomentEndsTheProgramWithAFullShutdown) {
    kvtest::TempWorkDir dir;
    std::mt19937 random(2024);
    constexpr int kRuns = 50;
    constexpr int kAtOnce = 10;
    for (int first = 0; first < kRuns; first += kAtOnce) {
        std::vector<std::unique_ptr<KVProgramRunner>> runners;
        std::vector<int> delays;
        for (int i = first; i < first + kAtOnce; ++i) {
            const fs::path game = fs::path(dir.Path()) / ("game" + std::to_string(i));
            WriteGame(game, EndlessGame());
            runners.push_back(std::make_unique<KVProgramRunner>(game.string()));
            ASSERT_TRUE(runners.back()->Start());
            delays.push_back(int(random() % 400));
        }
        // Each one once its own handler is in place (before that the
        // signal's default would end it), then after a random delay: in the
        // start-up, the loading screen or the loop.
        for (size_t i = 0; i < runners.size(); ++i) ASSERT_TRUE(runners[i]->WaitUntilSignalsAreCaught(kLimit));
        std::vector<size_t> order(runners.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return delays[a] < delays[b]; });
        int waited = 0;
        for (size_t i : order) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delays[i] - waited));
            waited = delays[i];
            runners[i]->Signal(SIGTERM);
        }
        // Every run is watched at once, so each end is timed from its own signal.
        std::vector<KVProgramResult> results(runners.size());
        std::vector<bool> ended(runners.size(), false);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(int(kLimit));
        size_t left = runners.size();
        while (left > 0 && std::chrono::steady_clock::now() < deadline) {
            for (size_t i = 0; i < runners.size(); ++i)
                if (!ended[i] && runners[i]->Poll(&results[i])) ended[i] = true, --left;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (size_t i = 0; i < runners.size(); ++i) {
            SCOPED_TRACE("run " + std::to_string(first + int(i)) + ", SIGTERM after " + std::to_string(delays[i]) +
                         " ms");
            if (!ended[i]) results[i] = runners[i]->Wait(0.0);
            const KVProgramResult& r = results[i];
            ASSERT_FALSE(r.hung) << Describe(r);
            EXPECT_TRUE(r.exited) << Describe(r);
            EXPECT_EQ(r.status, 0) << Describe(r);
            // Only a hang is timed: how soon it ends depends on the machine.
            EXPECT_LT(r.seconds, kLimit) << Describe(r);
        }
    }
}

// A script that never gives control back: SIGINT and SIGTERM still end the
// program, through its whole shutdown, wherever the script loops.
TEST(KVProgram, AQuitSignalEndsTheProgramWhileAScriptLoops) {
    // Written just before the loop: the signal then finds the script in it.
    const std::string looping = "local f = KVFileManager.Open('looping.txt', 'w') f:WriteLine('x') f:Close()\n";
    struct Case {
        const char* name;
        std::string app;     // the application script
        std::string loader;  // the loading screen script, none when empty
        bool marked;         // writes looping.txt before it loops
    };
    const std::vector<Case> cases = {
        {"an event", "function Application.OnProjectLoaded()\n" + looping + "while true do end\nend\n", "", true},
        {"a coroutine its resumer waits for",
         "function Application.OnProjectLoaded()\n" + looping +
             "coroutine.wrap(function()\n"
             "  coroutine.resume(coroutine.create(function() while true do end end))\n"
             "  while true do end\n"
             "end)()\n"
             "end\n",
         "", true},
        {"a loop that catches every error",
         "function Application.OnProjectLoaded()\n" + looping +
             "while true do pcall(function() while true do end end) end\nend\n",
         "", true},
        {"a script's main chunk, while the project loads", looping + "while true do end\n", "", true},
        {"the loading screen", "function Application.OnProjectLoaded() end\n",
         "function OnAnimatorInit() end\nfunction OnAnimatorUpdate(dt) while true do end end\n", false},
    };
    kvtest::TempWorkDir dir;
    struct Run {
        std::string name;
        fs::path game;
        int signal;
        bool marked;
        std::unique_ptr<KVProgramRunner> runner;
    };
    std::vector<Run> runs;
    for (const Case& c : cases) {
        for (int signal : {SIGINT, SIGTERM}) {
            Run run{std::string(c.name) + (signal == SIGINT ? ", SIGINT" : ", SIGTERM"),
                    fs::path(dir.Path()) / ("game" + std::to_string(runs.size())), signal, c.marked, nullptr};
            Game game;
            game.config = "[General]\nLogOnDisk=1\n";
            game.app = c.app;
            game.loader = c.loader;
            WriteGame(run.game, game);
            run.runner = std::make_unique<KVProgramRunner>(run.game.string());
            ASSERT_TRUE(run.runner->Start());
            runs.push_back(std::move(run));
        }
    }
    for (Run& run : runs) {
        SCOPED_TRACE(run.name);
        ASSERT_TRUE(run.runner->WaitUntilSignalsAreCaught(kLimit));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(int(kLimit));
        while (run.marked && !fs::exists(run.game / "assets" / "looping.txt") &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(!run.marked || fs::exists(run.game / "assets" / "looping.txt")) << "the script never looped";
    }
    // Looping for a while first.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (Run& run : runs) run.runner->Signal(run.signal);
    for (Run& run : runs) {
        SCOPED_TRACE(run.name);
        // Only a hang is timed: how soon it ends depends on the machine.
        const KVProgramResult r = run.runner->Wait(kLimit);
        ASSERT_FALSE(r.hung) << Describe(r);
        EXPECT_TRUE(r.exited) << Describe(r);
        EXPECT_EQ(r.status, 0) << Describe(r);
    }
}

TEST(KVProgram, NothingDrawnLeavesTheProcessorIdle) {
    kvtest::TempWorkDir dir;
    Game game = EndlessGame();
    game.config = "[General]\nLogOnDisk=1\n";
    WriteGame(dir.Path(), game);
    KVProgramRunner runner(dir.Path());
    ASSERT_TRUE(runner.Start());
    ASSERT_TRUE(runner.WaitUntilSignalsAreCaught(kLimit));
    // The loop runs once the project is loaded; start-up (SDL, the GL
    // driver compiling its shaders) costs what the machine makes it cost
    // and is left out: only a window after it is measured.
    const auto loaded = std::chrono::steady_clock::now() + std::chrono::seconds(int(kLimit));
    while (Count(dir.ReadFile("assets/log.txt"), "LUA  : running") == 0 &&
           std::chrono::steady_clock::now() < loaded)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_LT(std::chrono::steady_clock::now(), loaded) << "the loop never started";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // Headless (no window on screen) nothing is seen: the loop gives its time
    // back instead of spinning at a whole core. A busy machine only makes the
    // loop turn less often; a spinning one takes most of the window. Each
    // frame's clear is carried out (the off-screen buffer is flushed at every
    // swap), which under the sanitizer alone comes near a quarter of a core:
    // half a core still tells idling from spinning.
    const auto from = std::chrono::steady_clock::now();
    const double cpuFrom = runner.CpuSecondsSoFar();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuTo = runner.CpuSecondsSoFar();
    const double window = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    runner.Signal(SIGTERM);
    KVProgramResult r = runner.Wait(kLimit);
    ASSERT_TRUE(r.exited) << Describe(r);
    ASSERT_GE(cpuFrom, 0.0);
    ASSERT_GE(cpuTo, cpuFrom);
    EXPECT_LT(cpuTo - cpuFrom, window * 0.5) << "of " << window << " s\n" << Describe(r);
}

} // namespace
