// Pak archives and pak descriptors from untrusted bytes. The first byte picks
// what the rest is: bit 0 a descriptor, else a pak file whose entries are
// stored (bit 1 clear) or compressed (bit 1 set). A pak that passes its
// check is then walked every way the pak layer walks one: every entry looked
// up, read whole in pieces, read after seeks forward and back, and listed.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "kernel/KVPakArchive.h"
#include "kernel/KVTypes.h"
#include "support/KVPakWriter.h"

namespace {

constexpr size_t kMaxEntries = 64;
constexpr size_t kMaxListed = 4096;

void ReadEntry(const kvl::KVPakArchive& archive, const kvl::PakFileRecord& record) {
    kvl::KVPakEntry entry;
    if (!entry.Open(archive, record)) return;
    std::vector<uint8_t> buffer(4099);
    uint32_t total = 0;
    // Whole, in odd pieces; a damaged stream stops the read.
    for (int i = 0; i < 256; ++i) {
        uint32_t got = 0;
        int32_t status = entry.Read(buffer.data(), uint32_t(buffer.size()), &got);
        total += got;
        if (status != kvl::KV_OK || got == 0) break;
    }
    (void)total;
    entry.SeekTo(int64_t(record.size) / 2);
    uint32_t got = 0;
    entry.Read(buffer.data(), 100, &got);
    entry.SeekTo(1);
    entry.Read(buffer.data(), 10, &got);
    entry.SeekTo(-5);
    entry.SeekTo(int64_t(record.size) + 5);
    entry.Read(buffer.data(), 10, &got);
}

void Walk(const kvl::KVPakArchive& archive) {
    size_t entries = 0;
    archive.ForEachEntry([&](const std::string& path, const kvl::PakFileRecord& record) {
        if (++entries > kMaxEntries) return;
        kvl::PakFileRecord found;
        if (archive.Lookup(path.data(), path.size(), &found)) ReadEntry(archive, found);
        ReadEntry(archive, record);
    });
    for (const char* pattern : {"*", "*.txt", "?*", "a*/*", "*a*"}) {
        kvl::KVPakArchive::ListState state;
        std::string name;
        bool directory = false;
        for (size_t n = 0; n < kMaxListed && archive.ListNext(&state, pattern, &name, &directory); ++n) {
        }
    }
    archive.Lookup("a", 1, nullptr);
    archive.Lookup("dir/x.txt", 9, nullptr);
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    kvtest::KVPakWriter simple;
    simple.Add("a.txt", "hello").Add("dir/x.txt", "x").Add("dir/y.bin", std::string(3000, 'y')).Add("empty", "");
    kvtest::KVPakWriter nested;
    nested.Add("a", "1").Add("a/b", "22").Add("ab", "333").Add("deep/er/still/f.png", std::string(70000, 'q'));
    kvtest::KVPakWriter empty;
    for (bool compressed : {false, true}) {
        char mode = compressed ? 2 : 0;
        std::string suffix = compressed ? "-compressed" : "-stored";
        seeds->emplace_back("simple" + suffix, mode + simple.Build(compressed));
        seeds->emplace_back("nested" + suffix, mode + nested.Build(compressed));
        seeds->emplace_back("empty" + suffix, mode + empty.Build(compressed));
    }
    seeds->emplace_back("descriptor", char(1) + kvtest::BuildPakDescriptor({{"main", true, false, ""},
                                                                            {"level", false, true, "Level1"}}));
    seeds->emplace_back("descriptor-empty", char(1) + kvtest::BuildPakDescriptor({}, 0));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode & 1) {
        std::vector<kvl::PakDescriptorRecord> records;
        kvl::KVPakArchive::ParseDescriptor(data, size, &records);
        return 0;
    }
    if (!kvl::KVPakArchive::CheckHead(data, size)) return 0;
    kvl::KVPakArchive archive((mode & 2) != 0);
    uint32_t bodySize = uint32_t(size - kvl::KVPakArchive::kHeadSize);
    if (!archive.Allocate(bodySize)) return 0;
    if (bodySize) std::memcpy(archive.Body(), data + kvl::KVPakArchive::kHeadSize, bodySize);
    if (archive.Validate()) Walk(archive);
    return 0;
}
