// Texture-pak descriptors from untrusted bytes: read as start-up reads
// "sprpaks/paks.desc", then every pak looked up for images, sheets and
// names, loaded and unloaded, and everything let go.
#include <cstdint>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "graphics/KVTexturePak.h"
#include "kernel/KVPath.h"
#include "support/KVMemoryFile.h"
#include "support/KVTexturePakWriter.h"

namespace {

kvtest::PakImageSpec Image(const std::string& name, uint32_t page, int32_t left, int32_t top) {
    kvtest::PakImageSpec image;
    image.name = name;
    image.page = page;
    image.rect = {left, top, left + 8, top + 8};
    image.offsetX = 1;
    image.offsetY = -1;
    image.width = 10;
    image.height = 9;
    return image;
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    kvtest::PakSpec ui;
    ui.name = "ui";
    ui.pageCount = 2;
    ui.images = {Image("sprites/hero", 0, 0, 0), Image("sprites/foe", 1, 8, 0)};
    kvtest::PakSheetSpec sheet;
    sheet.name = "fonts/big";
    sheet.width = 64;
    sheet.height = 16;
    sheet.subImages = {{0, {0, 0, 4, 8}, 1}, {1, {4, 0, 8, 8}, 2}, {0, {8, 0, 12, 8}, 0}};
    sheet.index = {2, -1, 0, 1};
    ui.sheets = {sheet};
    kvtest::PakSpec lazy;
    lazy.name = "lazy";
    lazy.loadMode = 0;
    lazy.images = {Image("sprites/hero", 0, 16, 16)};
    kvtest::PakSpec manual;
    manual.name = "manual";
    manual.loadMode = 2;
    manual.extension = "jpg";
    seeds->emplace_back("empty", kvtest::WritePaksDesc({}));
    seeds->emplace_back("one", kvtest::WritePaksDesc({ui}));
    seeds->emplace_back("three", kvtest::WritePaksDesc({lazy, ui, manual}));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVMemoryFile files;
    files.SetFile("sprpaks/paks.desc", data, size);
    kvl::SetProjectDirectory("");
    kvl::KVTexturePak paks;
    paks.SetFileInterface(&files);
    paks.LoadDescriptor();
    const char* names[] = {"sprites/hero.png", "sprites/foe.png", "fonts/big.png", "a", "", "s.png"};
    for (const char* name : names) {
        kvl::KVPakImage image;
        kvl::KVPakSheet sheet;
        paks.FindImage(name, &image);
        paks.FindSheet(name, &sheet);
        paks.Exists(name);
    }
    for (size_t i = 0; i < paks.GetPakCount(); ++i) {
        const std::string name = paks.GetPakName(i);
        paks.LoadPakByName(name);
        paks.UnloadPakByName(name);
    }
    paks.UnloadAll();
    return 0;
}
