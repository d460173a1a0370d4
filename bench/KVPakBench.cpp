// Reading every entry of two paks of a few thousand files (mixed sizes from
// 16 bytes to 64 KB; one pak stored, one zlib-compressed, half the files in
// each) through the pak layer's IKVFile, against producing the same bytes
// straight from memory: memcpy for the stored files, zlib's uncompress for
// the compressed ones.
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "KVBench.h"
#include "kernel/KVPak.h"
#include "support/KVPakWriter.h"
#include "support/KVTestDiskFile.h"

namespace {

constexpr int kFiles = 3000;
constexpr size_t kLargest = 64 * 1024;

struct PakBench {
    struct File {
        std::string path;        // as the engine asks for it
        std::string content;
        std::string compressed;  // zlib stream, for compressed files
        bool packed = false;
    };

    std::string dir;
    std::vector<File> files;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kLargest);
    kvtest::KVTestDiskFile* platform = nullptr;
    kvl::KVPak* pak = nullptr;
    kvl::IKVFile* file = nullptr;
    size_t bytes = 0;

    PakBench() {
        std::string templ = (std::filesystem::temp_directory_path() / "kvbench-pak-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        dir = templ;
        std::string project = dir + "/game/";
        std::filesystem::create_directories(project + "paks");

        std::mt19937 rng(1234);
        std::uniform_real_distribution<double> logSize(std::log(16.0), std::log(double(kLargest)));
        kvtest::KVPakWriter stored, packed;
        const char* kinds[] = {"png", "ogg", "lua", "kvl", "txt"};
        for (int i = 0; i < kFiles; ++i) {
            File f;
            std::string relative = "data/set" + std::to_string(i % 37) + "/file" + std::to_string(i) + "." + kinds[i % 5];
            size_t size = size_t(std::exp(logSize(rng)));
            f.content.resize(size);
            // Text-like bytes from a small alphabet with runs, so that zlib
            // has something to do in both directions.
            for (size_t k = 0; k < size; ++k) f.content[k] = char('a' + (rng() % 16 < 12 ? rng() % 6 : rng() % 26));
            f.packed = i % 2 == 1;
            if (f.packed) {
                uLongf length = compressBound(uLong(size));
                f.compressed.resize(length);
                compress2(reinterpret_cast<Bytef*>(&f.compressed[0]), &length,
                          reinterpret_cast<const Bytef*>(f.content.data()), uLong(size), 6);
                f.compressed.resize(length);
                packed.Add(relative, f.content);
            } else {
                stored.Add(relative, f.content);
            }
            f.path = project + relative;
            bytes += size;
            files.push_back(std::move(f));
        }
        Write(project + "paks/stored.kvpak", stored.Build(false));
        Write(project + "paks/packed.kvpak", packed.Build(true));
        Write(project + "paks/paks.kvpakdesc",
              kvtest::BuildPakDescriptor({{"stored", true, false, ""}, {"packed", true, true, ""}}));

        platform = new kvtest::KVTestDiskFile(dir + "/");
        pak = new kvl::KVPak();
        pak->SetPlatformFile(platform);
        pak->SetBasePath(project);
        file = pak;
        if (pak->GetLoadedPakCount() != 2) {
            std::fprintf(stderr, "pak benchmark: paks did not load\n");
            std::abort();
        }
        // Every entry must come back as written before anything is timed.
        for (const File& f : files) {
            if (ReadThroughPak(f) != f.content.size() || std::memcmp(buffer.data(), f.content.data(), f.content.size()) != 0) {
                std::fprintf(stderr, "pak benchmark: %s read back wrong\n", f.path.c_str());
                std::abort();
            }
        }
    }

    ~PakBench() {
        std::fprintf(stderr, "KVPak: %d files, %.1f MB, half of them compressed\n", kFiles, double(bytes) / 1e6);
        delete pak;
        delete platform;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }

    uint32_t ReadThroughPak(const File& f) {
        kvl::KVFileHandle h = nullptr;
        if (file->Open(f.path.c_str(), kvl::KVFILE_READ, &h) != kvl::KV_OK) return 0;
        uint32_t got = 0;
        file->Read(h, buffer.data(), file->GetSize(h), &got);
        file->Close(h);
        return got;
    }

    void Subject() {
        for (const File& f : files) ReadThroughPak(f);
    }

    void Baseline() {
        for (const File& f : files) {
            if (f.packed) {
                uLongf length = uLongf(buffer.size());
                uncompress(buffer.data(), &length, reinterpret_cast<const Bytef*>(f.compressed.data()),
                           uLong(f.compressed.size()));
            } else {
                std::memcpy(buffer.data(), f.content.data(), f.content.size());
            }
        }
    }
};

PakBench& Bench() {
    return kvbench::Lazy<PakBench>();
}

kvbench::Figure PakReadFigure() {
    return {"KVPak reading every entry through IKVFile", "uncompress and memcpy from memory", 1.5,
            [] { Bench().Baseline(); }, [] { Bench().Subject(); }};
}

} // namespace

KV_BENCH_FIGURE(PakReadFigure);
