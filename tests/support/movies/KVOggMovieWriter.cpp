#include "KVOggMovieWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

namespace kvtest {
namespace {

using Bytes = std::vector<uint8_t>;

struct Page {
    double time;
    size_t order;
    Bytes bytes;
};

void Append(Bytes* out, const ogg_page& page) {
    out->insert(out->end(), page.header, page.header + page.header_len);
    out->insert(out->end(), page.body, page.body + page.body_len);
}

// Every page the stream holds, flushed.
void Flush(ogg_stream_state* stream, Bytes* out) {
    ogg_page page;
    while (ogg_stream_flush(stream, &page) > 0) Append(out, page);
}

// The packet with its byte at `at` changed (a broken signature).
void PacketInCorrupted(ogg_stream_state* stream, const ogg_packet& packet, long at) {
    Bytes copy(packet.packet, packet.packet + packet.bytes);
    if (at < long(copy.size())) copy[size_t(at)] ^= 0x55;
    ogg_packet changed = packet;
    changed.packet = copy.data();
    ogg_stream_packetin(stream, &changed);
}

class TheoraStream {
public:
    TheoraStream(const KVMovieSpec& recipe, int serial, bool corrupt, uint32_t width, uint32_t height)
        : m_spec(recipe), m_corrupt(corrupt), m_width(width), m_height(height) {
        ogg_stream_init(&m_stream, serial);
        th_info info;
        th_info_init(&info);
        info.frame_width = width;
        info.frame_height = height;
        info.pic_x = recipe.pictureX;
        info.pic_y = recipe.pictureY;
        info.pic_width = recipe.pictureWidth != 0 ? recipe.pictureWidth : width;
        info.pic_height = recipe.pictureHeight != 0 ? recipe.pictureHeight : height;
        info.fps_numerator = recipe.fps;
        info.fps_denominator = 1;
        info.aspect_numerator = 1;
        info.aspect_denominator = 1;
        info.colorspace = TH_CS_UNSPECIFIED;
        info.pixel_fmt = th_pixel_fmt(recipe.pixelFormat);
        m_xShift = recipe.pixelFormat == TH_PF_444 ? 0 : 1;
        m_yShift = recipe.pixelFormat == TH_PF_420 ? 1 : 0;
        info.quality = 63;
        info.keyframe_granule_shift = 6;
        m_encoder = th_encode_alloc(&info);
        th_info_clear(&info);
        if (m_encoder && recipe.keyFramesOnly) {
            ogg_uint32_t interval = 1;
            th_encode_ctl(m_encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof interval);
        }
        th_comment_init(&m_comment);
    }
    ~TheoraStream() {
        if (m_encoder) th_encode_free(m_encoder);
        th_comment_clear(&m_comment);
        ogg_stream_clear(&m_stream);
    }
    bool Valid() const { return m_encoder != nullptr; }

    // The beginning page, then the page(s) of the other two headers.
    void Headers(Bytes* first, Bytes* rest) {
        ogg_packet packet;
        int n = 0;
        while (th_encode_flushheader(m_encoder, &m_comment, &packet) > 0) {
            if (n == 1 && m_corrupt)
                PacketInCorrupted(&m_stream, packet, 1);
            else
                ogg_stream_packetin(&m_stream, &packet);
            Flush(&m_stream, n == 0 ? first : rest);
            ++n;
        }
    }

