#pragma once
// Bytes of a JPEG stream for the decoder: marker segments byte by byte, and
// entropy-coded data as a bit stream with its stuffed zero bytes removed.
// The bit stream stops at the first marker and then yields zero bits; the
// marker is kept for whoever reads markers next.
#include <cstdint>

#include "KVJpegDecoderStream.h"

namespace kvl {

class KVJpegInput {
public:
    static constexpr int32_t kBufferSize = 4096;

    // `buffer` holds kBufferSize bytes and outlives the input's use.
    void Attach(jpeg_decoder_stream* stream, uint8_t* buffer);
    void Detach();

    // The next byte, or -1 at the end of the stream or after a read error.
    int32_t ReadByte() {
        if (m_pos < m_end) return *m_pos++;
        return RefillAndRead();
    }
    // The next marker code: a marker met by the bit stream, else the next
    // 0xFF followed by a code (fill bytes and stray bytes skipped); -1 at the
    // end. At most `limit` bytes are passed over (negative: no limit).
    int32_t NextMarker(int32_t limit);
    bool ReadFailed() const { return m_readFailed; }
    bool AtEnd() const { return m_atEnd && m_pos >= m_end; }

    // Entropy-coded data.
    // Drops buffered bits; the marker met, if any, stays pending.
    void ResetBits() {
        m_bits = 0;
        m_count = 0;
        m_padBytes = 0;
    }
    // Starts a new stretch of entropy data after a marker was taken.
    void ResumeBits() {
        ResetBits();
        m_stopped = false;
        m_marker = -1;
    }
    // The next 16 bits, most significant first, without taking them.
    uint32_t Peek16() {
        if (m_count < 16) Fill();
        return uint32_t(m_bits >> 48);
    }
    void Skip(int32_t n) {
        m_bits <<= n;
        m_count -= n;
    }
    // n bits (0 to 16) as an unsigned value.
    uint32_t GetBits(int32_t n) {
        if (n <= 0) return 0;
        if (m_count < n) Fill();
        uint32_t v = uint32_t(m_bits >> (64 - n));
        Skip(n);
        return v;
    }
    uint32_t GetBit() {
        if (m_count < 1) Fill();
        uint32_t v = uint32_t(m_bits >> 63);
        Skip(1);
        return v;
    }
    // True once the decoder has taken bits that the data did not hold.
    bool Overrun() const { return m_count < m_padBytes * 8; }

private:
    void Fill() {
        while (m_count <= 56) {
            uint32_t byte;
            if (m_pos < m_end && *m_pos != 0xFF && !m_stopped)
                byte = *m_pos++;
            else
                byte = SlowEntropyByte();
            m_bits |= uint64_t(byte) << (56 - m_count);
            m_count += 8;
        }
    }
    uint32_t SlowEntropyByte();
    int32_t RefillAndRead();

    jpeg_decoder_stream* m_stream = nullptr;
    uint8_t* m_buffer = nullptr;
    const uint8_t* m_pos = nullptr;
    const uint8_t* m_end = nullptr;
    bool m_atEnd = false;
    bool m_readFailed = false;

    uint64_t m_bits = 0;     // next bit in bit 63
    int32_t m_count = 0;     // bits held
    int32_t m_padBytes = 0;  // zero bytes added after the data stopped
    bool m_stopped = false;  // a marker or the end was met in entropy data
    int32_t m_marker = -1;   // that marker, -1 for none
};

} // namespace kvl
