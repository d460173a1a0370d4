#include "KVJpegTestSupport.h"

#include <algorithm>
#include <cstring>

#include "graphics/KVJpegDecoder.h"

namespace kvtest {

int32_t KVJpegMemoryStream::Read(uint8_t* buffer, int32_t maximum, bool* endOfFile) {
    ++reads;
    largestRequest = std::max(largestRequest, maximum);
    size_t want = size_t(std::max(maximum, 0));
    if (chunk > 0) want = std::min(want, size_t(chunk));
    want = std::min(want, m_bytes.size() - m_pos);
    if (failAt != std::string::npos && m_pos + want > failAt) return -1;
    std::memcpy(buffer, m_bytes.data() + m_pos, want);
    m_pos += want;
    if (m_pos >= m_bytes.size() && endOfFile) *endOfFile = true;
    return int32_t(want);
}

DecodedJpeg DecodeJpeg(const std::string& bytes, int32_t chunk) {
    DecodedJpeg result;
    KVJpegMemoryStream stream(bytes);
    stream.chunk = chunk;
    kvl::KVJpegDecoder decoder(&stream);
    result.headerCode = decoder.GetErrorCode();
    if (result.headerCode == 0) {
        result.beginCode = decoder.BeginDecoding();
        result.width = decoder.GetWidth();
        result.height = decoder.GetHeight();
        result.bytesPerPixel = decoder.GetBytesPerPixel();
        for (;;) {
            const void* line = nullptr;
            uint32_t length = 0;
            const int32_t status = decoder.Decode(&line, &length);
            if (status == 1) break;
            if (status != 0) {
                result.failure = status;
                break;
            }
            const auto* p = static_cast<const uint8_t*>(line);
            result.pixels.insert(result.pixels.end(), p, p + length);
        }
    }
    result.errorCode = decoder.GetErrorCode();
    return result;
}

} // namespace kvtest
