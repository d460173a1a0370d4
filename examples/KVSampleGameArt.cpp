#include "KVSampleGameArt.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "KVSampleGameLook.h"
#include "support/KVFontSheetWriter.h"
#include "support/KVPngWriter.h"

namespace kvsample {

namespace {

struct Picture {
    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels;

    Picture(int32_t w, int32_t h, uint32_t fill = 0) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
    void Set(int32_t x, int32_t y, uint32_t color) {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[size_t(y) * size_t(width) + size_t(x)] = color;
    }
};

bool Save(const std::filesystem::path& path, const Picture& p) {
    const std::string bytes = kvtest::WritePngArgb(uint32_t(p.width), uint32_t(p.height), p.pixels);
    if (bytes.empty()) return false;
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return bool(out);
}

Picture Sky() {
    Picture p(kWidth, kHeight);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) p.Set(x, y, SkyColorAt(y));
    return p;
}

// A basket: wider at the top, with a rim; the corners are transparent so
// that the alpha test leaves them out.
Picture Basket() {
    Picture p(kBasketWidth, kBasketHeight);
    for (int32_t y = 0; y < kBasketHeight; ++y) {
        const int32_t inset = y * 12 / kBasketHeight;
        for (int32_t x = inset; x < kBasketWidth - inset; ++x)
            p.Set(x, y, y < 6 || (x / 8 + y / 8) % 2 ? kBasketColor : 0xFF6E4420u);
    }
    return p;
}

// A four-pointed star on a transparent ground.
Picture Star() {
    Picture p(kStarSide, kStarSide);
    const int32_t c = kStarSide / 2;
    for (int32_t y = 0; y < kStarSide; ++y)
        for (int32_t x = 0; x < kStarSide; ++x) {
            const int32_t dx = std::abs(x - c), dy = std::abs(y - c);
            if (dx * dy <= 24 && dx + dy <= c) p.Set(x, y, kStarColor);
        }
    return p;
}

Picture Spark() {
    Picture p(kSparkSide, kSparkSide);
    const int32_t r = kSparkSide / 2;
    for (int32_t y = 0; y < kSparkSide; ++y)
        for (int32_t x = 0; x < kSparkSide; ++x)
            if ((x - r) * (x - r) + (y - r) * (y - r) <= r * r) p.Set(x, y, kSparkColor);
    return p;
}

// Five by seven letters of the button's label.
const char* Letter(char c) {
    switch (c) {
    case 'R': return "11110100011000111110101001001010001";
    case 'E': return "11111100001000011110100001000011111";
    case 'S': return "01111100001000001110000010000111110";
    case 'T': return "11111001000010000100001000010000100";
    case 'A': return "01110100011000111111100011000110001";
    case 'C': return "01111100001000010000100001000001111";
    case 'O': return "01110100011000110001100011000101110";
    case '0': return "01110100011001110101110011000101110";
    case '1': return "00100011000010000100001000010001110";
    case '2': return "01110100010000100010001000100011111";
    case '3': return "11110000010000101110000010000111110";
    case '4': return "00010001100101010010111110001000010";
    case '5': return "11111100001111000001000011000101110";
    case '6': return "00110010001000011110100011000101110";
    case '7': return "11111000010001000100010000100001000";
    case '8': return "01110100011000101110100011000101110";
    case '9': return "01110100011000101111000010001001100";
    default: return "00000000000000000000000000000000000";
    }
}

void DrawLetter(Picture* p, char c, int32_t left, int32_t top, int32_t scale, uint32_t color) {
    const char* bits = Letter(c);
    for (int32_t row = 0; row < 7; ++row)
        for (int32_t col = 0; col < 5; ++col)
            if (bits[row * 5 + col] == '1')
                for (int32_t sy = 0; sy < scale; ++sy)
                    for (int32_t sx = 0; sx < scale; ++sx) p->Set(left + col * scale + sx, top + row * scale + sy, color);
}

// The score's bitmap font: 16 cells a row from code 0x20, the glyphs
// drawn white for the text's colour to tint.
Picture FontSheet() {
    Picture p(kFontCell * 16, kFontCell * int32_t(kFontRows));
    for (const char c : std::string(kFontGlyphs)) {
        const int32_t code = int32_t(uint8_t(c)) - 0x20;
        DrawLetter(&p, c, (code % 16) * kFontCell + kFontGlyphLeft, (code / 16) * kFontCell + 2, kFontScale,
                   0xFFFFFFFFu);
    }
    return p;
}

bool SaveBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return bool(out);
}

Picture ButtonFrame(uint32_t color) {
    Picture p(kButtonWidth, kButtonHeight, color);
    for (int32_t x = 0; x < kButtonWidth; ++x)
        for (int32_t y : {0, 1, kButtonHeight - 2, kButtonHeight - 1}) p.Set(x, y, 0xFFFFFFFFu);
    for (int32_t y = 0; y < kButtonHeight; ++y)
        for (int32_t x : {0, 1, kButtonWidth - 2, kButtonWidth - 1}) p.Set(x, y, 0xFFFFFFFFu);
    const std::string label = "RESTART";
    constexpr int32_t kScale = 4;
    const int32_t left = (kButtonWidth - int32_t(label.size()) * 6 * kScale) / 2;
    const int32_t top = (kButtonHeight - 7 * kScale) / 2;
    for (size_t i = 0; i < label.size(); ++i)
        DrawLetter(&p, label[i], left + int32_t(i) * 6 * kScale, top, kScale, 0xFFFFFFFFu);
    return p;
}

// Each glyph's columns inside its cell; the space is as wide as a glyph.
std::string FontBoxes() {
    std::map<uint8_t, std::pair<uint8_t, uint8_t>> boxes;
    const uint8_t first = uint8_t(kFontGlyphLeft), last = uint8_t(kFontGlyphLeft + 5 * kFontScale);
    for (const char c : std::string(kFontGlyphs)) boxes[uint8_t(c)] = {first, last};
    boxes[' '] = {first, last};
    return kvtest::FontBoxFile(boxes);
}

} // namespace

bool WriteArt(const std::filesystem::path& assets) {
    const std::filesystem::path images = assets / "images";
    std::filesystem::create_directories(images);
    return Save(images / "sky.png", Sky()) && Save(images / "basket.png", Basket()) &&
           Save(images / "star.png", Star()) && Save(images / "spark.png", Spark()) &&
           Save(images / "restart_n.png", ButtonFrame(kButtonColors[0])) &&
           Save(images / "restart_p.png", ButtonFrame(kButtonColors[1])) &&
           Save(images / "restart_h.png", ButtonFrame(kButtonColors[2])) && Save(images / "font.png", FontSheet()) &&
           SaveBytes(images / "font.kvfontbbox", FontBoxes());
}

} // namespace kvsample
