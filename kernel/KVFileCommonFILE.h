#pragma once
// The stream operations of the platform file layer, over stdio. Handles are
// the streams themselves; a handle this layer did not open is refused.
#include <cstdio>
#include <mutex>
#include <unordered_set>

#include "KVFileCommon.h"

namespace kvl {

class KVFileCommonFILE : public KVFileCommon {
public:
    int32_t Open(const char* path, int32_t mode, KVFileHandle* out) override;
    int32_t Close(KVFileHandle h) override;
    int32_t Read(KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) override;
    int32_t Write(KVFileHandle h, const void* data, uint32_t count, uint32_t* outCount,
                  uint8_t flag) override;
    int32_t Tell(KVFileHandle h) override;
    int32_t Seek(KVFileHandle h, int32_t offset, int32_t origin) override;
    uint32_t GetSize(KVFileHandle h) override;

protected:
    KVFileCommonFILE() = default;
    ~KVFileCommonFILE() override;

    bool IsOpenHandle(KVFileHandle h) override;

private:
    // Streams opened and not yet closed; the loading thread uses the layer too.
    std::mutex m_streamsLock;
    std::unordered_set<FILE*> m_streams;
};

} // namespace kvl
