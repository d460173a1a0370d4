#pragma once
// Bytes of a JPEG stream for the decoder: marker segments byte by byte, and
// entropy-coded data as a bit stream with its stuffed zero bytes removed.
// The bit stream stops at the first marker and then yields zero bits; the
// marker is kept for whoever reads markers next.
#include <cstdint>
#include <cstring>

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

    // Entropy-coded data (read through a KVJpegBitCursor).
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
    // True once the decoder has taken bits that the data did not hold.
    bool Overrun() const { return m_count < m_padBytes * 8; }

private:
    friend class KVJpegBitCursor;

    void Fill() {
        if (!m_stopped && m_end - m_pos >= 8 && m_count <= 56) {
            // Whole bytes that fit, taken at once when none of them is 0xFF.
            uint64_t word;
            std::memcpy(&word, m_pos, sizeof word);
            word = __builtin_bswap64(word);  // first byte in the top bits
            const int32_t take = (64 - m_count) >> 3;
            const uint64_t rest = take < 8 ? ~uint64_t(0) >> (8 * take) : 0;
            const uint64_t inverted = ~word | rest;  // a 0xFF byte taken becomes 0
            const uint64_t ones = 0x0101010101010101ull;
            if (((inverted - ones) & ~inverted & (ones << 7)) == 0) {
                m_bits |= (word >> (64 - 8 * take)) << (64 - m_count - 8 * take);
                m_count += 8 * take;
                m_pos += take;
                return;
            }
        }
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

// The bit stream's state held in locals for the length of one block, so
// that the compiler can keep it in registers; written back when it ends.
class KVJpegBitCursor {
public:
    explicit KVJpegBitCursor(KVJpegInput& in) : m_in(in), m_bits(in.m_bits), m_count(in.m_count) {}
    ~KVJpegBitCursor() {
        m_in.m_bits = m_bits;
        m_in.m_count = m_count;
    }
    KVJpegBitCursor(const KVJpegBitCursor&) = delete;
    KVJpegBitCursor& operator=(const KVJpegBitCursor&) = delete;

    uint32_t Peek16() {
        if (m_count < 16) Refill();
        return uint32_t(m_bits >> 48);
    }
    void Skip(int32_t n) {
        m_bits <<= n;
        m_count -= n;
    }
    uint32_t GetBits(int32_t n) {
        if (n <= 0) return 0;
        if (m_count < n) Refill();
        const uint32_t v = uint32_t(m_bits >> (64 - n));
        Skip(n);
        return v;
    }
    uint32_t GetBit() { return GetBits(1); }

private:
    void Refill() {
        m_in.m_bits = m_bits;
        m_in.m_count = m_count;
        m_in.Fill();
        m_bits = m_in.m_bits;
        m_count = m_in.m_count;
    }

    KVJpegInput& m_in;
    uint64_t m_bits;
    int32_t m_count;
};

} // namespace kvl
