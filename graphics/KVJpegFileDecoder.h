#pragma once
// The JPEG decoder's stream over the engine's file interface.
#include "../kernel/IKVFile.h"
#include "KVJpegDecoderStream.h"

namespace kvl {

class KVJpegFileDecoder : public jpeg_decoder_stream {
public:
    explicit KVJpegFileDecoder(IKVFile* files) : m_files(files) {}
    // Closes an open file.
    ~KVJpegFileDecoder() override;

    // 0, or non-zero when the file cannot be opened for reading.
    int32_t Open(const char* path);
    void Close();

    int32_t Read(uint8_t* buffer, int32_t maximum, bool* endOfFile) override;

private:
    KVFileHandle m_file = nullptr;
    IKVFile* m_files;
    bool m_endOfFile = false;
    bool m_error = false;
};

} // namespace kvl
