#include "KVImageReaderModule.h"

#include "../kernel/IKVLog.h"

namespace kvl {

int32_t AnswerImageReader(IKVImageReader* reader, const KVInterfaceId& id, void** out) {
    if (id == IID_IKVImageReader) return AnswerInterface(reader, out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVImageReaderModule::QueryInterface(const KVInterfaceId& id, void** out) {
    return AnswerImageReader(m_reader, id, out);
}

int32_t KVImageReaderModule::Init(int32_t phase) {
    if (phase != 2 || !m_host) return KV_OK;
    void* manager = nullptr;
    if (m_host->QueryInterface(IID_IKVResourceManager, &manager) == KV_OK && manager)
        static_cast<IKVResourceManager*>(manager)->RegisterReader(m_reader);
    return KV_OK;
}

void KVImageReaderModule::SetHost(const KVModuleCreateInfo* info) {
    m_host = info ? info->core : nullptr;
    m_reserved = info ? info->reserved : 0;
}

IKVFile* KVImageReaderModule::QueryFile() const {
    void* file = nullptr;
    if (!m_host || m_host->QueryInterface(IID_IKVFile, &file) != KV_OK) return nullptr;
    return static_cast<IKVFile*>(file);
}

void LogReaderError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteStringLevel(text, KVLOG_ERROR);
}

} // namespace kvl
