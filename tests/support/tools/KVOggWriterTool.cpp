// Writes an Ogg Vorbis file to standard output, for test fixtures:
//   kvtest_oggwriter RATE CHANNELS FRAMES [headers]
// The sound is a rising sweep, a different one on each channel, so that no
// stretch of it repeats. "headers" writes the three header packets only.
// A program of its own: the encoder's library and the engine's decoder
// export the same function names and cannot share one process.
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool WritePage(const ogg_page& page) {
    return std::fwrite(page.header, 1, size_t(page.header_len), stdout) == size_t(page.header_len) &&
           std::fwrite(page.body, 1, size_t(page.body_len), stdout) == size_t(page.body_len);
}

// Sample `frame` of `channel`: a sweep from 200 Hz upwards at half scale.
float Sweep(long frame, int channel, long rate) {
    const double t = double(frame) / double(rate);
    const double start = 200.0 + 150.0 * channel;
    const double phase = 2.0 * M_PI * (start * t + 120.0 * t * t);
    return float(0.5 * std::sin(phase));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RATE CHANNELS FRAMES [headers]\n", argv[0]);
        return 2;
    }
    const long rate = std::atol(argv[1]);
    const int channels = std::atoi(argv[2]);
    const long frames = std::atol(argv[3]);
    const bool headersOnly = argc > 4 && std::strcmp(argv[4], "headers") == 0;
    if (rate <= 0 || channels <= 0 || channels > 8 || frames < 0) return 2;

    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.4f) != 0) return 3;
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x4b56);  // a fixed serial: the same input gives the same file

    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &commentHeader);
    ogg_stream_packetin(&stream, &codeHeader);
    ogg_page page;
    bool ok = true;
    while (ok && ogg_stream_flush(&stream, &page) != 0) ok = WritePage(page);

    if (!headersOnly) {
        const long step = 1024;
        long done = 0;
        bool ended = false;
        bool last = false;
        while (ok && !ended && !last) {
            const long n = frames - done < step ? frames - done : step;
            if (n > 0) {
                float** buffer = vorbis_analysis_buffer(&dsp, int(n));
                for (long i = 0; i < n; ++i)
                    for (int c = 0; c < channels; ++c) buffer[c][i] = Sweep(done + i, c, rate);
                vorbis_analysis_wrote(&dsp, int(n));
                done += n;
            } else {
                vorbis_analysis_wrote(&dsp, 0);  // the end of the stream
                last = true;
            }
            while (ok && vorbis_analysis_blockout(&dsp, &block) == 1) {
                vorbis_analysis(&block, nullptr);
                vorbis_bitrate_addblock(&block);
                ogg_packet packet;
                while (ok && vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                    ogg_stream_packetin(&stream, &packet);
                    while (ok && ogg_stream_pageout(&stream, &page) != 0) {
                        ok = WritePage(page);
                        if (ogg_page_eos(&page)) ended = true;
                    }
                }
            }
        }
        while (ok && ogg_stream_flush(&stream, &page) != 0) ok = WritePage(page);
    }

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return ok && std::fflush(stdout) == 0 ? 0 : 1;
}
