// Loading a scene of 10,000 units of two classes (plain units, each with a
// child of a project class with two attributes of its own) through the
// serializer and the unit factory: the units section, every record, the
// links and the finishing passes. Each round first releases the units of
// the round before. The baseline is one IKVFile::Read of the same bytes.
// The units per second of the load alone are printed at the end.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "KVBench.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVRecordingSerializeHost.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestDiskFile.h"
#include "units/KVSerialize.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace {

constexpr uint32_t kPairs = 5000;
constexpr uint64_t kProjectId = 0x0042454E43480001ull;
constexpr uint64_t kNodeClassId = 0x0042454E43480002ull;
constexpr uint64_t kSpeedId = 0x0042454E43480003ull;
constexpr uint64_t kTitleId = 0x0042454E43480004ull;

struct SceneLoadBench {
    std::string root;
    std::string scenePath;
    std::vector<uint8_t> buffer;
    kvtest::KVTestDiskFile* files = nullptr;
    kvtest::KVRecordingSerializeHost host;
    // The engine's singletons stay until the program ends: figures after
    // this one make their own, and the last one made is the instance.
    kvl::KVSerialize& serializer = *new kvl::KVSerialize;
    kvl::KVUnitFactory& factory = *new kvl::KVUnitFactory;
    bool loaded = false;
    double bestLoad = 1e30;

    SceneLoadBench() {
        root = (std::filesystem::temp_directory_path() / ("kvbench-scene-" + std::to_string(getpid()))).string() + "/";
        std::error_code made;
        if (!std::filesystem::create_directories(root, made)) std::abort();
        scenePath = root + "scene.kvl";

        kvtest::KVSceneUnitsWriter units;
        const int32_t plain = units.AddClass(kvtest::KVSceneUnitsWriter::UnitClass());
        kvtest::KVSceneClassSpec node;
        node.classId = kNodeClassId;
        node.name = "Node";
        node.baseEntry = plain;
        node.attributes = {{kSpeedId, kvl::KVATTR_F32, 1}, {kTitleId, kvl::KVATTR_STRING, 1}};
        const int32_t nodeEntry = units.AddClass(node);
        for (uint32_t i = 0; i < kPairs; ++i) {
            units.AddUnit(plain, kvtest::KVSceneUnitsWriter::UnitValues("Unit" + std::to_string(i), 1 + 2 * uint64_t(i),
                                                                         {kvtest::KVStored::Local(2 * i + 1)}));
            std::vector<kvtest::Bytes> values =
                kvtest::KVSceneUnitsWriter::UnitValues("Node" + std::to_string(i), 2 + 2 * uint64_t(i));
            values.push_back(kvtest::KVStored::F32(float(i)));
            values.push_back(kvtest::KVStored::String("node"));
            units.AddUnit(nodeEntry, values);
        }
        const kvtest::Bytes scene = units.Scene(0x20004, kProjectId);
        buffer.resize(scene.size());
        kvtest::KVProjectFileWriter project(0x10005, kProjectId);
        project.AddKvl("scene.kvl").AddGroup("Scene", {0}, true);
        if (!project.WriteTo(root + "game.kvproj") || !kvtest::KVChunkWriter::WriteFile(scenePath, scene)) std::abort();

        files = new kvtest::KVTestDiskFile(root);
        host.projectId = kProjectId;
        serializer.SetHost(&host);
        serializer.SetFileInterface(files);
        factory.Init(0);
        factory.Init(2);
        const int32_t nodeClass = factory.CreateProjectClass("Node", factory.FindClassByName("Unit"), kNodeClassId);
        factory.AddDynamicAttribute("Speed", nodeClass, kSpeedId, kvl::KVATTR_F32, false);
        factory.AddDynamicAttribute("Title", nodeClass, kTitleId, kvl::KVATTR_STRING, false);
        if (serializer.LoadProject(root + "game.kvproj") != 0) std::abort();
        serializer.CloseFile();
        // The scene must load whole before anything is timed.
        Subject();
        if (factory.GetUnitCount() != int32_t(2 * kPairs) || factory.GetRootIndices().size() != kPairs) {
            std::fprintf(stderr, "scene benchmark: the scene did not load (%d units)\n", factory.GetUnitCount());
            std::abort();
        }
        bestLoad = 1e30;
    }

    ~SceneLoadBench() {
        std::fprintf(stderr, "KVUnitFactory: %u units in %.1f MB, %.0f units per second loaded\n", 2 * kPairs,
                     double(buffer.size()) / 1e6, bestLoad > 0 ? 2.0 * kPairs / bestLoad : 0.0);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    void Subject() {
        if (loaded) {
            factory.CloseKvlUnits(0, false);
            // A frame ends: the freed unit indices may be used again.
            factory.Update(0.0f);
        }
        const auto start = std::chrono::steady_clock::now();
        if (serializer.ReadKvlHeader(0) == 0) {
            factory.CreateSceneUnits(0);
            serializer.CloseFile();
            factory.FinishSceneLoad(0, 0);
            factory.FlushPendingEnables();
        }
        bestLoad = std::min(bestLoad, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        loaded = true;
    }

    void Baseline() {
        kvl::KVFileHandle h = nullptr;
        if (files->Open(scenePath.c_str(), kvl::KVFILE_READ, &h) != kvl::KV_OK) return;
        uint32_t got = 0;
        files->Read(h, buffer.data(), uint32_t(buffer.size()), &got);
        files->Close(h);
    }
};

SceneLoadBench& Bench() {
    return kvbench::Lazy<SceneLoadBench>();
}

kvbench::Figure SceneLoadFigure() {
    return {"KVUnitFactory loading a scene of 10,000 units of two classes (releasing the previous load first)",
            "one IKVFile::Read of the scene file", 20.0, [] { Bench().Baseline(); }, [] { Bench().Subject(); }};
}

} // namespace

KV_BENCH_FIGURE(SceneLoadFigure);
