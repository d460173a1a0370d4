#pragma once
// The reader of mesh files ("kv3d"): opens and reads them through the
// engine's file layer for the mesh data producer.
#include <cstdint>

#include "../kernel/IKVFile.h"
#include "../kernel/IKVResource.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KV3DFileReader : public Singleton<KV3DFileReader>, public IKVResourceReader {
public:
    KV3DFileReader() = default;
    ~KV3DFileReader() override = default;

    // Gives the reader (when one exists) the file layer and registers it
    // with the resource manager; 1 when there is no reader or manager.
    static int32_t Register(IKVResourceManager* manager, IKVFile* file);

    int32_t Open(const char* path, void** outHandle) override;
    int32_t Close(void* handle) override;
    // 0 only when every byte asked for was read.
    int32_t Read(void* handle, void* buffer, uint32_t size) override;
    const char* GetExtension() override { return "kv3d"; }
    const char* GetExtensions() override { return nullptr; }

    // Bytes from the read position to the end of the file; -1 when the
    // file layer cannot tell.
    int64_t GetRemaining(void* handle);

    void SetFile(IKVFile* file) { m_file = file; }
    IKVFile* GetFile() const { return m_file; }

private:
    IKVFile* m_file = nullptr;
};

} // namespace kvl
