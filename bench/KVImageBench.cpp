// Image decoding: the engine's JPEG decoder against the reference codec's
// accurate integer decode (no fancy upsampling, so both share chroma over a
// luma group) on 1024x768 4:2:0 files that codec encoded, baseline and
// progressive; the PNG reader against bare libpng on a 1024x768 RGBA file;
// and Downscale to 256x192 against a memcpy of its source.
// The reference codec's header needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "KVBench.h"
#include "graphics/IKVImageReader.h"
#include "graphics/KVImageUtils.h"
#include "graphics/KVJpegDecoder.h"
#include "support/KVJpegTestSupport.h"
#include "support/KVPngWriter.h"
#include "support/KVTestImageHost.h"

namespace {

constexpr uint32_t kWidth = 1024;
constexpr uint32_t kHeight = 768;

// A photograph-like picture: smooth shading, edges and fine noise.
std::vector<uint8_t> Picture(int channels) {
    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * size_t(channels));
    std::mt19937 rng(42);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            uint8_t* p = &pixels[(size_t(y) * kWidth + x) * size_t(channels)];
            const double shade = 0.5 + 0.5 * std::sin(x / 37.0) * std::cos(y / 23.0);
            const bool edge = ((x / 96) + (y / 64)) % 3 == 0;
            const int noise = int(rng() % 17) - 8;
            for (int c = 0; c < 3; ++c) {
                const double base = edge ? 40 + 60 * c : 60 + shade * (120 + 30 * c);
                p[c] = uint8_t(std::min(255.0, std::max(0.0, base + noise)));
            }
            if (channels == 4) p[3] = uint8_t(128 + 127 * shade);
        }
    return pixels;
}

std::string EncodeReference(bool progressive) {
    const std::vector<uint8_t> rgb = Picture(3);
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);  // 4:2:0
    jpeg_set_quality(&c, 85, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(c.next_scanline) * kWidth * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string file(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return file;
}

void DecodeReference(const std::string& file, std::vector<uint8_t>* image) {
    jpeg_decompress_struct d;
    jpeg_error_mgr error;
    d.err = jpeg_std_error(&error);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(file.data()), file.size());
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    d.do_fancy_upsampling = FALSE;
    d.out_color_space = JCS_EXT_RGBX;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &(*image)[size_t(d.output_scanline) * kWidth * 4];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

void DecodeEngine(const std::string& file, std::vector<uint8_t>* image) {
    kvtest::KVJpegMemoryStream stream(file);
    kvl::KVJpegDecoder decoder(&stream);
    decoder.BeginDecoding();
    uint8_t* out = image->data();
    const void* line = nullptr;
    uint32_t length = 0;
    while (decoder.Decode(&line, &length) == 0) {
        std::memcpy(out, line, length);
        out += length;
    }
}

struct JpegBench {
    std::string file;
    std::vector<uint8_t> reference = std::vector<uint8_t>(size_t(kWidth) * kHeight * 4);
    std::vector<uint8_t> engine = std::vector<uint8_t>(size_t(kWidth) * kHeight * 4);

    explicit JpegBench(bool progressive) : file(EncodeReference(progressive)) {
        DecodeReference(file, &reference);
        DecodeEngine(file, &engine);
        int worst = 0;
        for (size_t i = 0; i < engine.size(); i += 4)
            for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(engine[i + c]) - int(reference[i + c])));
        std::fprintf(stderr, "%s JPEG (%zu bytes): decoders differ by at most %d\n",
                     progressive ? "progressive" : "baseline", file.size(), worst);
        if (worst > 2) {
            std::fprintf(stderr, "the decoders disagree by more than 2\n");
            std::exit(1);
        }
    }
};

// Each set-up is made at its figure's first round, not at registration: a
// figure runs in a process of its own, with nothing of the others in it.
JpegBench& Jpeg(bool progressive) {
    if (progressive) return kvbench::Lazy<JpegBench, 1>(true);
    return kvbench::Lazy<JpegBench, 0>(false);
}

