#include "KVPNGInterface.h"

#include <png.h>

#include <cstdlib>
#include <new>

namespace kvl {

namespace {

struct PNGImageHandle {
    KVFileHandle file;
    IKVFile* files;
    uint32_t format;
    uint32_t width;
    uint32_t height;
    uint32_t byteSize;
    uint8_t hasAlpha;
    png_structp png;
    png_infop info;
    uint32_t bitsPerPixel;  // 4 or 8 (palette), 24 (RGB), 32 (RGB with alpha or a colour key)
    uint32_t* palette;      // 0xAARRGGBB, 256 entries (palette images only)
};

// Every index a row can hold has an entry; those past the file's palette
// are opaque black.
constexpr int kPaletteEntries = 256;
// Largest block the library is given. Its rows and chunk buffers stay far
// below this; a damaged chunk length that asks for more fails the read
// instead of claiming gigabytes.
constexpr png_alloc_size_t kMaxLibraryBlock = png_alloc_size_t(64) << 20;

void LogOpenError(const char* text) { LogReaderError(std::string("PNG open error: ") + text); }

png_voidp AllocateArray(png_structp, png_alloc_size_t size) {
    if (size > kMaxLibraryBlock) return nullptr;
    return new (std::nothrow) uint8_t[size];
}
void FreeArray(png_structp, png_voidp block) { delete[] static_cast<uint8_t*>(block); }

// libpng leaves these through its error jump; nothing in them (or in the
// read callback below them) has a destructor to skip.
void ReadFromFile(png_structp png, png_bytep data, size_t length) {
    auto* h = static_cast<PNGImageHandle*>(png_get_io_ptr(png));
    uint32_t got = 0;
    if (length > 0xFFFFFFFFu || h->files->Read(h->file, data, uint32_t(length), &got) != KV_OK || got != length)
        png_error(png, "read error");
}

int ReadHeaderGuarded(png_structp png, png_infop info, png_uint_32* width, png_uint_32* height, int* depth,
                      int* colourType) {
    if (setjmp(png_jmpbuf(png))) return 1;
    png_read_info(png, info);
    png_get_IHDR(png, info, width, height, depth, colourType, nullptr, nullptr, nullptr);
    return 0;
}

int ReadImageGuarded(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return 1;
    png_read_image(png, rows);
    return 0;
}

void Destroy(PNGImageHandle* h) {
    std::free(h->palette);
    if (h->png) png_destroy_read_struct(&h->png, h->info ? &h->info : nullptr, nullptr);
    if (h->file) h->files->Close(h->file);
    delete h;
}

// Builds the palette of a palette image; false when it cannot be had.
bool TakePalette(PNGImageHandle* h) {
    h->palette = static_cast<uint32_t*>(std::malloc(kPaletteEntries * sizeof(uint32_t)));
    if (!h->palette) return false;
    for (int i = 0; i < kPaletteEntries; ++i) h->palette[i] = 0xFF000000u;
    png_colorp entries = nullptr;
    int count = 0;
    if (!png_get_PLTE(h->png, h->info, &entries, &count) || !entries) count = 0;
    if (count > kPaletteEntries) count = kPaletteEntries;
    for (int i = 0; i < count; ++i)
        h->palette[i] = (uint32_t(entries[i].red) << 16) | (uint32_t(entries[i].green) << 8) | entries[i].blue;
    png_bytep alpha = nullptr;
    int transparent = 0;
    if (!png_get_tRNS(h->png, h->info, &alpha, &transparent, nullptr) || !alpha) transparent = 0;
    const int withAlpha = transparent < count ? transparent : count;
    for (int i = 0; i < count; ++i) {
        const uint32_t a = i < withAlpha ? alpha[i] : 0xFFu;
        if (a != 0xFFu) h->hasAlpha = 1;
        h->palette[i] |= a << 24;
    }
    return true;
}

inline void PutPixel(uint8_t* out, uint32_t bgra) {
    out[0] = uint8_t(bgra);
    out[1] = uint8_t(bgra >> 8);
    out[2] = uint8_t(bgra >> 16);
    out[3] = uint8_t(bgra >> 24);
}

// Widens one row in place from its source layout to B, G, R, A, last pixel
// first so that no source byte is overwritten before it is used.
void ExpandRow(const PNGImageHandle* h, uint8_t* row) {
    const uint32_t width = h->width;
    switch (h->bitsPerPixel) {
    case 8:
        for (uint32_t x = width; x-- > 0;) PutPixel(row + 4 * size_t(x), h->palette[row[x]]);
        break;
    case 4:
        for (uint32_t x = width; x-- > 0;) {
            const uint8_t byte = row[x / 2];
            PutPixel(row + 4 * size_t(x), h->palette[(x & 1) ? (byte & 0x0F) : (byte >> 4)]);
        }
        break;
    case 24:
        for (uint32_t x = width; x-- > 0;) {
            const uint8_t* in = row + 3 * size_t(x);
            uint8_t* out = row + 4 * size_t(x);
            const uint8_t b = in[0], g = in[1], r = in[2];
            out[0] = b;
            out[1] = g;
            out[2] = r;
            out[3] = 0xFF;
        }
        break;
    default:
        break;
    }
}

} // namespace

IKVModuleExt* CreatePNGInterface(const KVModuleCreateInfo* info) { return KVPNGInterface::Create(info); }

int32_t KVPNGReader::QueryInterface(const KVInterfaceId& id, void** out) { return AnswerImageReader(this, id, out); }

int32_t KVPNGReader::Open(const char* path, void** outHandle) {
    if (!outHandle) return KV_FAILED;
    *outHandle = nullptr;
    IKVFile* files = m_module->QueryFile();
    KVFileHandle file = nullptr;
    if (!files || !path || files->Open(path, KVFILE_READ, &file) != KV_OK || !file) return KV_FAILED;

    png_byte signature[8];
    uint32_t got = 0;
    if (files->Read(file, signature, 8, &got) != KV_OK || got != 8 || png_sig_cmp(signature, 0, 8) != 0) {
        files->Close(file);
        LogOpenError("not a valid png file");
        return KV_FAILED;
    }
    files->Seek(file, 0, 0);

    auto* h = new PNGImageHandle{};
    h->file = file;
    h->files = files;
    // The version of the library this build compiles against.
    h->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr, nullptr, AllocateArray,
                                      FreeArray);
    if (h->png) h->info = png_create_info_struct(h->png);
    if (!h->png || !h->info) {
        Destroy(h);
        LogOpenError("not a valid png file");
        return KV_FAILED;
    }
    png_set_read_fn(h->png, h, ReadFromFile);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0;
    if (ReadHeaderGuarded(h->png, h->info, &width, &height, &depth, &colourType) != 0) {
        Destroy(h);
        return KV_FAILED;
    }
    const char* refusal = nullptr;
    if (depth != 8 && depth != 4) {
        refusal = "unsupported png bit depth";
    } else if (colourType == PNG_COLOR_TYPE_PALETTE) {
        h->bitsPerPixel = uint32_t(depth);
        if (!TakePalette(h)) {
            Destroy(h);
            return KV_FAILED;
        }
    } else if (colourType == PNG_COLOR_TYPE_RGB_ALPHA) {
        h->bitsPerPixel = 32;
        h->hasAlpha = 1;
    } else if (colourType == PNG_COLOR_TYPE_RGB && png_get_valid(h->png, h->info, PNG_INFO_tRNS)) {
        // A colour key: libpng turns it into an alpha channel, the keyed
        // colour transparent and every other one opaque.
        png_set_tRNS_to_alpha(h->png);
        h->bitsPerPixel = 32;
        h->hasAlpha = 1;
    } else if (colourType == PNG_COLOR_TYPE_RGB) {
        h->bitsPerPixel = 24;
    } else {
        refusal = "png type is not supported (not rgb or rgb+alpha)";
    }
    // The pixels must be countable in the 32-bit byte size.
    if (!refusal && uint64_t(width) * height * 4 > 0xFFFFFFFFull) refusal = "image too large";
    if (refusal) {
        Destroy(h);
        LogOpenError(refusal);
        return KV_FAILED;
    }
    png_set_bgr(h->png);
    h->format = KVTEXFMT_BGRA;
    h->width = width;
    h->height = height;
    h->byteSize = width * height * 4;
    *outHandle = h;
    return KV_OK;
}

