#pragma once
// A JPEG decoder stream over bytes in memory (with settable read sizes and a
// read error at an offset) and a whole-image decode through the decoder.
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/KVJpegDecoderStream.h"

namespace kvtest {

class KVJpegMemoryStream : public kvl::jpeg_decoder_stream {
public:
    explicit KVJpegMemoryStream(std::string bytes) : m_bytes(std::move(bytes)) {}

    int32_t Read(uint8_t* buffer, int32_t maximum, bool* endOfFile) override;
    void OnError(int32_t code) override { errors.push_back(code); }

    // At most this many bytes per read (0: as asked).
    int32_t chunk = 0;
    // Reads reaching this offset fail (npos: never).
    size_t failAt = std::string::npos;
    std::vector<int32_t> errors;  // codes the error hook received
    int32_t reads = 0;
    int32_t largestRequest = 0;

private:
    std::string m_bytes;
    size_t m_pos = 0;
};

struct DecodedJpeg {
    int32_t headerCode = 0;   // error code after construction
    int32_t beginCode = 0;    // BeginDecoding's result
    int32_t failure = 0;      // first non-zero Decode result other than 1
    int32_t errorCode = 0;    // decoder's code at the end
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerPixel = 0;
    std::vector<uint8_t> pixels;  // every delivered line, back to back
    bool Complete() const { return failure == 0 && errorCode == 0 && beginCode == 0 && headerCode == 0; }
};

// Decodes every line (reads of at most `chunk` bytes when non-zero).
DecodedJpeg DecodeJpeg(const std::string& bytes, int32_t chunk = 0);

} // namespace kvtest
