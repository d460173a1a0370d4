#include "KVOggMemoryDecoder.h"

#include <tremor/ivorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kvtest {

struct KVOggMemoryDecoder::State {
    OggVorbis_File decoder;
    const std::vector<uint8_t>* file = nullptr;
    size_t position = 0;
};

namespace {

size_t ReadMemory(void* buffer, size_t size, size_t count, void* data) {
    auto* state = static_cast<KVOggMemoryDecoder::State*>(data);
    const size_t left = state->file->size() - state->position;
    const size_t n = std::min(size * count, left);
    if (n) std::memcpy(buffer, state->file->data() + state->position, n);
    state->position += n;
    return n;
}

int SeekMemory(void* data, ogg_int64_t offset, int whence) {
    auto* state = static_cast<KVOggMemoryDecoder::State*>(data);
    ogg_int64_t base = whence == SEEK_CUR ? ogg_int64_t(state->position)
                       : whence == SEEK_END ? ogg_int64_t(state->file->size())
                                            : 0;
    const ogg_int64_t target = base + offset;
    if (target < 0 || target > ogg_int64_t(state->file->size())) return -1;
    state->position = size_t(target);
    return 0;
}

int CloseMemory(void*) { return 0; }

long TellMemory(void* data) { return long(static_cast<KVOggMemoryDecoder::State*>(data)->position); }

} // namespace

KVOggMemoryDecoder::KVOggMemoryDecoder(const std::vector<uint8_t>& file) : m_file(file) { Restart(); }

KVOggMemoryDecoder::~KVOggMemoryDecoder() {
    if (m_open) ov_clear(&m_state->decoder);
}

void KVOggMemoryDecoder::Restart() {
    if (m_open) ov_clear(&m_state->decoder);
    m_state = std::make_unique<State>();
    m_state->file = &m_file;
    const ov_callbacks callbacks = {&ReadMemory, &SeekMemory, &CloseMemory, &TellMemory};
    m_open = ov_open_callbacks(m_state.get(), &m_state->decoder, nullptr, 0, callbacks) == 0;
    if (!m_open) ov_clear(&m_state->decoder);
}

void KVOggMemoryDecoder::Rewind() {
    if (m_open) ov_pcm_seek(&m_state->decoder, 0);
}

long KVOggMemoryDecoder::ReadOnce(uint8_t* buffer, int bytes) {
    if (!m_open) return 0;
    int bitstream = 0;
    return ov_read(&m_state->decoder, reinterpret_cast<char*>(buffer), bytes, &bitstream);
}

std::vector<uint8_t> KVOggMemoryDecoder::DecodeAll(const std::vector<uint8_t>& file) {
    KVOggMemoryDecoder decoder(file);
    std::vector<uint8_t> pcm;
    uint8_t chunk[4096];
    for (;;) {
        const long got = decoder.ReadOnce(chunk, int(sizeof chunk));
        if (got == OV_HOLE) continue;
        if (got <= 0) break;
        pcm.insert(pcm.end(), chunk, chunk + got);
    }
    return pcm;
}

} // namespace kvtest