int32_t KVPNGReader::Close(void* handle) {
    if (handle) Destroy(static_cast<PNGImageHandle*>(handle));
    return KV_OK;
}

int32_t KVPNGReader::GetInfo(void* handle, KVImageInfo* info) {
    auto* h = static_cast<PNGImageHandle*>(handle);
    if (!h || !info) return KV_FAILED;
    *info = KVImageInfo{};
    info->format = h->format;
    info->width = h->width;
    info->height = h->height;
    info->byteSize = h->byteSize;
    info->hasAlpha = h->hasAlpha;
    return KV_OK;
}

int32_t KVPNGReader::Read(void* handle, void* buffer, uint32_t size) {
    auto* h = static_cast<PNGImageHandle*>(handle);
    // The whole image is written, so the buffer must hold all of it.
    if (!h || !buffer || size < h->byteSize) return KV_FAILED;
    auto* rows = static_cast<png_bytepp>(std::malloc(size_t(h->height ? h->height : 1) * sizeof(png_bytep)));
    if (!rows) return KV_FAILED;
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < h->height; ++i) rows[i] = out + size_t(i) * h->width * 4;
    const int failed = ReadImageGuarded(h->png, rows);
    std::free(rows);
    if (failed) return KV_FAILED;
    for (uint32_t i = 0; i < h->height; ++i) ExpandRow(h, out + size_t(i) * h->width * 4);
    return KV_OK;
}

} // namespace kvl