    // One page per frame.
    void Frames(const std::vector<KVMovieColour>& frames, size_t order, std::vector<Page>* pages) {
        const uint32_t cw = m_width >> m_xShift;
        const uint32_t ch = m_height >> m_yShift;
        Bytes y(size_t(m_width) * m_height);
        Bytes cb(size_t(cw) * ch);
        Bytes cr(size_t(cw) * ch);
        for (size_t i = 0; i < frames.size(); ++i) {
            if (m_spec.patterned) {
                Pattern(frames[i], uint32_t(i), &y, &cb, &cr);
            } else {
                std::fill(y.begin(), y.end(), frames[i].y);
                std::fill(cb.begin(), cb.end(), frames[i].cb);
                std::fill(cr.begin(), cr.end(), frames[i].cr);
            }
            th_ycbcr_buffer buffer;
            buffer[0] = {int(m_width), int(m_height), int(m_width), y.data()};
            buffer[1] = {int(cw), int(ch), int(cw), cb.data()};
            buffer[2] = {int(cw), int(ch), int(cw), cr.data()};
            th_encode_ycbcr_in(m_encoder, buffer);
            ogg_packet packet;
            while (th_encode_packetout(m_encoder, i + 1 == frames.size(), &packet) > 0)
                ogg_stream_packetin(&m_stream, &packet);
            ogg_page page;
            while (ogg_stream_flush(&m_stream, &page) > 0) {
                Page p{th_granule_time(m_encoder, ogg_page_granulepos(&page)), order, {}};
                Append(&p.bytes, page);
                pages->push_back(std::move(p));
            }
        }
    }

private:
    // Detail at several scales that moves with the frame number: the coder
    // gets real work, in key frames and in the frames between.
    void Pattern(const KVMovieColour& colour, uint32_t frame, Bytes* y, Bytes* cb, Bytes* cr) const {
        const uint32_t w = m_width;
        const uint32_t h = m_height;
        for (uint32_t row = 0; row < h; ++row) {
            for (uint32_t col = 0; col < w; ++col) {
                const uint32_t x = col + 3 * frame;
                const uint32_t v = row + 2 * frame;
                const uint32_t detail = (((x / 4) ^ (v / 4)) & 31) + ((x / 32 + v / 32) & 1) * 40 + (x + v) / 24;
                (*y)[size_t(row) * w + col] = uint8_t(std::min<uint32_t>(colour.y / 2 + detail, 255));
            }
        }
        const uint32_t cw = w >> m_xShift;
        for (uint32_t row = 0; row < h >> m_yShift; ++row) {
            for (uint32_t col = 0; col < cw; ++col) {
                const uint32_t wave = (col + row + frame) % 32;
                (*cb)[size_t(row) * cw + col] = uint8_t(std::clamp<int>(colour.cb + int(wave) - 16, 0, 255));
                (*cr)[size_t(row) * cw + col] = uint8_t(std::clamp<int>(colour.cr + 16 - int(wave), 0, 255));
            }
        }
    }

    const KVMovieSpec& m_spec;
    bool m_corrupt;
    uint32_t m_width;
    uint32_t m_height;
    uint32_t m_xShift = 1;
    uint32_t m_yShift = 1;
    ogg_stream_state m_stream;
    th_enc_ctx* m_encoder = nullptr;
    th_comment m_comment;
};

class VorbisStream {
public:
    VorbisStream(const KVMovieSpec& recipe, int serial, bool corrupt, uint32_t rate)
        : m_spec(recipe), m_corrupt(corrupt), m_rate(rate) {
        ogg_stream_init(&m_stream, serial);
        vorbis_info_init(&m_info);
        m_valid = vorbis_encode_init_vbr(&m_info, long(recipe.audioChannels), long(rate), 0.3f) == 0;
        vorbis_comment_init(&m_comment);
        if (m_valid) {
            vorbis_analysis_init(&m_dsp, &m_info);
            vorbis_block_init(&m_dsp, &m_block);
        }
    }
    ~VorbisStream() {
        if (m_valid) {
            vorbis_block_clear(&m_block);
            vorbis_dsp_clear(&m_dsp);
        }
        vorbis_comment_clear(&m_comment);
        vorbis_info_clear(&m_info);
        ogg_stream_clear(&m_stream);
    }
    bool Valid() const { return m_valid; }

    void Headers(Bytes* first, Bytes* rest) {
        ogg_packet id, comment, setup;
        vorbis_analysis_headerout(&m_dsp, &m_comment, &id, &comment, &setup);
        ogg_stream_packetin(&m_stream, &id);
        Flush(&m_stream, first);
        if (m_corrupt)
            PacketInCorrupted(&m_stream, comment, 1);
        else
            ogg_stream_packetin(&m_stream, &comment);
        ogg_stream_packetin(&m_stream, &setup);
        Flush(&m_stream, rest);
    }

