#include "KVVsprDecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "../kernel/IKVLog.h"

namespace kvl {
namespace {

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t ReadU16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

void LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteString(text, KVLOG_ERROR, 0);
}

} // namespace

KVVsprDecoder::KVVsprDecoder(IKVFile* files) : m_files(files) {}

KVVsprDecoder::~KVVsprDecoder() { Close(); }

void KVVsprDecoder::Close() {
    if (m_file && m_files) m_files->Close(m_file);
    m_file = nullptr;
    m_data.reset();
    m_dataSize = 0;
    m_dataStart = 0;
    m_fileSize = 0;
    m_table.clear();
    m_heldFrame = -1;
}

int32_t KVVsprDecoder::Fail(const char* what) {
    LogError(std::string("Invalid video sprite file ") + m_path + " (" + what + ")");
    Close();
    return KV_WRONG_CHUNK;
}

void KVVsprDecoder::ReportBadFrame(uint32_t n) {
    // Once per file: a damaged frame is met again at every pass.
    if (m_reportedBadFrame) return;
    m_reportedBadFrame = true;
    LogError("Invalid frame " + std::to_string(n) + " in video sprite file " + m_path);
}

int32_t KVVsprDecoder::Open(const std::string& path) {
    Close();
    m_path = path;
    m_reportedBadFrame = false;
    m_header = KVVsprHeader();
    if (!m_files || m_files->Open(path.c_str(), KVFILE_READ, &m_file) != KV_OK || !m_file) {
        m_file = nullptr;
        return KV_NO_FILE;
    }
    m_fileSize = m_files->GetSize(m_file);

    auto readExact = [this](void* buffer, uint32_t count) {
        uint32_t got = 0;
        return m_files->Read(m_file, buffer, count, &got) == KV_OK && got == count;
    };

    uint8_t head[kHeaderSize];
    if (!readExact(head, kHeaderSize)) return Fail("short header");
    std::memcpy(m_header.magic, head, 4);
    m_header.version = ReadU32(head + 4);
    m_header.frameCount = ReadU32(head + 8);
    m_header.frameRate = ReadU32(head + 12);
    m_header.keyInterval = ReadU32(head + 16);
    m_header.width = ReadU32(head + 20);
    m_header.height = ReadU32(head + 24);
    m_header.offsetX = int32_t(ReadU32(head + 28));
    m_header.offsetY = int32_t(ReadU32(head + 32));
    m_header.reserved = ReadU32(head + 36);

    if (std::memcmp(m_header.magic, "VSPR", 4) != 0) return Fail("magic");
    if (m_header.version != kVersion) return Fail("version");
    if (m_header.frameCount == 0) return Fail("no frames");
    // Frame n is a key frame when n modulo the interval is 0: 0 divides nothing.
    if (m_header.keyInterval == 0) return Fail("key frame interval 0");
    if (m_header.width == 0 || m_header.height == 0 || m_header.width > kMaxSide ||
        m_header.height > kMaxSide)
        return Fail("picture size");
    // The table must fit in the file before anything is allocated for it.
    if (m_fileSize < kTableOffset || m_header.frameCount > (m_fileSize - kTableOffset) / 4)
        return Fail("frame count");

    uint8_t palette[kPaletteSize];
    if (!readExact(palette, kPaletteSize)) return Fail("short palette");
    for (uint32_t i = 0; i < 256; ++i) m_palette[i] = ReadU32(palette + 4 * i);

    std::vector<uint8_t> table(size_t(m_header.frameCount) * 4);
    if (!readExact(table.data(), uint32_t(table.size()))) return Fail("short frame table");
    m_table.resize(m_header.frameCount);
    for (uint32_t i = 0; i < m_header.frameCount; ++i) m_table[i] = ReadU32(table.data() + 4 * i);
    m_dataStart = kTableOffset + m_header.frameCount * 4;
    return KV_OK;
}

int32_t KVVsprDecoder::LoadIntoMemory() {
    if (!m_file) return KV_FAILED;
    uint32_t size = m_files->GetSize(m_file);
    int32_t start = m_files->Tell(m_file);
    if (start < 0 || uint32_t(start) > size) return Fail("data start");
    uint32_t count = size - uint32_t(start);
    // malloc: a failed allocation is a logged error, not the end of the program.
    m_data.reset(static_cast<uint8_t*>(std::malloc(count ? count : 1)));
    if (!m_data) return Fail("out of memory");
    uint32_t got = 0;
    if (count != 0 && (m_files->Read(m_file, m_data.get(), count, &got) != KV_OK || got != count))
        return Fail("short data");
    m_files->Close(m_file);
    m_file = nullptr;
    m_dataStart = uint32_t(start);
    m_dataSize = count;
    return KV_OK;
}

bool KVVsprDecoder::LocateRecord(uint32_t n, const uint8_t** payload, uint32_t* size,
                                 uint32_t* reserved) {
    uint32_t offset = m_table[n];
    if (m_file) {
        if (m_fileSize < 8 || offset > m_fileSize - 8 || offset > uint32_t(INT32_MAX)) return false;
        if (m_files->Seek(m_file, int32_t(offset), 0) != KV_OK) return false;
        uint8_t head[8];
        uint32_t got = 0;
        if (m_files->Read(m_file, head, 8, &got) != KV_OK || got != 8) return false;
        *reserved = ReadU32(head);
        *size = ReadU32(head + 4);
        if (*reserved != 0) return true;
        if (*size > m_fileSize - offset - 8) return false;
        m_payload.resize(std::max<uint32_t>(*size, 1));
        if (*size != 0 &&
            (m_files->Read(m_file, m_payload.data(), *size, &got) != KV_OK || got != *size))
            return false;
        *payload = m_payload.data();
        return true;
    }
    if (!m_data || offset < m_dataStart) return false;
    uint32_t at = offset - m_dataStart;
    if (at > m_dataSize || m_dataSize - at < 8) return false;
    const uint8_t* head = m_data.get() + at;
    *reserved = ReadU32(head);
    *size = ReadU32(head + 4);
    if (*reserved != 0) return true;
    if (*size > m_dataSize - at - 8) return false;
    *payload = head + 8;
    return true;
}

