#include "KVTextUnitSupport.h"

#include <fstream>
#include <iterator>

#include "KVSceneUnitsWriter.h"
#include "KVTestCoreHost.h"
#include "KVTestSceneGame.h"
#include "units/KVAttributeDesc.h"
#include "units/KVUnit.h"

namespace kvtest {

const std::vector<KVTestFont>& TestFonts() {
    static const std::vector<KVTestFont> fonts = {
        {"DejaVuSans", kDejaVuSansPath},
        {"DejaVuSansMono", "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"},
        {"LiberationSans", "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"},
        {"LiberationMono", "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf"},
        {"FreeSans", "/usr/share/fonts/truetype/freefont/FreeSans.ttf"},
        {"FreeMono", "/usr/share/fonts/truetype/freefont/FreeMono.ttf"},
    };
    return fonts;
}

std::string FontBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteFont(KVTestCoreHost& host, const char* path, const std::string& asset) {
    const std::string bytes = FontBytes(path);
    if (bytes.empty()) return false;
    host.Dir().WriteFile("assets/" + asset, bytes);
    return true;
}

std::string DejaVuSansBytes() { return FontBytes(kDejaVuSansPath); }

bool WriteDejaVuSans(KVTestCoreHost& host) { return WriteFont(host, kDejaVuSansPath, "dejavusans.ttf"); }

std::string ScriptFields(KVTestCoreHost& host, const std::string& call, const std::vector<std::string>& keys) {
    std::string joined = "''";
    for (const std::string& key : keys) joined += (joined == "''" ? ".." : "..','..") + std::string("t.") + key;
    const std::string described =
        host.Describe("(function(t) if t == nil then return 'none' end return " + joined + " end)(" + call + ")");
    return described.compare(0, 7, "string ") == 0 ? described.substr(7) : described;
}

uint32_t LoadStoredColour(uint64_t classId, const char* className, uint64_t colourId, uint32_t fileVersion,
                          uint32_t stored, const std::function<uint32_t(kvl::KVUnit*)>& colourOf, bool* ok) {
    *ok = false;
    KVSceneUnitsWriter units(0x10002);
    const int32_t unitEntry = units.AddClass(KVSceneUnitsWriter::UnitClass());
    KVSceneClassSpec recipe;
    recipe.classId = classId;
    recipe.name = className;
    recipe.baseEntry = unitEntry;
    recipe.attributes = {{colourId, kvl::KVATTR_COLOR, 1}};
    const int32_t entry = units.AddClass(recipe);
    units
        .AddUnit(entry, {KVStored::OldString("U"), KVStored::OldValue(KVStored::U32(0x22), true),
                         KVStored::OldValue(KVStored::Bool(true), true), KVStored::OldLinks({}),
                         KVStored::OldValue(KVStored::U64(5), true), KVStored::OldValue(KVStored::U32(stored), true)})
        .version = 0x10004;
    KVTestSceneGame game(0x10004);
    game.AddScene("scenes/colour.kvl", units.Scene(fileVersion, KVTestSceneGame::kProjectId, true));
    if (game.Load() != 0 || !game.Errors().empty()) return 0;
    kvl::KVUnit* unit = game.Find("U");
    if (!unit) return 0;
    *ok = true;
    return colourOf(unit);
}

} // namespace kvtest
