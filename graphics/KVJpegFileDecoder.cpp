#include "KVJpegFileDecoder.h"

namespace kvl {

KVJpegFileDecoder::~KVJpegFileDecoder() { Close(); }

int32_t KVJpegFileDecoder::Open(const char* path) {
    Close();
    if (!m_files || !path) return KV_OPEN_READ_FAILED;
    KVFileHandle file = nullptr;
    const int32_t status = m_files->Open(path, KVFILE_READ, &file);
    if (status != KV_OK || !file) return status != KV_OK ? status : KV_OPEN_READ_FAILED;
    m_file = file;
    m_endOfFile = false;
    m_error = false;
    return KV_OK;
}

void KVJpegFileDecoder::Close() {
    if (m_file && m_files) m_files->Close(m_file);
    m_file = nullptr;
}

int32_t KVJpegFileDecoder::Read(uint8_t* buffer, int32_t maximum, bool* endOfFile) {
    if (!m_file || !buffer) return -1;
    if (m_endOfFile) {
        if (endOfFile) *endOfFile = true;
        return 0;
    }
    if (m_error) return -1;
    if (maximum <= 0) return 0;
    uint32_t got = 0;
    const int32_t status = m_files->Read(m_file, buffer, uint32_t(maximum), &got);
    // Reading at the end of the file answers "nothing read"; anything else
    // the file layer reports is a failure of the stream.
    if (status != KV_OK && status != KV_READ_FAILED) {
        m_error = true;
        return -1;
    }
    if (got > uint32_t(maximum)) got = uint32_t(maximum);
    if (got < uint32_t(maximum)) {
        m_endOfFile = true;
        if (endOfFile) *endOfFile = true;
    }
    return int32_t(got);
}

} // namespace kvl
