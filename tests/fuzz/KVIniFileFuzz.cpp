// Ini texts from untrusted bytes, as the memory-block reader takes them (a
// u32 length, then the text): every section and key is then read back by
// name and by position.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "kernel/KVIniFile.h"

namespace {

std::string Block(const std::string& text) {
    uint32_t n = uint32_t(text.size());
    std::string out(reinterpret_cast<const char*>(&n), 4);
    return out + text;
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    seeds->emplace_back("config", Block("; comment\n[STARTUP]\nKVPROJ=game.kvproj\n\n[General]\nFIXED_DT=20\r\n"));
    seeds->emplace_back("awkward", Block("before=1\n[a]\n=blank\nkey = value ; not a comment\n[a]\nkey=second\n[b"));
    seeds->emplace_back("numbers", Block("[n]\ni=-2147483649\nf=1e400\nh=0x10\n"));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(data, data + size);
    kvl::KVIniFile* ini = new kvl::KVIniFile();
    if (ini->ParseMemory(block.data(), uint32_t(block.size())) == 0) {
        for (int32_t s = 0; s < ini->GetSectionCount(); ++s) {
            const std::string& section = ini->GetSectionName(s);
            for (int32_t k = 0; k < ini->GetKeyCount(s); ++k) {
                const std::string key = ini->GetEntry(s, k).key;
                (void)ini->GetString(section, key);
                (void)ini->GetInt(section, key);
                (void)ini->GetFloatAt(s, k);
            }
            (void)ini->GetStringAt(s, ini->GetKeyCount(s));  // one past the end
        }
    }
    ini->Release();
    return 0;
}
