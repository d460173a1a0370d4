#pragma once
// Helpers of the text-unit tests: the DejaVu Sans font written as an asset,
// the named fields of a table a script call answers, and the colour a unit
// of a class gets from a scene record of a given file version.
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace kvl {
class KVUnit;
}

namespace kvtest {

class KVTestCoreHost;

constexpr const char* kDejaVuSansPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Fonts of the Debian font packages the tests use (scripts/packages.txt),
// each drawing the characters its own way: DejaVu's U+FEFF is empty,
// Liberation's and FreeFont's are a visible box, the monospaced ones give
// every character a full advance.
struct KVTestFont {
    const char* name;  // an identifier
    const char* path;
};
const std::vector<KVTestFont>& TestFonts();
// The bytes of a font file (empty when it is not installed).
std::string FontBytes(const char* path);
// Writes a font as assets/<asset> under the host's root; false when the
// font is not installed.
bool WriteFont(KVTestCoreHost& host, const char* path, const std::string& asset);

// The font's bytes (empty when the font is not installed).
std::string DejaVuSansBytes();
// Writes the font as assets/dejavusans.ttf under the host's root; false when
// the font is not installed.
bool WriteDejaVuSans(KVTestCoreHost& host);

// The fields of the table `call` answers, as numbers joined by commas;
// "none" when it answers nothing.
std::string ScriptFields(KVTestCoreHost& host, const std::string& call, const std::vector<std::string>& keys);

// A colour stored in a scene file of a version and the colour it loads as.
struct KVStoredColourCase {
    const char* name;
    uint32_t file;
    uint32_t stored;
    uint32_t loaded;
};
inline void PrintTo(const KVStoredColourCase& c, std::ostream* out) { *out << c.name; }
struct KVStoredColourCaseName {
    template <class Info>
    std::string operator()(const Info& info) const {
        return info.param.name;
    }
};

// Loads a scene of a file version holding one unit "U" of the class (on
// the base unit class) with the colour stored; what `colourOf` reads from
// the unit then, or 0 with `ok` false when the scene does not load.
uint32_t LoadStoredColour(uint64_t classId, const char* className, uint64_t colourId, uint32_t fileVersion,
                          uint32_t stored, const std::function<uint32_t(kvl::KVUnit*)>& colourOf, bool* ok);

} // namespace kvtest