kvbench::Figure JpegFigure(bool progressive) {
    return {progressive ? "KVJpegDecoder progressive 1024x768 4:2:0" : "KVJpegDecoder baseline 1024x768 4:2:0",
            "reference integer decode", progressive ? 2.0 : 1.5,
            [progressive] {
                JpegBench& bench = Jpeg(progressive);
                DecodeReference(bench.file, &bench.reference);
            },
            [progressive] {
                JpegBench& bench = Jpeg(progressive);
                DecodeEngine(bench.file, &bench.engine);
            }};
}

kvbench::Figure BaselineJpegFigure() { return JpegFigure(false); }
kvbench::Figure ProgressiveJpegFigure() { return JpegFigure(true); }

// --- PNG -----------------------------------------------------------------------

struct MemorySource {
    const std::string* bytes;
    size_t pos;
};

void ReadMemory(png_structp png, png_bytep data, size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (source->pos + length > source->bytes->size()) png_error(png, "read error");
    std::memcpy(data, source->bytes->data() + source->pos, length);
    source->pos += length;
}

int ReadBare(png_structp png, png_infop info, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return 1;
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_image(png, rows->data());
    return 0;
}

struct PngBench {
    std::string file;
    std::vector<uint8_t> image = std::vector<uint8_t>(size_t(kWidth) * kHeight * 4);
    std::vector<png_bytep> rows = std::vector<png_bytep>(kHeight);
    kvtest::KVTestImageHost host;
    kvl::IKVImageReader* reader = nullptr;

    PngBench() {
        kvtest::PngImage png;
        png.width = kWidth;
        png.height = kHeight;
        png.colourType = 6;
        const std::vector<uint8_t> rgba = Picture(4);
        png.samples.assign(rgba.begin(), rgba.end());
        file = kvtest::WritePng(png);
        host.SetFile("picture.png", file);
        reader = host.Png();
        for (uint32_t y = 0; y < kHeight; ++y) rows[y] = &image[size_t(y) * kWidth * 4];
    }

    void Bare() {
        MemorySource source{&file, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &source, ReadMemory);
        ReadBare(png, info, &rows);
        png_destroy_read_struct(&png, &info, nullptr);
    }

    void Reader() {
        void* handle = nullptr;
        if (reader->Open("picture.png", &handle) != 0) std::abort();
        kvl::KVImageInfo info{};
        reader->GetInfo(handle, &info);
        reader->Read(handle, image.data(), info.byteSize);
        reader->Close(handle);
    }
};

PngBench& Png() {
    return kvbench::Lazy<PngBench>();
}

kvbench::Figure PngFigure() {
    return {"KVPNGInterface RGBA 1024x768", "bare png_read_image", 1.2, [] { Png().Bare(); },
            [] { Png().Reader(); }};
}

// --- Downscale ---------------------------------------------------------------------

// Made at the figure's first round, not at registration: its image
// utilities are the program-wide instance, which a whole core made by an
// earlier figure would otherwise take for its own.
struct DownscaleBench {
    std::vector<uint32_t> source = std::vector<uint32_t>(size_t(kWidth) * kHeight);
    std::vector<uint32_t> copy = std::vector<uint32_t>(size_t(kWidth) * kHeight);
    std::vector<uint32_t> small = std::vector<uint32_t>(256 * 192);
    kvl::KVImageUtils utils;
    DownscaleBench() {
        const std::vector<uint8_t> rgba = Picture(4);
        std::memcpy(source.data(), rgba.data(), rgba.size());
    }
};

DownscaleBench& Downscale() {
    return kvbench::Lazy<DownscaleBench>();
}

kvbench::Figure DownscaleFigure() {
    return {"KVImageUtils Downscale 1024x768 to 256x192", "memcpy of the source", 0.0,
            [] {
                DownscaleBench& bench = Downscale();
                std::memcpy(bench.copy.data(), bench.source.data(), bench.source.size() * 4);
            },
            [] {
                DownscaleBench& bench = Downscale();
                bench.utils.Downscale(kvl::KVImage{bench.source.data(), kWidth, kHeight, kWidth},
                                      kvl::KVImage{bench.small.data(), 256, 192, 256});
            }};
}

} // namespace

KV_BENCH_FIGURE(BaselineJpegFigure);
KV_BENCH_FIGURE(ProgressiveJpegFigure);
KV_BENCH_FIGURE(PngFigure);
KV_BENCH_FIGURE(DownscaleFigure);
