// 640 x 480 frames of an Ogg Theora movie (60 frames of a moving pattern)
// through KVTheoraDecoder::DecodeVideo from the first frame to the last,
// each frame handed to the OpenGL ES device's 16-bit texture (YUV 4:2:0 to
// RGB565, then the upload), against libtheora's own decoder alone
// (th_decode_packetin, th_decode_ycbcr_out) on the same packets, taken out
// of the file beforehand. Both count CPU time on the calling thread: the
// movie's reader fills its ring on a thread of its own.
//
// Where the time goes (llvmpipe, this machine): the decoding itself costs
// the same through libtheora's legacy calls as through its own (about
// 1.26 ms a frame); the device's conversion to RGB565, one table lookup per
// lane and pixel, adds about 1.1 ms a frame; taking the pages out of the
// reader's ring, and the caches the conversion evicts, about 0.4 ms.
#include <theora/theoradec.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "KVBench.h"
#include "KVBenchGL.h"
#include "graphics/IKVTexture.h"
#include "kernel/KVThreadFactory.h"
#include "media/KVTheoraDecoder.h"
#include "support/KVMemoryFile.h"
#include "support/movies/KVOggMovieWriter.h"

namespace {

constexpr const char* kPath = "movies/pattern640.ogg";

void Fail(const char* why) {
    std::fprintf(stderr, "Theora benchmark: %s\n", why);
    std::abort();
}

std::vector<uint8_t> ReadFixture() {
    std::ifstream in(std::string(KV_MOVIE_DIR) + "/" + kvtest::kMovieBenchFixture, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The Theora packets of a file: headers, then frames, with their bytes kept.
struct Packets {
    std::vector<std::vector<uint8_t>> bytes;
    std::vector<ogg_packet> packets;

    explicit Packets(const std::vector<uint8_t>& file) {
        ogg_sync_state sync;
        ogg_sync_init(&sync);
        char* buffer = ogg_sync_buffer(&sync, long(file.size()));
        std::copy(file.begin(), file.end(), buffer);
        ogg_sync_wrote(&sync, long(file.size()));
        ogg_stream_state stream;
        bool started = false;
        ogg_page page;
        while (ogg_sync_pageout(&sync, &page) == 1) {
            if (!started) {
                ogg_stream_init(&stream, ogg_page_serialno(&page));
                started = true;
            }
            if (ogg_stream_pagein(&stream, &page) != 0) continue;
            ogg_packet packet;
            while (ogg_stream_packetout(&stream, &packet) == 1) {
                bytes.emplace_back(packet.packet, packet.packet + packet.bytes);
                packets.push_back(packet);
            }
        }
        if (started) ogg_stream_clear(&stream);
        ogg_sync_clear(&sync);
        for (size_t i = 0; i < packets.size(); ++i) packets[i].packet = bytes[i].data();
    }
};

// Shows each frame through the device's texture, as a sprite's own texture
// of format 2048 takes it.
class TextureHost : public kvl::IKVTheoraHost {
public:
    explicit TextureHost(kvl::IKVTexture* texture) : m_texture(texture) {}
    int32_t CreateFrameSurface(uint32_t, uint32_t) override { return 0; }
    void ShowFrame(const kvl::KVTheoraFrame& frame) override {
        const uint8_t* planes[3] = {frame.y, frame.cb, frame.cr};
        const int32_t strides[3] = {frame.lumaStride, frame.chromaStride, frame.chromaStride};
        if (m_texture->CopyPixels(nullptr, planes, strides) == 0) ++shown;
    }
    void ReleaseFrameSurface() override {}
    bool CreateSound(uint32_t, uint32_t) override { return false; }
    void ReleaseSound() override {}
    uint32_t GetSoundPosition() override { return 0; }
    void AdvanceSoundPosition(int32_t) override {}

    uint32_t shown = 0;

private:
    kvl::IKVTexture* m_texture;
};

struct TheoraBench {
    kvl::KVThreadFactory threads;
    std::vector<uint8_t> file = ReadFixture();
    Packets demuxed{file};
    th_info info;
    th_comment comment;
    th_setup_info* setup = nullptr;
    size_t firstFrame = 0;
    kvl::IKVTexture* texture = nullptr;
    std::unique_ptr<TextureHost> host;
    kvtest::KVMemoryFile files;
    std::unique_ptr<kvl::KVTheoraDecoder> decoder;
    uint32_t sink = 0;

    TheoraBench() {
        if (file.empty()) Fail("no movie fixture");
        th_info_init(&info);
        th_comment_init(&comment);
        while (firstFrame < demuxed.packets.size() &&
               th_decode_headerin(&info, &comment, &setup, &demuxed.packets[firstFrame]) > 0)
            ++firstFrame;
        if (!setup || info.frame_width != 640 || info.frame_height != 480) Fail("unexpected headers");

        kvl::KVTextureDesc desc;
        desc.format = kvl::KVTEXFMT_RGB565;
        desc.width = info.frame_width;
        desc.height = info.frame_height;
        if (kvbench::SharedGLDevice().CreateTexture(&desc, &texture) != 0 || !texture) Fail("no texture");
        host = std::make_unique<TextureHost>(texture);
        files.SetFile(kPath, file);
        decoder = std::make_unique<kvl::KVTheoraDecoder>(host.get(), &files);
        decoder->SetLoop(false);
        decoder->SetNoSound(true);
        if (decoder->Open(kPath) != kvl::KV_OK) Fail("the engine cannot open the movie");
        // Both decode every frame of the movie.
        Engine();
        const uint32_t engineFrames = host->shown;
        if (engineFrames != kvtest::kMovieBenchFrames || Plain() != engineFrames) Fail("frame counts differ");
    }

    ~TheoraBench() {
        decoder->Close(false);
        decoder.reset();
        texture->Release();
        th_setup_free(setup);
        th_comment_clear(&comment);
        th_info_clear(&info);
    }

    uint32_t Plain() {
        th_dec_ctx* context = th_decode_alloc(&info, setup);
        uint32_t frames = 0;
        for (size_t i = firstFrame; i < demuxed.packets.size(); ++i) {
            ogg_int64_t granule = 0;
            if (th_decode_packetin(context, &demuxed.packets[i], &granule) != 0) continue;
            th_ycbcr_buffer picture;
            if (th_decode_ycbcr_out(context, picture) == 0) {
                sink += picture[0].data[0];
                ++frames;
            }
        }
        th_decode_free(context);
        return frames;
    }

    void Engine() {
        host->shown = 0;
        decoder->Rewind();
        while (!decoder->VideoEnded()) decoder->DecodeVideo(true);
    }
};

TheoraBench& Bench() {
    return kvbench::Lazy<TheoraBench>();
}

kvbench::Figure TheoraFigure() {
    kvbench::Figure f{"KVTheoraDecoder::DecodeVideo of 60 640x480 frames into the device's RGB565 texture",
                      "th_decode_packetin and th_decode_ycbcr_out on the same packets", 1.5,
                      [] { Bench().Plain(); }, [] { Bench().Engine(); }};
    f.threadCpuTime = true;
    return f;
}

} // namespace

KV_BENCH_FIGURE(TheoraFigure);
