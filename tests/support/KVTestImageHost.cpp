#include "KVTestImageHost.h"

#include "graphics/KVJpeg.h"
#include "graphics/KVPNGInterface.h"
#include "kernel/IKVResource.h"

namespace kvtest {

namespace {

kvl::IKVImageReader* ReaderOf(kvl::IKVModuleExt* module) {
    void* reader = nullptr;
    if (!module || module->QueryInterface(kvl::IID_IKVImageReader, &reader) != kvl::KV_OK) return nullptr;
    return static_cast<kvl::IKVImageReader*>(reader);
}

} // namespace

KVTestImageHost::KVTestImageHost() = default;

KVTestImageHost::~KVTestImageHost() {
    delete m_png;
    delete m_jpeg;
}

int32_t KVTestImageHost::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVFile) return kvl::AnswerInterface(static_cast<kvl::IKVFile*>(&m_files), out);
    if (id == kvl::IID_IKVResourceManager && m_manager) return kvl::AnswerInterface(m_manager, out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

void KVTestImageHost::SetFile(const std::string& path, const std::string& bytes) {
    m_files.SetFile(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

kvl::IKVImageReader* KVTestImageHost::Png() {
    kvl::KVModuleCreateInfo info{this, 0};
    if (!m_png) m_png = kvl::CreatePNGInterface(&info);
    return ReaderOf(m_png);
}

kvl::IKVImageReader* KVTestImageHost::Jpeg() {
    kvl::KVModuleCreateInfo info{this, 0};
    if (!m_jpeg) m_jpeg = kvl::CreateJpeg(&info);
    return ReaderOf(m_jpeg);
}

} // namespace kvtest