bool KVVsprDecoder::ApplyCodes(const uint8_t* payload, size_t size, uint8_t* indices, size_t count) {
    size_t pos = 0;
    size_t i = 0;
    while (pos < count) {
        if (i >= size) return false;
        uint8_t code = payload[i++];
        uint32_t n = 0;
        if (code & 0x80) {
            n = code & 0x7fu;
            if (n == 0x7f) {
                if (size - i < 2) return false;
                n = ReadU16(payload + i);
                i += 2;
            }
            if (n > count - pos) return false;
            pos += n;
        } else if (code & 0x40) {
            n = code & 0x3fu;
            if (n == 0x3f) {
                if (size - i < 2) return false;
                n = ReadU16(payload + i);
                i += 2;
            }
            if (i >= size) return false;
            uint8_t d = payload[i++];
            size_t m = std::min<size_t>(n, count - pos);
            for (size_t k = 0; k < m; ++k) indices[pos + k] = uint8_t(indices[pos + k] + d);
            pos += m;
            if (m < n) return false;
        } else {
            n = code & 0x3fu;
            if (n == 0x3f) {
                if (size - i < 2) return false;
                n = ReadU16(payload + i);
                i += 2;
            }
            size_t m = std::min<size_t>({size_t(n), count - pos, size - i});
            for (size_t k = 0; k < m; ++k) indices[pos + k] = uint8_t(indices[pos + k] + payload[i + k]);
            pos += m;
            i += m;
            if (m < n) return false;
        }
    }
    return true;
}

bool KVVsprDecoder::DecodeOne(uint32_t n) {
    const uint8_t* payload = nullptr;
    uint32_t size = 0;
    uint32_t reserved = 0;
    if (!LocateRecord(n, &payload, &size, &reserved)) {
        ReportBadFrame(n);
        return false;
    }
    // A record marked in its reserved word is not shown: the held frame stays.
    if (reserved != 0) return false;
    size_t count = size_t(m_header.width) * m_header.height;
    m_indices.resize(count);
    if (n % m_header.keyInterval == 0) std::fill(m_indices.begin(), m_indices.end(), uint8_t(0));
    if (!ApplyCodes(payload, size, m_indices.data(), count)) ReportBadFrame(n);
    m_heldFrame = int32_t(n);
    return true;
}

int32_t KVVsprDecoder::DecodeFrame(uint32_t n) {
    if (!HasSource()) return KV_FAILED;
    if (n >= m_header.frameCount) return KV_INVALID;
    if (int64_t(n) == m_heldFrame) return KV_OK;
    uint32_t r = n % m_header.keyInterval;
    if (r != 0) {
        int64_t held = m_heldFrame;
        uint32_t first = n - r;
        if (held == int64_t(n) - 1)
            first = n;
        else if (held >= int64_t(n - r) && held < int64_t(n) - 1)
            first = uint32_t(held) + 1;
        // Each delta applies to the frame before it: a missing link ends the chain.
        for (uint32_t k = first; k < n; ++k)
            if (!DecodeOne(k)) return KV_FAILED;
    }
    return DecodeOne(n) ? KV_OK : KV_FAILED;
}

void KVVsprDecoder::WritePixels(uint8_t* pixels, int32_t pitch) const {
    if (!pixels || m_heldFrame < 0) return;
    const uint32_t w = m_header.width;
    const uint32_t h = m_header.height;
    if (m_indices.size() < size_t(w) * h) return;
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = pixels + std::ptrdiff_t(y) * pitch;
        const uint8_t* src = m_indices.data() + size_t(y) * w;
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t c = m_palette[src[x]];
            row[4 * x + 0] = uint8_t(c);
            row[4 * x + 1] = uint8_t(c >> 8);
            row[4 * x + 2] = uint8_t(c >> 16);
            row[4 * x + 3] = uint8_t(c >> 24);
        }
    }
}

uint32_t KVVsprDecoder::GetPixelColor(uint32_t x, uint32_t y) const {
    if (m_heldFrame < 0 || x >= m_header.width || y >= m_header.height) return 0;
    size_t at = size_t(y) * m_header.width + x;
    if (at >= m_indices.size()) return 0;
    return m_palette[m_indices[at]];
}

KVVsprStep KVVsprDecoder::Advance(float* elapsed, float dt, bool loop) const {
    KVVsprStep step;
    *elapsed += dt;
    float f = *elapsed * float(m_header.frameRate);
    // Truncated to an unsigned frame; NaN and negatives give 0.
    if (f >= 4294967040.0f)
        step.frame = UINT32_MAX;
    else if (f > 0.0f)
        step.frame = uint32_t(f);
    if (m_header.frameCount != 0 && step.frame >= m_header.frameCount) {
        if (loop) {
            // frame > 0 here, so the rate is too.
            *elapsed -= float(step.frame) / float(m_header.frameRate);
            step.frame %= m_header.frameCount;
        } else {
            step.ended = true;
        }
    }
    return step;
}

} // namespace kvl
