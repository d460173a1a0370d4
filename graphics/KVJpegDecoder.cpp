// Markers, headers, frame set-up, working memory and line output of the
// JPEG decoder; the entropy-coded data is read in KVJpegScans.cpp.
#include "KVJpegDecoder.h"

#include <cstdlib>
#include <cstring>

#include "KVJpegIdct.h"
#include "KVJpegZigZag.h"

namespace kvl {

namespace {

constexpr int32_t kSOF0 = 0xC0, kSOF1 = 0xC1, kSOF2 = 0xC2, kDHT = 0xC4, kJPG = 0xC8, kSOF9 = 0xC9,
                  kDAC = 0xCC, kRST0 = 0xD0, kRST7 = 0xD7, kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kDQT = 0xDB,
                  kDRI = 0xDD, kTEM = 0x01, kAPP0 = 0xE0, kAPP14 = 0xEE;
// How far past the first two bytes the start of the image may lie.
constexpr int32_t kStartSearch = 510;
constexpr size_t kSegmentSize = 65536;

bool IsFrameMarker(int32_t m) { return m >= 0xC0 && m <= 0xCF && m != kDHT && m != kJPG && m != kDAC; }
uint32_t Read16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t CeilDiv(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

} // namespace

KVJpegDecoder::KVJpegDecoder(jpeg_decoder_stream* stream) : m_stream(stream) {
    std::memset(m_blocks, 0, sizeof m_blocks);
    std::memset(m_quant, 0, sizeof m_quant);
    if (!m_stream) {
        Fail(KVJPEG_READ_ERROR);
        return;
    }
    m_stream->OnAttach();
    m_inputBuffer = static_cast<uint8_t*>(Allocate(KVJpegInput::kBufferSize, false));
    if (m_inputBuffer) {
        m_input.Attach(m_stream, m_inputBuffer);
        ReadHeader();
    }
    if (m_error) FreeAll();
}

KVJpegDecoder::~KVJpegDecoder() { FreeAll(); }

// --- working memory and failure ------------------------------------------------

void* KVJpegDecoder::Allocate(size_t bytes, bool zeroed) {
    if (m_error) return nullptr;
    if (m_blockCount >= kMaxBlocks) {
        Fail(KVJPEG_TOO_MANY_BLOCKS);
        return nullptr;
    }
    void* block = zeroed ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!block) {
        Fail(KVJPEG_NO_MEMORY);
        return nullptr;
    }
    m_blocks[m_blockCount++] = block;
    return block;
}

void KVJpegDecoder::FreeAll() {
    for (int32_t i = 0; i < m_blockCount; ++i) {
        std::free(m_blocks[i]);
        m_blocks[i] = nullptr;
    }
    m_blockCount = 0;
    m_input.Detach();
    m_inputBuffer = nullptr;
    m_segment = nullptr;
    m_line = nullptr;
    m_terms = nullptr;
    for (KVJpegHuffmanTable*& table : m_huffman) table = nullptr;
    for (Component& c : m_components) {
        c.coefficients = nullptr;
        c.plane = nullptr;
    }
}

bool KVJpegDecoder::Fail(int32_t code) {
    if (m_error) return false;
    // A failing stream is the cause of whatever went wrong after it.
    if (m_input.ReadFailed()) code = KVJPEG_READ_ERROR;
    m_error = code;
    if (m_stream) m_stream->OnError(code);
    return false;
}

// --- markers -----------------------------------------------------------------------

void KVJpegDecoder::ReadHeader() {
    int32_t previous = m_input.ReadByte();
    int32_t current = m_input.ReadByte();
    int32_t searched = 0;
    while (!(previous == 0xFF && current == kSOI)) {
        if (current < 0 || ++searched > kStartSearch) {
            Fail(KVJPEG_NOT_JPEG);
            return;
        }
        previous = current;
        current = m_input.ReadByte();
    }
    if (m_input.ReadByte() != 0xFF) {
        Fail(KVJPEG_NOT_JPEG);
        return;
    }
    int32_t marker;
    do {
        marker = m_input.ReadByte();
    } while (marker == 0xFF);
    for (;;) {
        if (marker == 0) marker = m_input.NextMarker(-1);
        if (marker < 0) {
            Fail(KVJPEG_UNEXPECTED_MARKER);
            return;
        }
        if (marker == kSOF0 || marker == kSOF1 || marker == kSOF2) {
            ReadFrameHeader(marker);
            return;
        }
        if (!ReadOtherMarker(marker)) return;
        marker = m_input.NextMarker(-1);
    }
}

bool KVJpegDecoder::ReadOtherMarker(int32_t marker) {
    if (marker == kSOF9 || marker == kDAC) return Fail(KVJPEG_ARITHMETIC);
    if (marker == kSOF0 || marker == kSOF1 || marker == kSOF2) return Fail(KVJPEG_UNEXPECTED_MARKER);
    if (IsFrameMarker(marker)) return Fail(KVJPEG_UNSUPPORTED_FRAME);
    if (marker == kDHT) return ReadHuffmanTables();
    if (marker == kDQT) return ReadQuantTables();
    if (marker == kDRI) return ReadRestartInterval();
    if (marker == kTEM || marker == kJPG || (marker >= kRST0 && marker <= kRST7) || marker == kSOI ||
        marker == kEOI || marker == kSOS)
        return Fail(KVJPEG_UNEXPECTED_MARKER);
    if (marker == kAPP0 || marker == kAPP14) return ReadColourMarker(marker);
    return SkipSegment();
}

bool KVJpegDecoder::ReadColourMarker(int32_t marker) {
    uint32_t length = 0;
    if (!ReadSegment(KVJPEG_BAD_SEGMENT_LENGTH, &length)) return false;
    const uint8_t* p = m_segment;
    const uint32_t n = length - 2;
    // The shortest segments that carry the whole header, as other decoders
    // take them.
    if (marker == kAPP0 && n >= 14 && std::memcmp(p, "JFIF", 5) == 0) m_sawJfif = true;
    if (marker == kAPP14 && n >= 12 && std::memcmp(p, "Adobe", 5) == 0) m_adobeTransform = p[11];
    return true;
}

bool KVJpegDecoder::ReadSegment(int32_t shortCode, uint32_t* length) {
    const int32_t high = m_input.ReadByte();
    const int32_t low = m_input.ReadByte();
    if (high < 0 || low < 0) return Fail(shortCode);
    const uint32_t total = (uint32_t(high) << 8) | uint32_t(low);
    *length = total;
    if (total < 2) {
        // Frame and scan headers have codes of their own for a wrong length.
        if (shortCode == KVJPEG_SHORT_QUANT) return Fail(KVJPEG_SHORT_QUANT_LENGTH);
        if (shortCode == KVJPEG_BAD_FRAME_LENGTH || shortCode == KVJPEG_BAD_SCAN_HEADER) return Fail(shortCode);
        return Fail(KVJPEG_BAD_SEGMENT_LENGTH);
    }
    if (!m_segment) {
        m_segment = static_cast<uint8_t*>(Allocate(kSegmentSize, false));
        if (!m_segment) return false;
    }
    for (uint32_t i = 0; i + 2 < total; ++i) {
        const int32_t byte = m_input.ReadByte();
        if (byte < 0) return Fail(shortCode);
        m_segment[i] = uint8_t(byte);
    }
    return true;
}

bool KVJpegDecoder::SkipSegment() {
    const int32_t high = m_input.ReadByte();
    const int32_t low = m_input.ReadByte();
    if (high < 0 || low < 0) return Fail(KVJPEG_BAD_SEGMENT_LENGTH);
    const uint32_t total = (uint32_t(high) << 8) | uint32_t(low);
    if (total < 2) return Fail(KVJPEG_BAD_SEGMENT_LENGTH);
    for (uint32_t i = 2; i < total; ++i)
        if (m_input.ReadByte() < 0) return Fail(KVJPEG_BAD_SEGMENT_LENGTH);
    return true;
}

bool KVJpegDecoder::ReadHuffmanTables() {
    uint32_t length = 0;
    if (!ReadSegment(KVJPEG_SHORT_HUFFMAN, &length)) return false;
    const uint8_t* p = m_segment;
    const uint32_t n = length - 2;
    uint32_t pos = 0;
    while (pos < n) {
        const uint32_t tableClass = p[pos] >> 4;
        const uint32_t id = p[pos] & 15;
        ++pos;
        // Ids above 3 would land on the other class's slots.
        if (tableClass > 1 || id > 3) return Fail(KVJPEG_BAD_HUFFMAN_INDEX);
        if (n - pos < 16) return Fail(KVJPEG_SHORT_HUFFMAN);
        const uint8_t* counts = p + pos;
        pos += 16;
        uint32_t total = 0;
        for (int32_t i = 0; i < 16; ++i) total += counts[i];
        if (total > 256) return Fail(KVJPEG_BAD_HUFFMAN_COUNTS);
        if (n - pos < total) return Fail(KVJPEG_SHORT_HUFFMAN);
        KVJpegHuffmanTable*& table = m_huffman[tableClass * 4 + id];
        if (!table) {
            table = static_cast<KVJpegHuffmanTable*>(Allocate(sizeof(KVJpegHuffmanTable), false));
            if (!table) return false;
        }
        if (!table->Build(counts, p + pos)) return Fail(KVJPEG_BAD_HUFFMAN_COUNTS);
        pos += total;
    }
    return true;
}

bool KVJpegDecoder::ReadQuantTables() {
    uint32_t length = 0;
    if (!ReadSegment(KVJPEG_SHORT_QUANT, &length)) return false;
    const uint8_t* p = m_segment;
    const uint32_t n = length - 2;
    uint32_t pos = 0;
    while (pos < n) {
        const uint32_t precision = p[pos] >> 4;
        const uint32_t id = p[pos] & 15;
        ++pos;
        // Only four tables exist; a larger id has nowhere to go.
        if (precision > 1 || id > 3) return Fail(KVJPEG_BAD_QUANT_LENGTH);
        const uint32_t size = precision ? 128 : 64;
        if (n - pos < size) return Fail(KVJPEG_SHORT_QUANT);
        for (int32_t k = 0; k < 64; ++k)
            m_quant[id][kZigZag[k]] = uint16_t(precision ? Read16(p + pos + 2 * k) : p[pos + k]);
        m_quantDefined[id] = true;
        pos += size;
    }
    return true;
}

bool KVJpegDecoder::ReadRestartInterval() {
    const int32_t high = m_input.ReadByte();
    const int32_t low = m_input.ReadByte();
    if (high < 0 || low < 0 || ((high << 8) | low) != 4) return Fail(KVJPEG_BAD_RESTART_LENGTH);
    const int32_t a = m_input.ReadByte();
    const int32_t b = m_input.ReadByte();
    if (a < 0 || b < 0) return Fail(KVJPEG_BAD_RESTART_LENGTH);
    m_restartInterval = (uint32_t(a) << 8) | uint32_t(b);
    return true;
}

bool KVJpegDecoder::ReadFrameHeader(int32_t marker) {
    uint32_t length = 0;
    if (!ReadSegment(KVJPEG_BAD_FRAME_LENGTH, &length)) return false;
    const uint8_t* p = m_segment;
    if (length < 8) return Fail(KVJPEG_BAD_FRAME_LENGTH);
    if (p[0] != 8) return Fail(KVJPEG_BAD_PRECISION);
    const uint32_t height = Read16(p + 1);
    const uint32_t width = Read16(p + 3);
    if (height < 1 || height > kMaxSize) return Fail(KVJPEG_BAD_HEIGHT);
    if (width < 1 || width > kMaxSize) return Fail(KVJPEG_BAD_WIDTH);
    const int32_t count = p[5];
    if (count > 4) return Fail(KVJPEG_TOO_MANY_COMPONENTS);
    if (length != 8u + 3u * uint32_t(count)) return Fail(KVJPEG_BAD_FRAME_LENGTH);
    m_progressive = marker == kSOF2;
    m_width = width;
    m_height = height;
    m_componentCount = count;
    for (int32_t i = 0; i < count; ++i) {
        Component& c = m_components[i];
        c.id = p[6 + 3 * i];
        c.h = uint8_t(p[7 + 3 * i] >> 4);
        c.v = uint8_t(p[7 + 3 * i] & 15);
        c.quantIndex = p[8 + 3 * i];
    }
    return true;
}

bool KVJpegDecoder::ReadToScan(bool* ended, bool endOfStreamEnds) {
    *ended = false;
    for (;;) {
        const int32_t marker = m_input.NextMarker(-1);
        if (marker < 0) {
            if (endOfStreamEnds && !m_input.ReadFailed()) {
                *ended = true;
                return true;
            }
            return Fail(KVJPEG_UNEXPECTED_MARKER);
        }
        if (marker == kSOS) return ReadScanHeader() && StartScan();
        if (marker == kEOI) {
            *ended = true;
            return true;
        }
        if (!ReadOtherMarker(marker)) return false;
    }
}

bool KVJpegDecoder::ReadScanHeader() {
    uint32_t length = 0;
    if (!ReadSegment(KVJPEG_BAD_SCAN_HEADER, &length)) return false;
    const uint8_t* p = m_segment;
    if (length < 3) return Fail(KVJPEG_BAD_SCAN_HEADER);
    const int32_t count = p[0];
    if (count < 1 || count > 4 || length != 6u + 2u * uint32_t(count)) return Fail(KVJPEG_BAD_SCAN_HEADER);
    for (int32_t i = 0; i < count; ++i) {
        Component* found = nullptr;
        for (int32_t k = 0; k < m_componentCount && !found; ++k)
            if (m_components[k].id == p[1 + 2 * i]) found = &m_components[k];
        if (!found) return Fail(KVJPEG_BAD_SCAN_COMPONENT);
        // A component may appear once in a scan.
        for (int32_t k = 0; k < i; ++k)
            if (m_scan[k] == found) return Fail(KVJPEG_BAD_SCAN_COMPONENT);
        const uint8_t dc = p[2 + 2 * i] >> 4;
        const uint8_t ac = p[2 + 2 * i] & 15;
        if (dc > 3 || ac > 3) return Fail(KVJPEG_UNDEFINED_HUFFMAN);
        found->dcTable = dc;
        found->acTable = ac;
        m_scan[i] = found;
    }
    m_scanCount = count;
    const uint8_t* tail = p + 1 + 2 * count;
    m_spectralStart = tail[0];
    m_spectralEnd = tail[1];
    m_approxHigh = tail[2] >> 4;
    m_approxLow = tail[2] & 15;
    if (m_progressive) {
        if (m_spectralStart > m_spectralEnd || m_spectralEnd > 63 || (m_spectralStart == 0 && m_spectralEnd != 0) ||
            (m_spectralStart > 0 && count != 1))
            return Fail(KVJPEG_BAD_SPECTRAL);
        if (m_approxLow > 13 || (m_approxHigh != 0 && m_approxHigh != m_approxLow + 1))
            return Fail(KVJPEG_BAD_APPROXIMATION);
    } else {
        m_spectralStart = 0;
        m_spectralEnd = 63;
        m_approxHigh = m_approxLow = 0;
    }
    return true;
}

// --- frame set-up ----------------------------------------------------------------

bool KVJpegDecoder::SetUpFrame() {
    if (m_componentCount == 1) {
        // One component is always a plain grid of blocks.
        m_components[0].h = m_components[0].v = 1;
        m_bytesPerPixel = 1;
    } else if (m_componentCount == 3) {
        const Component& luma = m_components[0];
        const bool lumaOk = (luma.h == 1 || luma.h == 2) && (luma.v == 1 || luma.v == 2);
        // The colour conversion shares one chroma sample over a luma group,
        // so the chroma planes must be sampled 1x1.
        const bool chromaOk = m_components[1].h == 1 && m_components[1].v == 1 && m_components[2].h == 1 &&
                              m_components[2].v == 1;
        if (!lumaOk || !chromaOk) return Fail(KVJPEG_BAD_SAMPLING);
        m_bytesPerPixel = 4;
    } else {
        return Fail(KVJPEG_BAD_COMPONENT_COUNT);
    }
    const uint32_t hMax = m_components[0].h;
    const uint32_t vMax = m_components[0].v;
    m_mcuWidth = 8 * hMax;
    m_mcuHeight = 8 * vMax;
    m_mcusWide = CeilDiv(m_width, m_mcuWidth);
    m_mcusHigh = CeilDiv(m_height, m_mcuHeight);
    for (int32_t i = 0; i < m_componentCount; ++i) {
        Component& c = m_components[i];
        c.blocksWide = m_mcusWide * c.h;
        c.blocksHigh = m_mcusHigh * c.v;
        c.ownWide = CeilDiv(CeilDiv(m_width * c.h, hMax), 8);
        c.ownHigh = CeilDiv(CeilDiv(m_height * c.v, vMax), 8);
        c.planeStride = c.blocksWide * 8;
        c.quantFixed = false;
        std::memset(c.quant, 0, sizeof c.quant);
        std::memset(c.idct, 0, sizeof c.idct);
        c.plane = static_cast<uint8_t*>(Allocate(size_t(c.planeStride) * 8 * c.v, false));
        if (!c.plane) return false;
    }
    // Lines are made in groups of 8 pixels.
    m_line = static_cast<uint8_t*>(Allocate(size_t((m_width + 7) & ~7u) * m_bytesPerPixel, false));
    if (m_componentCount == 3)
        m_terms = static_cast<int16_t*>(Allocate(3 * size_t(m_components[1].planeStride) * sizeof(int16_t), false));
    return m_line != nullptr && (m_componentCount != 3 || m_terms != nullptr);
}

bool KVJpegDecoder::TakeQuantTable(Component& c) {
    if (c.quantFixed) return true;
    if (c.quantIndex > 3 || !m_quantDefined[c.quantIndex]) return Fail(KVJPEG_UNDEFINED_QUANT);
    std::memcpy(c.quant, m_quant[c.quantIndex], sizeof c.quant);
    MakeIdctTable(c.quant, c.idct);
    c.quantFixed = true;
    return true;
}

bool KVJpegDecoder::StartScan() {
    const bool dcFirst = m_spectralStart == 0 && m_approxHigh == 0;
    const bool needsDc = !m_progressive || dcFirst;
    const bool needsAc = !m_progressive || m_spectralStart > 0;
    for (int32_t i = 0; i < m_scanCount; ++i) {
        Component& c = *m_scan[i];
        if (!TakeQuantTable(c)) return false;
        if ((needsDc && !m_huffman[c.dcTable]) || (needsAc && !m_huffman[4 + c.acTable]))
            return Fail(KVJPEG_UNDEFINED_HUFFMAN);
        c.dcPredictor = 0;
    }
    m_endOfBandRun = 0;
    m_restartsLeft = m_restartInterval;
    m_input.ResumeBits();
    return true;
}

int32_t KVJpegDecoder::BeginDecoding() {
    if (m_error) return m_error;
    if (m_begun) return 0;
    bool ended = false;
    if (SetUpFrame() && ReadToScan(&ended)) {
        if (ended) {
            Fail(KVJPEG_UNEXPECTED_MARKER);
        } else {
            m_rgb = m_componentCount == 3 && StoresRgb();
            m_buffered = m_progressive || m_scanCount != m_componentCount;
            for (int32_t i = 0; m_buffered && i < m_componentCount; ++i) {
                Component& c = m_components[i];
                c.coefficients = static_cast<int16_t*>(
                    Allocate(size_t(c.blocksWide) * c.blocksHigh * 64 * sizeof(int16_t), true));
                if (!c.coefficients) break;
            }
        }
    }
    if (m_error) {
        FreeAll();
        return m_error;
    }
    m_begun = true;
    return 0;
}

// --- output ----------------------------------------------------------------------

bool KVJpegDecoder::StoresRgb() const {
    // JFIF means YCbCr; an Adobe marker's transform 0 means no transform;
    // without either marker, components named 'R', 'G', 'B' are RGB.
    if (m_sawJfif) return false;
    if (m_adobeTransform >= 0) return m_adobeTransform == 0;
    return m_components[0].id == 'R' && m_components[1].id == 'G' && m_components[2].id == 'B';
}

void KVJpegDecoder::EmitLine(uint32_t rowInMcu) {
    const Component& luma = m_components[0];
    const uint8_t* y = luma.plane + size_t(rowInMcu) * luma.planeStride;
    if (m_bytesPerPixel == 1) {
        std::memcpy(m_line, y, m_width);
        return;
    }
    // A chroma row serves luma.v lines: its terms are worked out once.
    const uint32_t chromaRow = rowInMcu / luma.v;
    const uint32_t stride = m_components[1].planeStride;
    if (m_rgb) {
        ConvertRgbLine(y, m_components[1].plane + size_t(chromaRow) * stride,
                       m_components[2].plane + size_t(chromaRow) * stride, luma.h, m_width, m_line);
        return;
    }
    if (m_termsRow != int32_t(chromaRow)) {
        ChromaTerms(m_components[1].plane + size_t(chromaRow) * stride,
                    m_components[2].plane + size_t(chromaRow) * stride, stride, m_terms, m_terms + stride,
                    m_terms + 2 * size_t(stride));
        m_termsRow = int32_t(chromaRow);
    }
    ConvertYCbCrLine(y, m_terms, m_terms + stride, m_terms + 2 * size_t(stride), luma.h, m_width, m_line);
}

int32_t KVJpegDecoder::Decode(const void** line, uint32_t* length) {
    if (line) *line = nullptr;
    if (length) *length = 0;
    if (m_error || !m_begun) return -1;
    if (m_linesOut >= m_height) return 1;
    if (!m_rowReady) {
        bool ok;
        if (m_buffered)
            ok = (m_scansDone || DecodeBufferedScans()) && RowFromCoefficients();
        else
            ok = DecodeMcuRow();
        if (!ok) {
            Fail(KVJPEG_DECODE_FAILED);
            FreeAll();
            return KVJPEG_DECODE_FAILED;
        }
        m_rowReady = true;
        m_rowLine = 0;
        m_termsRow = -1;
    }
    EmitLine(m_rowLine);
    ++m_linesOut;
    if (++m_rowLine == m_mcuHeight) {
        m_rowReady = false;
        ++m_mcuRow;
    }
    if (line) *line = m_line;
    if (length) *length = m_width * m_bytesPerPixel;
    return 0;
}

} // namespace kvl
