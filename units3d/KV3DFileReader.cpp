#include "KV3DFileReader.h"

namespace kvl {

int32_t KV3DFileReader::Register(IKVResourceManager* manager, IKVFile* file) {
    KV3DFileReader* reader = Instance();
    if (!reader || !manager) return KV_FAILED;
    reader->m_file = file;
    return manager->RegisterReader(reader);
}

int32_t KV3DFileReader::Open(const char* path, void** outHandle) {
    if (outHandle) *outHandle = nullptr;
    if (!m_file || !path || !outHandle) return KV_FAILED;
    return m_file->Open(path, KVFILE_READ, outHandle);
}

int32_t KV3DFileReader::Close(void* handle) { return m_file ? m_file->Close(handle) : KV_FAILED; }

int32_t KV3DFileReader::Read(void* handle, void* buffer, uint32_t size) {
    if (!m_file) return KV_FAILED;
    uint32_t got = 0;
    const int32_t status = m_file->Read(handle, buffer, size, &got);
    if (status != KV_OK) return status;
    return got == size ? KV_OK : KV_READ_FAILED;
}

int64_t KV3DFileReader::GetRemaining(void* handle) {
    if (!m_file) return -1;
    const int32_t position = m_file->Tell(handle);
    const uint32_t size = m_file->GetSize(handle);
    if (position < 0 || uint32_t(position) > size) return -1;
    return int64_t(size) - position;
}

} // namespace kvl
