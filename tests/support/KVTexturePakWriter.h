#pragma once
// Writes texture-pak descriptors ("sprpaks/paks.desc"): the header, then per
// pak its 64-byte record and its table block (image sizes, offsets,
// rectangles, page indices, sheets, index lists, y offsets, names). The
// page images themselves are ordinary PNG files (KVPngWriter).
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

struct PakRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct PakImageSpec {
    std::string name;  // relative to the data root, without extension
    uint32_t page = 0;
    PakRect rect;
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    uint32_t width = 0;  // full, untrimmed size
    uint32_t height = 0;
};

struct PakSubImageSpec {
    uint32_t page = 0;
    PakRect rect;
    uint8_t yOffset = 0;
};

struct PakSheetSpec {
    std::string name;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<PakSubImageSpec> subImages;
    std::vector<int32_t> index;  // -1: unused number
};

struct PakSpec {
    std::string name;
    std::string extension = "png";
    uint8_t loadMode = 0;  // 0 on demand, 1 at start-up, other: only through LoadPak
    uint32_t pageCount = 1;
    std::vector<PakImageSpec> images;
    std::vector<PakSheetSpec> sheets;
};

// The whole descriptor.
std::string WritePaksDesc(const std::vector<PakSpec>& paks);

// Byte offsets inside a written descriptor, for tests that damage fields.
constexpr size_t kPaksHeaderSize = 16;
constexpr size_t kPakRecordSize = 64;

} // namespace kvtest