    // A 440 Hz tone on the first channel and 660 Hz on the others.
    void Samples(size_t order, std::vector<Page>* pages) {
        const long total = long(std::lround(m_spec.audioSeconds * m_rate));
        const long chunk = 1024;
        for (long done = 0; done < total; done += chunk) {
            long n = std::min(chunk, total - done);
            float** buffer = vorbis_analysis_buffer(&m_dsp, int(n));
            for (uint32_t c = 0; c < m_spec.audioChannels; ++c) {
                double frequency = c == 0 ? 440.0 : 660.0;
                for (long i = 0; i < n; ++i)
                    buffer[c][i] =
                        float(0.25 * std::sin(2.0 * M_PI * frequency * double(done + i) / m_rate));
            }
            vorbis_analysis_wrote(&m_dsp, int(n));
            Drain(order, pages, false);
        }
        vorbis_analysis_wrote(&m_dsp, 0);
        Drain(order, pages, true);
    }

private:
    void Drain(size_t order, std::vector<Page>* pages, bool last) {
        while (vorbis_analysis_blockout(&m_dsp, &m_block) == 1) {
            vorbis_analysis(&m_block, nullptr);
            vorbis_bitrate_addblock(&m_block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&m_dsp, &packet)) ogg_stream_packetin(&m_stream, &packet);
        }
        ogg_page page;
        while (last ? ogg_stream_flush(&m_stream, &page) > 0 : ogg_stream_pageout(&m_stream, &page) > 0) {
            Page p{vorbis_granule_time(&m_dsp, ogg_page_granulepos(&page)), order, {}};
            Append(&p.bytes, page);
            pages->push_back(std::move(p));
        }
    }

