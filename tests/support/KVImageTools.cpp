#include "KVImageTools.h"

#include <png.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kvtest {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The next whitespace-separated header word of a PNM file (comments
// skipped); the position moves past it.
std::string NextWord(const std::string& bytes, size_t* pos) {
    for (;;) {
        while (*pos < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[*pos]))) ++*pos;
        if (*pos < bytes.size() && bytes[*pos] == '#') {
            while (*pos < bytes.size() && bytes[*pos] != '\n') ++*pos;
            continue;
        }
        break;
    }
    std::string word;
    while (*pos < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[*pos]))) word += bytes[(*pos)++];
    return word;
}

// A binary PPM (P6) or PGM (P5) of 8-bit samples to B, G, R, A.
bool ParsePnm(const std::string& bytes, KVReferenceImage* out) {
    size_t pos = 0;
    const std::string magic = NextWord(bytes, &pos);
    if (magic != "P6" && magic != "P5") return false;
    const uint32_t width = uint32_t(std::stoul("0" + NextWord(bytes, &pos)));
    const uint32_t height = uint32_t(std::stoul("0" + NextWord(bytes, &pos)));
    const uint32_t maximum = uint32_t(std::stoul("0" + NextWord(bytes, &pos)));
    ++pos;  // the one whitespace byte before the samples
    const size_t channels = magic == "P6" ? 3 : 1;
    if (maximum != 255 || bytes.size() < pos + size_t(width) * height * channels) return false;
    out->width = width;
    out->height = height;
    out->bgra.resize(size_t(width) * height * 4);
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        const auto* s = reinterpret_cast<const uint8_t*>(bytes.data() + pos + i * channels);
        const uint8_t r = s[0], g = s[channels == 3 ? 1 : 0], b = s[channels == 3 ? 2 : 0];
        uint8_t* d = &out->bgra[i * 4];
        d[0] = b;
        d[1] = g;
        d[2] = r;
        d[3] = 0xFF;
    }
    return true;
}

struct PngSource {
    const std::string* bytes;
    size_t pos;
};

void ReadPngBytes(png_structp png, png_bytep data, size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->bytes->size() - source->pos < length) png_error(png, "short file");
    std::memcpy(data, source->bytes->data() + source->pos, length);
    source->pos += length;
}

// Kept apart from the objects with destructors: libpng leaves it by its
// error jump.
bool DecodeGuarded(png_structp png, png_infop info, KVReferenceImage* out, int* bitDepth, int* colourType,
                   std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    if (bitDepth) *bitDepth = depth;
    if (colourType) *colourType = type;
    png_set_expand(png);  // palettes, low grey depths and colour keys
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "unexpected row size");
    out->width = width;
    out->height = height;
    out->bgra.assign(size_t(width) * height * 4, 0);
    rows->resize(height);
    for (png_uint_32 y = 0; y < height; ++y) (*rows)[y] = out->bgra.data() + size_t(y) * width * 4;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    return true;
}

} // namespace

KVImageTools::KVImageTools() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvimagetools-XXXXXX").string();
    if (::mkdtemp(pattern.data())) m_dir = pattern;
}

KVImageTools::~KVImageTools() {
    std::error_code ec;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
}

bool KVImageTools::Has(const std::string& program) {
    return std::system(("command -v " + Quoted(program) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string KVImageTools::Convert() {
    // The distribution's own name first.
    for (const char* name : {"convert-im6.q16", "convert"})
        if (Has(name)) return name;
    return {};
}

std::string KVImageTools::Path(const std::string& name) const { return m_dir + "/" + name; }

void KVImageTools::Put(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Path(name), std::ios::binary);
    out << bytes;
}

std::string KVImageTools::Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool KVImageTools::Run(const std::string& command) const {
    if (m_dir.empty()) return false;
    return std::system(("cd " + Quoted(m_dir) + " && " + command + " 2>/dev/null").c_str()) == 0;
}

std::string KVImageTools::Ppm(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
    std::ostringstream out;
    out << "P6\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
    return out.str();
}

std::string KVImageTools::Pam(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba) {
    std::ostringstream out;
    out << "P7\nWIDTH " << width << "\nHEIGHT " << height << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    out.write(reinterpret_cast<const char*>(rgba.data()), std::streamsize(rgba.size()));
    return out.str();
}

bool KVImageTools::Djpeg(const std::string& jpeg, KVReferenceImage* out) const {
    Put("reference-in.jpg", jpeg);
    if (!Run("djpeg -dct int -nosmooth -pnm -outfile reference-out.pnm reference-in.jpg")) return false;
    return ParsePnm(Get("reference-out.pnm"), out);
}

std::vector<uint8_t> TexturedRgb(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            // Ramps in three directions, and a hard-edged square grid.
            const bool cell = ((x / 5) + (y / 3)) % 2 == 0;
            rgb.push_back(uint8_t(x * 255 / (width > 1 ? width - 1 : 1)));
            rgb.push_back(uint8_t(cell ? 220 - (y * 7) % 200 : 30 + (y * 5) % 90));
            rgb.push_back(uint8_t((x * 3 + y * 11) % 256));
        }
    return rgb;
}

bool DecodePngWithLibpng(const std::string& png, KVReferenceImage* out, int* bitDepth, int* colourType) {
    png_structp reader = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!reader) return false;
    png_infop info = png_create_info_struct(reader);
    PngSource source{&png, 0};
    std::vector<png_bytep> rows;
    bool ok = false;
    if (info) {
        png_set_read_fn(reader, &source, ReadPngBytes);
        ok = DecodeGuarded(reader, info, out, bitDepth, colourType, &rows);
    }
    png_destroy_read_struct(&reader, info ? &info : nullptr, nullptr);
    return ok;
}

} // namespace kvtest
