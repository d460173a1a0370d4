// Entropy-coded data of the JPEG decoder: sequential frames one MCU row at a
// time, and every scan of a buffered frame (progressive, or sequential in
// several scans) into whole-image coefficient buffers.
#include <cstring>

#include "KVJpegDecoder.h"
#include "KVJpegIdct.h"
#include "KVJpegZigZag.h"

namespace kvl {

namespace {

// The signed value of an s-bit magnitude category.
inline int32_t Extend(uint32_t bits, int32_t s) {
    const int32_t v = int32_t(bits);
    return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
}

// DC predictions live in 16 bits; corrupt data wraps instead of overflowing.
inline int32_t Wrap16(int32_t v) { return int16_t(uint16_t(uint32_t(v))); }

inline int16_t Saturate16(int32_t v) { return int16_t(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

// Zig-zag positions 0 to 9 all lie in the first 4 rows and columns.
constexpr int32_t kLastOfQuarter = 9;

// Within a restart interval at most this many bytes may lie between the end
// of the data and the marker.
constexpr int32_t kRestartSearch = 1536;

} // namespace

bool KVJpegDecoder::HandleRestart() {
    m_input.ResetBits();
    const int32_t marker = m_input.NextMarker(kRestartSearch);
    if (marker < 0xD0 || marker > 0xD7) return Fail(KVJPEG_NO_RESTART);
    m_input.ResumeBits();
    for (int32_t i = 0; i < m_scanCount; ++i) m_scan[i]->dcPredictor = 0;
    m_endOfBandRun = 0;
    m_restartsLeft = m_restartInterval;
    return true;
}

template <class Put>
bool KVJpegDecoder::DecodeBlock(Component& c, int32_t* dcValue, Put put, int32_t* last) {
    const KVJpegHuffmanTable& dc = *m_huffman[c.dcTable];
    const KVJpegHuffmanTable& ac = *m_huffman[4 + c.acTable];
    KVJpegBitCursor bits(m_input);
    const int32_t s = dc.Decode(bits);
    if (s < 0 || s > 15) return Fail(KVJPEG_DECODE_FAILED);
    const int32_t diff = s ? Extend(bits.GetBits(s), s) : 0;
    c.dcPredictor = Wrap16(c.dcPredictor + diff);
    *dcValue = c.dcPredictor;
    int32_t end = 0;
    for (int32_t k = 1; k < 64; ++k) {
        const int32_t quick = ac.fastAc[bits.Peek16() >> (16 - KVJpegHuffmanTable::kFastBits)];
        if (quick) {
            // A short code and its value bits in one look-up.
            k += (quick >> 8) & 15;
            bits.Skip(quick & 15);
            if (k > 63) return Fail(KVJPEG_DECODE_FAILED);
            put(kZigZag[k], quick >> 16);
            end = k;
            continue;
        }
        const int32_t rs = ac.Decode(bits);
        if (rs < 0) return Fail(KVJPEG_DECODE_FAILED);
        const int32_t r = rs >> 4;
        const int32_t size = rs & 15;
        if (size == 0) {
            if (r != 15) break;
            k += 15;
            continue;
        }
        k += r;
        if (k > 63) return Fail(KVJPEG_DECODE_FAILED);
        put(kZigZag[k], Extend(bits.GetBits(size), size));
        end = k;
    }
    *last = end;
    return true;
}

bool KVJpegDecoder::DecodeMcuRow() {
    alignas(16) float coef[64];
    for (uint32_t mx = 0; mx < m_mcusWide; ++mx) {
        if (m_restartInterval) {
            if (m_restartsLeft == 0 && !HandleRestart()) return false;
            --m_restartsLeft;
        }
        for (int32_t i = 0; i < m_scanCount; ++i) {
            Component& c = *m_scan[i];
            for (uint32_t by = 0; by < c.v; ++by) {
                for (uint32_t bx = 0; bx < c.h; ++bx) {
                    std::memset(coef, 0, sizeof coef);
                    int32_t last = 0;
                    int32_t dc = 0;
                    const float* scale = c.idct;
                    auto put = [&](int32_t index, int32_t value) { coef[index] = float(value) * scale[index]; };
                    if (!DecodeBlock(c, &dc, put, &last)) return false;
                    coef[0] = float(dc) * scale[0];
                    uint8_t* out = c.plane + size_t(by) * 8 * c.planeStride + (size_t(mx) * c.h + bx) * 8;
                    if (last == 0)
                        InverseDctFlat(dc * c.quant[0], out, int32_t(c.planeStride));
                    else
                        InverseDct(coef, out, int32_t(c.planeStride), last <= kLastOfQuarter);
                }
            }
        }
        if (m_input.Overrun()) return Fail(KVJPEG_DECODE_FAILED);
    }
    return true;
}

// --- buffered frames ----------------------------------------------------------------

bool KVJpegDecoder::DecodeDcFirst(Component& c, int16_t* coef) {
    KVJpegBitCursor bits(m_input);
    const int32_t s = m_huffman[c.dcTable]->Decode(bits);
    if (s < 0 || s > 15) return Fail(KVJPEG_DECODE_FAILED);
    const int32_t diff = s ? Extend(bits.GetBits(s), s) : 0;
    c.dcPredictor = Wrap16(c.dcPredictor + diff);
    coef[0] = Saturate16(c.dcPredictor * (1 << m_approxLow));
    return true;
}

bool KVJpegDecoder::DecodeDcRefine(int16_t* coef) {
    KVJpegBitCursor bits(m_input);
    if (bits.GetBit()) coef[0] = int16_t(coef[0] | (1 << m_approxLow));
    return true;
}

bool KVJpegDecoder::DecodeAcFirst(Component& c, int16_t* coef) {
    if (m_endOfBandRun > 0) {
        --m_endOfBandRun;
        return true;
    }
    const KVJpegHuffmanTable& ac = *m_huffman[4 + c.acTable];
    KVJpegBitCursor bits(m_input);
    for (int32_t k = m_spectralStart; k <= m_spectralEnd; ++k) {
        const int32_t rs = ac.Decode(bits);
        if (rs < 0) return Fail(KVJPEG_DECODE_FAILED);
        const int32_t r = rs >> 4;
        const int32_t s = rs & 15;
        if (s == 0) {
            if (r < 15) {
                // End of band, for this block and (1 << r) - 1 + extra more.
                m_endOfBandRun = (1u << r) - 1u + bits.GetBits(r);
                break;
            }
            k += 15;
            continue;
        }
        k += r;
        if (k > m_spectralEnd) return Fail(KVJPEG_DECODE_FAILED);
        coef[kZigZag[k]] = Saturate16(Extend(bits.GetBits(s), s) * (1 << m_approxLow));
    }
    return true;
}

bool KVJpegDecoder::DecodeAcRefine(Component& c, int16_t* coef) {
    const int32_t plus = 1 << m_approxLow;
    const int32_t minus = -plus;
    int32_t k = m_spectralStart;
    KVJpegBitCursor bits(m_input);
    // One correction bit for a coefficient that is already non-zero.
    auto refine = [&](int32_t index) {
        const int32_t value = coef[index];
        if (bits.GetBit() && (value & plus) == 0) coef[index] = Saturate16(value + (value >= 0 ? plus : minus));
    };
    if (m_endOfBandRun == 0) {
        const KVJpegHuffmanTable& ac = *m_huffman[4 + c.acTable];
        for (; k <= m_spectralEnd; ++k) {
            const int32_t rs = ac.Decode(bits);
            if (rs < 0) return Fail(KVJPEG_DECODE_FAILED);
            int32_t r = rs >> 4;
            const int32_t s = rs & 15;
            int32_t value = 0;
            if (s != 0) {
                // A newly non-zero coefficient is always of magnitude 1 here.
                if (s != 1) return Fail(KVJPEG_DECODE_FAILED);
                value = bits.GetBit() ? plus : minus;
            } else if (r != 15) {
                m_endOfBandRun = (1u << r) + bits.GetBits(r);
                break;
            }
            // Pass r zero coefficients (refining the non-zero ones met on the
            // way) and stop on the next zero one.
            for (; k <= m_spectralEnd; ++k) {
                const int32_t index = kZigZag[k];
                if (coef[index] != 0) {
                    refine(index);
                } else {
                    if (r == 0) break;
                    --r;
                }
            }
            if (value != 0) {
                if (k > m_spectralEnd) return Fail(KVJPEG_DECODE_FAILED);
                coef[kZigZag[k]] = int16_t(value);
            }
        }
    }
    if (m_endOfBandRun > 0) {
        // Inside an end-of-band run only the non-zero coefficients take a bit.
        for (; k <= m_spectralEnd; ++k)
            if (coef[kZigZag[k]] != 0) refine(kZigZag[k]);
        --m_endOfBandRun;
    }
    return true;
}

bool KVJpegDecoder::DecodeUnit(Component& c, int16_t* coef) {
    if (!m_progressive) {
        std::memset(coef, 0, 64 * sizeof(int16_t));
        int32_t last = 0;
        int32_t dc = 0;
        if (!DecodeBlock(c, &dc, [coef](int32_t index, int32_t value) { coef[index] = int16_t(value); }, &last))
            return false;
        coef[0] = int16_t(dc);
        return true;
    }
    if (m_spectralStart == 0) return m_approxHigh == 0 ? DecodeDcFirst(c, coef) : DecodeDcRefine(coef);
    return m_approxHigh == 0 ? DecodeAcFirst(c, coef) : DecodeAcRefine(c, coef);
}

bool KVJpegDecoder::DecodeScan() {
    auto restart = [&]() {
        if (!m_restartInterval) return true;
        if (m_restartsLeft == 0 && !HandleRestart()) return false;
        --m_restartsLeft;
        return true;
    };
    auto block = [&](Component& c, uint32_t row, uint32_t column) -> int16_t* {
        if (row >= c.blocksHigh || column >= c.blocksWide || !c.coefficients) return nullptr;
        return c.coefficients + (size_t(row) * c.blocksWide + column) * 64;
    };
    if (m_scanCount == 1) {
        // A scan of one component covers that component's own blocks, one per unit.
        Component& c = *m_scan[0];
        for (uint32_t by = 0; by < c.ownHigh; ++by) {
            for (uint32_t bx = 0; bx < c.ownWide; ++bx) {
                if (!restart()) return false;
                int16_t* coef = block(c, by, bx);
                if (!coef) return Fail(KVJPEG_BAD_BUFFER);
                if (!DecodeUnit(c, coef)) return false;
            }
            if (m_input.Overrun()) return Fail(KVJPEG_DECODE_FAILED);
        }
        return true;
    }
    for (uint32_t my = 0; my < m_mcusHigh; ++my) {
        for (uint32_t mx = 0; mx < m_mcusWide; ++mx) {
            if (!restart()) return false;
            for (int32_t i = 0; i < m_scanCount; ++i) {
                Component& c = *m_scan[i];
                for (uint32_t y = 0; y < c.v; ++y) {
                    for (uint32_t x = 0; x < c.h; ++x) {
                        int16_t* coef = block(c, my * c.v + y, mx * c.h + x);
                        if (!coef) return Fail(KVJPEG_BAD_BUFFER);
                        if (!DecodeUnit(c, coef)) return false;
                    }
                }
            }
        }
        if (m_input.Overrun()) return Fail(KVJPEG_DECODE_FAILED);
    }
    return true;
}

bool KVJpegDecoder::DecodeBufferedScans() {
    bool ended = false;
    while (!ended) {
        if (!DecodeScan()) return false;
        // A stream that ends after a whole scan (no end marker, or cut
        // between scans) gives the picture its scans made, as a sequential
        // file without its end marker does.
        if (!ReadToScan(&ended, true)) return false;
    }
    m_scansDone = true;
    return true;
}

bool KVJpegDecoder::RowFromCoefficients() {
    alignas(16) float scaled[64];
    for (int32_t i = 0; i < m_componentCount; ++i) {
        Component& c = m_components[i];
        for (uint32_t by = 0; by < c.v; ++by) {
            const uint32_t row = m_mcuRow * c.v + by;
            if (row >= c.blocksHigh) return Fail(KVJPEG_BAD_BUFFER);
            const int16_t* coef = c.coefficients + size_t(row) * c.blocksWide * 64;
            uint8_t* out = c.plane + size_t(by) * 8 * c.planeStride;
            for (uint32_t bx = 0; bx < c.blocksWide; ++bx, coef += 64, out += 8) {
                bool flat = true;
                for (int32_t k = 1; k < 64 && flat; ++k) flat = coef[k] == 0;
                if (flat)
                    InverseDctFlat(int32_t(coef[0]) * c.quant[0], out, int32_t(c.planeStride));
                else {
                    ScaleCoefficients(coef, c.idct, scaled);
                    InverseDct(scaled, out, int32_t(c.planeStride));
                }
            }
        }
    }
    return true;
}

} // namespace kvl
