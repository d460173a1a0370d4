#pragma once
// A host for the image reader modules, standing where the core does: it
// answers the file interface with files held in memory and, when one is
// given, the resource manager. Makes both reader modules on request.
#include <string>

#include "kernel/IKVModule.h"
#include "support/KVMemoryFile.h"

namespace kvl {
class IKVImageReader;
class IKVResourceManager;
} // namespace kvl

namespace kvtest {

class KVTestImageHost : public kvl::IKVUnknown {
public:
    KVTestImageHost();
    ~KVTestImageHost() override;

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;

    KVMemoryFile& Files() { return m_files; }
    void SetFile(const std::string& path, const std::string& bytes);
    void SetResourceManager(kvl::IKVResourceManager* manager) { m_manager = manager; }

    // The reader sub-objects of the PNG and JPEG modules (made here with
    // their creators, deleted with the host).
    kvl::IKVImageReader* Png();
    kvl::IKVImageReader* Jpeg();

private:
    KVMemoryFile m_files;
    kvl::IKVResourceManager* m_manager = nullptr;
    kvl::IKVModuleExt* m_png = nullptr;
    kvl::IKVModuleExt* m_jpeg = nullptr;
};

} // namespace kvtest
