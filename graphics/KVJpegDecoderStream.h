#pragma once
// The JPEG decoder's source of bytes.
#include <cstdint>

namespace kvl {

class jpeg_decoder_stream {
public:
    jpeg_decoder_stream() = default;
    virtual ~jpeg_decoder_stream() = default;
    jpeg_decoder_stream(const jpeg_decoder_stream&) = delete;
    jpeg_decoder_stream& operator=(const jpeg_decoder_stream&) = delete;

    // Up to `maximum` bytes into the buffer: the count read, or -1 for a read
    // error. Sets *endOfFile once the stream has nothing more to give.
    virtual int32_t Read(uint8_t* buffer, int32_t maximum, bool* endOfFile) = 0;
    // A decoder took this stream as its source.
    virtual void OnAttach() {}
    // Decoding failed with the (negative) code.
    virtual void OnError(int32_t code) { (void)code; }
};

} // namespace kvl
