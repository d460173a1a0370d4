#pragma once
// The engine's sound reader: decodes Ogg Vorbis files to signed 16-bit PCM
// through the file layer (so files inside paks play too), and registers
// itself with the resource manager for "ogg" files, with "wav" as the
// alternative name of converted projects.
#include "../kernel/IKVFile.h"
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
#include "IKVSoundReader.h"

namespace kvl {

constexpr KVInterfaceId KVOGGREADER_MODULE_ID = MakeId(0x0065C4C4, 0x73AB84B0);

class KVOggReader : public Singleton<KVOggReader>, public IKVModuleExt, public IKVSoundReader {
public:
    // `core` answers the resource manager and the file layer (may be null:
    // the core's program-wide lookup is used then).
    explicit KVOggReader(IKVUnknown* core = nullptr) : m_core(core) {}
    ~KVOggReader() override = default;

    // Answers only the sound reader; anything else gives null and 2.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // IKVModuleExt: phase 2 registers the reader.
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    uint64_t GetId() override { return KVOGGREADER_MODULE_ID.Value(); }
    int32_t GetPriority() override { return 0; }

    // IKVSoundReader
    int32_t Open(const char* path, void** outHandle) override;
    int32_t Close(void* handle) override;
    // Fills `size` bytes, going on from the start when the stream ends. A
    // stream that gives nothing more leaves silence; a decoder error leaves
    // silence after what was decoded and answers 0xc0002.
    int32_t Read(void* handle, void* buffer, uint32_t size) override;
    const char* GetExtension() override { return "ogg"; }
    const char* GetExtensions() override { return "wav\0"; }
    int32_t GetInfo(void* handle, KVSoundReaderInfo* out) override;
    int32_t Rewind(void* handle) override;

    // Seam: the file layer to read through instead of asking the core.
    void SetFileInterface(IKVFile* file) { m_file = file; }

private:
    IKVFile* FileLayer();

    IKVUnknown* m_core;
    IKVFile* m_file = nullptr;
};

// Extension creator: makes the reader when there is none and returns it.
IKVModuleExt* CreateOggReader(const KVModuleCreateInfo* info);

} // namespace kvl
