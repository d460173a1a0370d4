// Loading a mesh file of 100,000 vertices in 20 submeshes through the
// resource manager, the "kv3d" reader and the mesh data producer (a device
// that keeps nothing, capability word 0), against one IKVFile::Read of the
// same bytes into a buffer.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KVBench.h"
#include "kernel/KVResources.h"
#include "support/KV3DWriter.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVTestDiskFile.h"
#include "units3d/KV3DData.h"
#include "units3d/KV3DDataProducer.h"
#include "units3d/KV3DFileReader.h"

namespace {

constexpr uint32_t kSubmeshes = 20;
constexpr uint32_t kVerticesEach = 5000;

struct MeshLoadBench {
    std::string dir;
    std::string path;
    std::vector<uint8_t> buffer;
    kvtest::KVTestDiskFile* files = nullptr;
    kvtest::KVRecording3DDevice device;
    kvl::KVResources resources;
    kvl::KV3DFileReader reader;
    kvl::KV3DDataProducer producer;

    MeshLoadBench() {
        // The manager lowers letters of paths outside the project directory,
        // so the directory's own name has none to lower.
        dir = (std::filesystem::temp_directory_path() / ("kvbench-mesh-" + std::to_string(getpid()))).string() + "/";
        for (char& c : dir) c = char(std::tolower(static_cast<unsigned char>(c)));
        std::error_code made;
        if (!std::filesystem::create_directories(dir, made)) std::abort();
        path = dir + "mesh.kv3d";

        kvtest::KV3DWriterMesh mesh;
        mesh.hasGeometry = true;
        mesh.materials.resize(2);
        for (uint32_t s = 0; s < kSubmeshes; ++s) {
            std::vector<uint16_t> indices;
            for (uint32_t i = 0; i + 2 < kVerticesEach; ++i) {
                indices.push_back(uint16_t(i));
                indices.push_back(uint16_t(i + 1));
                indices.push_back(uint16_t(i + 2));
            }
            mesh.submeshes.push_back(
                kvtest::KV3DWriter::PlainSubmesh("part" + std::to_string(s), kVerticesEach, indices, s % 2));
        }
        const std::vector<uint8_t> bytes = kvtest::KV3DWriter::Build(mesh);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        buffer.resize(bytes.size());

        files = new kvtest::KVTestDiskFile(dir);
        resources.SetFileInterface(files);
        resources.SetEditorModeOverride(false);
        resources.Init(0);
        resources.Init(2);
        kvl::KV3DFileReader::Register(&resources, files);
        producer.SetDevice(&device);
        // The mesh must load whole before anything is timed.
        kvl::KV3DData* data = Load();
        if (!data || data->submeshes.size() != kSubmeshes || data->submeshes[0].vertexCount != kVerticesEach) {
            std::fprintf(stderr, "mesh benchmark: the mesh did not load\n");
            std::abort();
        }
        data->Release();
    }

    ~MeshLoadBench() {
        std::fprintf(stderr, "KV3DData: %u vertices in %u submeshes, %.1f MB\n", kSubmeshes * kVerticesEach, kSubmeshes,
                     double(buffer.size()) / 1e6);
        delete files;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    kvl::KV3DData* Load() {
        kvl::IKVResource* out = nullptr;
        resources.Load(path.c_str(), &producer, nullptr, &out, 0);
        device.ClearCalls();
        return static_cast<kvl::KV3DData*>(out);
    }

    // Released at once, so every round reads the file again.
    void Subject() {
        if (kvl::KV3DData* data = Load()) data->Release();
    }

    void Baseline() {
        kvl::KVFileHandle h = nullptr;
        if (files->Open(path.c_str(), kvl::KVFILE_READ, &h) != kvl::KV_OK) return;
        uint32_t got = 0;
        files->Read(h, buffer.data(), uint32_t(buffer.size()), &got);
        files->Close(h);
    }
};

MeshLoadBench& Bench() {
    return kvbench::Lazy<MeshLoadBench>();
}

kvbench::Figure MeshLoadFigure() {
    return {"KV3DData loading a 100,000-vertex mesh file through the resource manager",
            "one IKVFile::Read of the file", 2.0, [] { Bench().Baseline(); }, [] { Bench().Subject(); }};
}

} // namespace

KV_BENCH_FIGURE(MeshLoadFigure);