    const KVMovieSpec& m_spec;
    bool m_corrupt;
    uint32_t m_rate;
    bool m_valid = false;
    ogg_stream_state m_stream;
    vorbis_info m_info;
    vorbis_comment m_comment;
    vorbis_dsp_state m_dsp;
    vorbis_block m_block;
};

bool WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

std::vector<uint8_t> WriteOggMovie(const KVMovieSpec& recipe, size_t* dataStart) {
    std::vector<std::unique_ptr<TheoraStream>> videos;
    for (size_t i = 0; i < recipe.videoStreams.size(); ++i) {
        uint32_t w = recipe.width, h = recipe.height;
        if (i < recipe.streamSizes.size() && recipe.streamSizes[i].width != 0) {
            w = recipe.streamSizes[i].width;
            h = recipe.streamSizes[i].height;
        }
        videos.push_back(
            std::make_unique<TheoraStream>(recipe, int(0x1000 + i), i == 0 && recipe.corruptTheoraHeader, w, h));
    }
    std::unique_ptr<VorbisStream> audio;
    if (recipe.audioRate != 0)
        audio = std::make_unique<VorbisStream>(recipe, 0x2000, recipe.corruptVorbisHeader, recipe.audioRate);
    std::unique_ptr<VorbisStream> secondAudio;
    if (recipe.secondAudioRate != 0)
        secondAudio = std::make_unique<VorbisStream>(recipe, 0x2001, false, recipe.secondAudioRate);

    Bytes first;
    Bytes rest;
    for (auto& video : videos)
        if (video->Valid()) video->Headers(&first, &rest);
    if (audio && audio->Valid()) audio->Headers(&first, &rest);
    if (secondAudio && secondAudio->Valid()) secondAudio->Headers(&first, &rest);

    std::vector<Page> pages;
    for (size_t i = 0; i < videos.size(); ++i)
        if (videos[i]->Valid()) videos[i]->Frames(recipe.videoStreams[i], i, &pages);
    if (audio && audio->Valid()) audio->Samples(videos.size(), &pages);
    if (secondAudio && secondAudio->Valid()) secondAudio->Samples(videos.size() + 1, &pages);
    std::stable_sort(pages.begin(), pages.end(), [](const Page& a, const Page& b) { return a.time < b.time; });

    Bytes out = first;
    out.insert(out.end(), rest.begin(), rest.end());
    if (dataStart) *dataStart = out.size();
    for (const Page& page : pages) out.insert(out.end(), page.bytes.begin(), page.bytes.end());
    return out;
}

bool WriteMovieFixtures(const std::string& directory) {
    KVMovieSpec colours;
    colours.videoStreams = {MovieSegments(kMovieColours)};
    colours.audioRate = 44100;
    colours.audioSeconds = double(kMovieSegments * kMovieSegmentFrames) / kMovieFps;

    KVMovieSpec video = colours;
    video.audioRate = 0;

    KVMovieSpec two = video;
    two.videoStreams.push_back(MovieSegments(kMovieOtherColours));

    KVMovieSpec twoSizes = two;
    twoSizes.streamSizes = {{0, 0}, {kMovieSmallWidth, kMovieSmallHeight}};

    KVMovieSpec twoSounds = colours;
    twoSounds.secondAudioRate = 48000;

    KVMovieSpec keys = video;
    keys.keyFramesOnly = true;

    KVMovieSpec chroma422 = video;
    chroma422.pixelFormat = 2;
    KVMovieSpec chroma444 = chroma422;
    chroma444.pixelFormat = 3;
    for (KVMovieSpec* movie : {&chroma422, &chroma444}) {
        const KVMoviePicture& picture = kMoviePictures[movie->pixelFormat == 2 ? 0 : 1];
        movie->pictureX = picture.x;
        movie->pictureY = picture.y;
        movie->pictureWidth = picture.width;
        movie->pictureHeight = picture.height;
    }

    KVMovieSpec rate48 = colours;
    rate48.audioRate = 48000;

    KVMovieSpec badTheora = colours;
    badTheora.corruptTheoraHeader = true;
    KVMovieSpec badVorbis = colours;
    badVorbis.corruptVorbisHeader = true;

    KVMovieSpec wide;
    wide.width = 8208;
    wide.height = 16;
    wide.videoStreams = {{kMovieColours[0], kMovieColours[1]}};

    KVMovieSpec pattern;
    pattern.width = 640;
    pattern.height = 480;
    pattern.fps = 30;
    pattern.patterned = true;
    pattern.videoStreams.resize(1);
    for (uint32_t i = 0; i < kMovieBenchFrames; ++i)
        pattern.videoStreams[0].push_back(kMovieColours[i * kMovieSegments / kMovieBenchFrames]);

    KVMovieSpec longer;
    longer.fps = 1;
    longer.videoStreams.resize(1);
    for (uint32_t i = 0; i < kMovieLongSeconds; ++i) longer.videoStreams[0].push_back(kMovieColours[i % kMovieSegments]);

    size_t dataStart = 0;
    Bytes coloursBytes = WriteOggMovie(colours, &dataStart);
    Bytes truncated(coloursBytes.begin(), coloursBytes.begin() + std::ptrdiff_t(dataStart / 2));

    const std::string dir = directory + "/";
    return WriteFile(dir + "colours.ogg", coloursBytes) && WriteFile(dir + "video.ogg", WriteOggMovie(video)) &&
           WriteFile(dir + "two.ogg", WriteOggMovie(two)) && WriteFile(dir + "rate48.ogg", WriteOggMovie(rate48)) &&
           WriteFile(dir + "truncated.ogg", truncated) &&
           WriteFile(dir + "badtheora.ogg", WriteOggMovie(badTheora)) &&
           WriteFile(dir + "badvorbis.ogg", WriteOggMovie(badVorbis)) &&
           WriteFile(dir + "wide.ogg", WriteOggMovie(wide)) &&
           WriteFile(dir + "twosizes.ogg", WriteOggMovie(twoSizes)) && WriteFile(dir + "keys.ogg", WriteOggMovie(keys)) &&
           WriteFile(dir + "twosounds.ogg", WriteOggMovie(twoSounds)) &&
           WriteFile(dir + "chroma422.ogg", WriteOggMovie(chroma422)) &&
           WriteFile(dir + "chroma444.ogg", WriteOggMovie(chroma444)) &&
           WriteFile(dir + kMovieBenchFixture, WriteOggMovie(pattern)) &&
           WriteFile(dir + kMovieLongFixture, WriteOggMovie(longer));
}

} // namespace kvtest
