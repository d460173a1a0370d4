#include "KVGUITtfReader.h"

#include "../kernel/KVCore.h"

namespace kvl {

int32_t KVGUITtfReader::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVDataResourceReader) return AnswerInterface(static_cast<IKVDataResourceReader*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

void KVGUITtfReader::AttachFileInterface() {
    if (!m_file) m_file = QueryCoreInterface<IKVFile>(IID_IKVFile);
}

int32_t KVGUITtfReader::Open(const char* path, void** outHandle) {
    if (outHandle) *outHandle = nullptr;
    if (!m_file || !path || !outHandle) return KV_FAILED;
    KVFileHandle handle = nullptr;
    int32_t result = m_file->Open(path, KVFILE_READ, &handle);
    *outHandle = result == KV_OK ? handle : nullptr;
    return result;
}

int32_t KVGUITtfReader::Close(void* handle) {
    if (!m_file || !handle) return KV_FAILED;
    return m_file->Close(handle);
}

int32_t KVGUITtfReader::Read(void* handle, void* buffer, uint32_t size) {
    if (!m_file || !handle || (!buffer && size > 0)) return KV_FAILED;
    uint32_t done = 0;
    if (m_file->Read(handle, buffer, size, &done) != KV_OK) return KV_FAILED;
    return done == size ? KV_OK : KV_FAILED;
}

uint32_t KVGUITtfReader::GetSize(void* handle) {
    if (!m_file || !handle) return 0;
    return m_file->GetSize(handle);
}

} // namespace kvl
