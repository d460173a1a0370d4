#include "KVPngWriter.h"

#include <png.h>
#include <zlib.h>

namespace kvtest {

namespace {

void AppendToString(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void NoFlush(png_structp) {}

// libpng leaves this through its error jump: nothing here has a destructor.
int WriteGuarded(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return 1;
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return 0;
}

std::vector<uint8_t> PackRows(const PngImage& image, size_t rowBytes) {
    std::vector<uint8_t> packed(rowBytes * image.height, 0);
    const size_t channels = size_t(PngChannels(image.colourType));
    for (uint32_t y = 0; y < image.height; ++y) {
        uint8_t* row = &packed[y * rowBytes];
        for (size_t i = 0; i < image.width * channels; ++i) {
            const uint16_t v = image.samples[y * image.width * channels + i];
            if (image.bitDepth == 16) {
                row[2 * i] = uint8_t(v >> 8);
                row[2 * i + 1] = uint8_t(v);
            } else if (image.bitDepth == 8) {
                row[i] = uint8_t(v);
            } else {
                const size_t bit = i * size_t(image.bitDepth);
                const int shift = 8 - image.bitDepth - int(bit % 8);
                row[bit / 8] = uint8_t(row[bit / 8] | ((v & ((1 << image.bitDepth) - 1)) << shift));
            }
        }
    }
    return packed;
}

} // namespace

int PngChannels(int colourType) {
    switch (colourType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

std::string WritePng(const PngImage& image) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return out;
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToString, NoFlush);
    png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colourType,
                 image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (const auto& p : image.palette) palette.push_back(png_color{p[0], p[1], p[2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    std::vector<uint8_t> transparency = image.transparency;
    if (!transparency.empty()) png_set_tRNS(png, info, transparency.data(), int(transparency.size()), nullptr);
    if (!image.colourKey.empty()) {
        png_color_16 key{};
        key.gray = image.colourKey[0];
        key.red = image.colourKey[0];
        if (image.colourKey.size() >= 3) {
            key.green = image.colourKey[1];
            key.blue = image.colourKey[2];
        }
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    const size_t rowBytes =
        (size_t(image.width) * size_t(PngChannels(image.colourType)) * size_t(image.bitDepth) + 7) / 8;
    std::vector<uint8_t> packed = PackRows(image, rowBytes);
    std::vector<png_bytep> rows(image.height);
    for (uint32_t y = 0; y < image.height; ++y) rows[y] = packed.data() + y * rowBytes;
    const int failed = WriteGuarded(png, info, rows.data());
    png_destroy_write_struct(&png, &info);
    if (failed) out.clear();
    return out;
}

std::string PngChunk(const std::string& type, const std::string& data) {
    std::string out;
    const uint32_t length = uint32_t(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(length >> shift));
    out += type + data;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + 4), uInt(out.size() - 4));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(crc >> shift));
    return out;
}

std::string PngIhdr(uint32_t width, uint32_t height, int bitDepth, int colourType, int interlace) {
    std::string data;
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) data.push_back(char(v >> shift));
    data += {char(bitDepth), char(colourType), 0, 0, char(interlace)};
    return PngChunk("IHDR", data);
}

std::string PngIdat(const std::string& scanlines) {
    uLongf length = compressBound(uLong(scanlines.size()));
    std::string packed(length, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &length, reinterpret_cast<const Bytef*>(scanlines.data()),
              uLong(scanlines.size()), 6);
    packed.resize(length);
    return PngChunk("IDAT", packed);
}

std::string PngFile(const std::vector<std::string>& chunks) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    for (const std::string& c : chunks) out += c;
    return out + PngChunk("IEND", "");
}

std::string WritePngArgb(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels) {
    PngImage image;
    image.width = width;
    image.height = height;
    image.colourType = 6;
    for (uint32_t p : pixels) {
        image.samples.push_back(uint16_t((p >> 16) & 0xFF));
        image.samples.push_back(uint16_t((p >> 8) & 0xFF));
        image.samples.push_back(uint16_t(p & 0xFF));
        image.samples.push_back(uint16_t(p >> 24));
    }
    return WritePng(image);
}

} // namespace kvtest
