#include "KVFileCommonFILE.h"

#include <climits>

namespace kvl {

KVFileCommonFILE::~KVFileCommonFILE() {
    // A queued read may still be using a stream.
    StopRequests();
    std::lock_guard<std::mutex> guard(m_streamsLock);
    for (FILE* f : m_streams) std::fclose(f);
    m_streams.clear();
}

bool KVFileCommonFILE::IsOpenHandle(KVFileHandle h) {
    if (!h) return false;
    std::lock_guard<std::mutex> guard(m_streamsLock);
    return m_streams.count(static_cast<FILE*>(h)) != 0;
}

int32_t KVFileCommonFILE::Open(const char* path, int32_t mode, KVFileHandle* out) {
    if (out) *out = nullptr;
    static const char* const kModes[] = {"rb", "wb", "rb+"};
    if (mode < KVFILE_READ || mode > KVFILE_UPDATE || !out || !path) return KV_INVALID;
    std::string full = ResolvePath(path);
    FILE* f = std::fopen(full.c_str(), kModes[mode]);
    if (!f) return mode == KVFILE_READ ? KV_OPEN_READ_FAILED : KV_OPEN_WRITE_FAILED;
    {
        std::lock_guard<std::mutex> guard(m_streamsLock);
        m_streams.insert(f);
    }
    *out = f;
    return KV_OK;
}

int32_t KVFileCommonFILE::Close(KVFileHandle h) {
    FILE* f = static_cast<FILE*>(h);
    {
        std::lock_guard<std::mutex> guard(m_streamsLock);
        if (!f || m_streams.erase(f) == 0) return KV_INVALID;
    }
    std::fclose(f);
    return KV_OK;
}

int32_t KVFileCommonFILE::Read(KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) {
    if (outCount) *outCount = 0;
    if (!IsOpenHandle(h) || (!buffer && count != 0)) return KV_INVALID;
    size_t n = count ? std::fread(buffer, 1, count, static_cast<FILE*>(h)) : 0;
    if (outCount) *outCount = uint32_t(n);
    return n == 0 ? KV_READ_FAILED : KV_OK;
}

int32_t KVFileCommonFILE::Write(KVFileHandle h, const void* data, uint32_t count,
                                uint32_t* outCount, uint8_t) {
    if (outCount) *outCount = 0;
    if (!IsOpenHandle(h) || (!data && count != 0)) return KV_INVALID;
    size_t n = count ? std::fwrite(data, 1, count, static_cast<FILE*>(h)) : 0;
    if (outCount) *outCount = uint32_t(n);
    return n == 0 ? KV_WRITE_FAILED : KV_OK;
}

int32_t KVFileCommonFILE::Tell(KVFileHandle h) {
    if (!IsOpenHandle(h)) return -1;
    long pos = std::ftell(static_cast<FILE*>(h));
    if (pos > long(INT32_MAX)) return INT32_MAX;
    return int32_t(pos);
}

int32_t KVFileCommonFILE::Seek(KVFileHandle h, int32_t offset, int32_t origin) {
    if (!IsOpenHandle(h)) return KV_INVALID;
    FILE* f = static_cast<FILE*>(h);
    // Seeks that would not move are skipped: a seek drops the stream's buffer.
    switch (origin) {
    case 0:
        if (long(offset) != std::ftell(f)) std::fseek(f, offset, SEEK_SET);
        break;
    case 1:
        if (offset != 0) std::fseek(f, offset, SEEK_CUR);
        break;
    case 2:
        std::fseek(f, offset, SEEK_END);
        break;
    default:
        std::fseek(f, offset, origin);
        break;
    }
    return KV_OK;
}

uint32_t KVFileCommonFILE::GetSize(KVFileHandle h) {
    if (!IsOpenHandle(h)) return 0;
    FILE* f = static_cast<FILE*>(h);
    long pos = std::ftell(f);
    std::fseek(f, 0, SEEK_END);
    long end = std::ftell(f);
    std::fseek(f, pos, SEEK_SET);
    if (end < 0) return 0;
    if (end > long(UINT32_MAX)) return UINT32_MAX;
    return uint32_t(end);
}

} // namespace kvl
