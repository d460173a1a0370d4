#include "KVJpegInput.h"

namespace kvl {

void KVJpegInput::Attach(jpeg_decoder_stream* stream, uint8_t* buffer) {
    m_stream = stream;
    m_buffer = buffer;
    m_pos = m_end = buffer;
    m_atEnd = false;
    m_readFailed = false;
    ResumeBits();
}

void KVJpegInput::Detach() {
    m_buffer = nullptr;
    m_pos = m_end = nullptr;
    m_atEnd = true;
}

int32_t KVJpegInput::RefillAndRead() {
    if (m_atEnd || m_readFailed || !m_stream || !m_buffer) return -1;
    bool endOfFile = false;
    int32_t got = m_stream->Read(m_buffer, kBufferSize, &endOfFile);
    if (got < 0) {
        m_readFailed = true;
        return -1;
    }
    if (got > kBufferSize) got = kBufferSize;
    if (endOfFile || got == 0) m_atEnd = true;
    m_pos = m_buffer;
    m_end = m_buffer + got;
    if (got == 0) return -1;
    return *m_pos++;
}

uint32_t KVJpegInput::SlowEntropyByte() {
    if (m_stopped) {
        ++m_padBytes;
        return 0;
    }
    int32_t byte = ReadByte();
    if (byte < 0) {
        m_stopped = true;
        ++m_padBytes;
        return 0;
    }
    if (byte != 0xFF) return uint32_t(byte);
    int32_t next;
    do {
        next = ReadByte();
    } while (next == 0xFF);
    if (next == 0) return 0xFF;
    // A marker (or the end): the data stops here.
    m_stopped = true;
    m_marker = next;
    ++m_padBytes;
    return 0;
}

int32_t KVJpegInput::NextMarker(int32_t limit) {
    if (m_stopped) {
        int32_t marker = m_marker;
        m_stopped = false;
        m_marker = -1;
        if (marker >= 0) return marker;
    }
    int32_t passed = 0;
    for (;;) {
        int32_t byte = ReadByte();
        if (byte < 0) return -1;
        if (byte != 0xFF) {
            if (limit >= 0 && ++passed > limit) return -1;
            continue;
        }
        do {
            byte = ReadByte();
        } while (byte == 0xFF);
        if (byte < 0) return -1;
        if (byte != 0) return byte;
        if (limit >= 0 && (passed += 2) > limit) return -1;
    }
}

} // namespace kvl
