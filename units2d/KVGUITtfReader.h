#pragma once
// The resource reader of TrueType font files ("ttf"): plain reads through the
// engine's file layer.
#include "../kernel/IKVFile.h"
#include "../kernel/Singleton.h"
#include "IKVDataResourceReader.h"

namespace kvl {

class KVGUITtfReader : public Singleton<KVGUITtfReader>, public IKVDataResourceReader {
public:
    KVGUITtfReader() = default;
    ~KVGUITtfReader() override = default;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // The file layer's result; the handle is null when the open failed.
    int32_t Open(const char* path, void** outHandle) override;
    int32_t Close(void* handle) override;
    // 0 only when every byte asked for was read.
    int32_t Read(void* handle, void* buffer, uint32_t size) override;
    const char* GetExtension() override { return "ttf"; }
    const char* GetExtensions() override { return nullptr; }
    uint32_t GetSize(void* handle) override;

    // Fetches the file layer from the core unless one was set.
    void AttachFileInterface();
    void SetFileInterface(IKVFile* file) { m_file = file; }

private:
    IKVFile* m_file = nullptr;
};

} // namespace kvl
