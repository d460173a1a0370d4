#include "KVPakFileFuzz.h"

#include <string>

#include "KVMemoryFile.h"
#include "KVPakWriter.h"
#include "kernel/KVDirectoryWalk.h"
#include "kernel/KVPak.h"

namespace kvtest {
namespace {

using namespace kvl;

constexpr const char* kBase = "game/";
// Files read whole of one walk: the walk itself is the engine's, bounded by
// its own depth and by each folder being entered once.
constexpr size_t kMaxFiles = 64;

KVPakWriter StoredPak() {
    KVPakWriter w;
    w.Add("a.txt", "hello").Add("dir/x.txt", "x").Add("dir/y.bin", std::string(3000, 'y')).Add("empty", "");
    return w;
}

KVPakWriter PackedPak() {
    KVPakWriter w;
    w.Add("a", "1").Add("a/b", "22").Add("ab", "333").Add("deep/er/f.png", std::string(70000, 'q'));
    return w;
}

// Directory names of slashes, dots, wildcards and NULs, sibling lists that
// repeat a character: the shape of a directory a walk could go round in.
KVPakWriter KnottedPak() {
    const std::string star(std::string("*") + '\0');
    KVPakWriter w;
    w.Add("a", "1").Add("?/b", "2").Add(star + "/.//c", "3");
    for (const char* tail : {"//////x", "//////x", "/./x", "/.//x", "//../y"}) w.AddUnshared(star + tail, "4");
    return w;
}

std::vector<uint8_t> Bytes(uint8_t mode, const std::string& file) {
    std::string out = char(mode) + file;
    return std::vector<uint8_t>(out.begin(), out.end());
}

void ReadWhole(KVPak& pak, const std::string& path) {
    KVFileHandle h = nullptr;
    if (pak.Open(path.c_str(), KVFILE_READ, &h) != KV_OK || !h) return;
    const uint32_t size = pak.GetSize(h);
    uint8_t buffer[4099];
    for (int i = 0; i < 64 && !pak.IsEOF(h); ++i) {
        uint32_t got = 0;
        if (pak.Read(h, buffer, sizeof buffer, &got) != KV_OK || got == 0) break;
    }
    uint32_t got = 0;
    pak.Seek(h, int32_t(size / 2), 0);
    pak.Read(h, buffer, 100, &got);
    pak.Seek(h, 1, 0);
    pak.Seek(h, 10, 1);
    pak.Read(h, buffer, 10, &got);
    pak.Seek(h, 5, 2);
    pak.Read(h, buffer, 10, &got);
    pak.Tell(h);
    pak.Close(h);
}

// Walks the game directory as the engine walks its script folder and its
// resources, reading the files it meets.
void Walk(KVPak& pak) {
    size_t files = 0;
    KVDirectoryWalk::Walk(&pak, kBase, [&](const std::string& sub, const FileFindData& data) {
        if (++files <= kMaxFiles) ReadWhole(pak, kBase + sub + data.name);
    });
}

} // namespace

void KVFuzzPakFile(const uint8_t* data, size_t size) {
    if (size < 1) return;
    const uint8_t mode = data[0];
    std::vector<uint8_t> file(data + 1, data + size);
    const std::string paks = std::string(kBase) + "paks/";
    KVMemoryFile files;
    KVPak pak;
    pak.SetPlatformFile(&files);
    if (mode & 1) {
        KVPakWriter stored = StoredPak(), packed = PackedPak();
        const std::string storedFile = stored.Build(false), packedFile = packed.Build(true);
        files.SetFile(paks + "main.kvpak", reinterpret_cast<const uint8_t*>(storedFile.data()), storedFile.size());
        files.SetFile(paks + "level.kvpak", reinterpret_cast<const uint8_t*>(packedFile.data()), packedFile.size());
        files.SetFile(paks + "paks.kvpakdesc", std::move(file));
        pak.SetBasePath(kBase);
        pak.LoadScenePaks("Level1");
        for (size_t i = 0; i < pak.GetDescriptorRecords().size() && i < 4; ++i) pak.LoadPakFile(int32_t(i), false);
    } else {
        const std::string descriptor = BuildPakDescriptor({{"main", false, (mode & 2) != 0, ""}});
        files.SetFile(paks + "paks.kvpakdesc", reinterpret_cast<const uint8_t*>(descriptor.data()),
                      descriptor.size());
        files.SetFile(paks + "main.kvpak", std::move(file));
        pak.SetBasePath(kBase);
        pak.LoadPakFile(0, false);
    }
    Walk(pak);
    pak.ReleaseTemporaryPaks();
    while (pak.GetLoadedPakCount() > 0) pak.UnloadPakAt(0);
}

std::vector<std::vector<uint8_t>> KVPakFileSeeds() {
    KVPakWriter stored = StoredPak(), packed = PackedPak(), empty, knotted = KnottedPak();
    return {
        Bytes(0, knotted.Build(false)),
        Bytes(0, stored.Build(false)),
        Bytes(2, stored.Build(true)),
        Bytes(2, packed.Build(true)),
        Bytes(0, empty.Build(false)),
        Bytes(1, BuildPakDescriptor({{"main", true, false, ""}, {"level", false, true, "Level1"}})),
        Bytes(1, BuildPakDescriptor({{"level", true, true, ""}, {"missing", true, false, ""}}, 0)),
    };
}

} // namespace kvtest
