#pragma once
// A sound as a resource: one device buffer holding its PCM (the whole sound,
// or the ring of a streamed or provided one), the format that made it, its
// length, and the amplitude envelope of its descriptor file when there is
// one. Loaded-whole buffers are kept by path in the resource manager and
// shared by every sound of that path.
#include <memory>
#include <string>
#include <vector>

#include "../kernel/IKVFile.h"
#include "../kernel/IKVResource.h"
#include "IKVSoundDevice.h"
#include "KVSoundDescriptor.h"

namespace kvl {

// The resource manager that keeps resources (the core's, else the
// program-wide instance), or null.
IKVResourceManager* FindResourceManager();

class KVResourceSoundBuffer : public IKVResource {
public:
    // Takes over the caller's reference to `buffer`. Reads the descriptor
    // of `name` through `file` (none when null).
    KVResourceSoundBuffer(IKVSoundBuffer* buffer, std::string name, bool kept, const SoundFormat& format,
                          uint32_t dataLength, uint32_t secondLength, IKVFile* file);

    int32_t Retain() override { return ++m_refCount; }
    // At zero a kept resource first leaves the resource manager.
    int32_t Release() override;
    // Drops the descriptor and the device buffer.
    int32_t FreeData() override;
    int32_t GetManagerIndex() override { return m_managerIndex; }
    int32_t SetManagerIndex(int32_t index) override {
        m_managerIndex = index;
        return KV_OK;
    }
    int32_t GetType() override { return KVRESOURCE_SOUND; }
    int32_t IsManaged() override { return m_kept ? 1 : 0; }
    const char* GetName() override { return m_name.c_str(); }
    int32_t Invalidate() override { return KV_OK; }
    int32_t TakeLostFlag() override { return KV_OK; }

    IKVSoundBuffer* GetDeviceBuffer() const { return m_buffer; }
    const SoundFormat& GetFormat() const { return m_format; }
    uint32_t GetDataLength() const { return m_dataLength; }
    uint32_t GetSecondLength() const { return m_secondLength; }
    // The envelope, or null.
    const KVSoundEnvelope* GetEnvelope() const { return m_envelope.values ? &m_envelope : nullptr; }
    bool HasDescriptor() const { return !m_descriptor.empty(); }

private:
    ~KVResourceSoundBuffer() override;
    void ReadDescriptor(IKVFile* file);

    int32_t m_refCount = 1;
    int32_t m_managerIndex = -1;
    std::string m_name;
    bool m_kept;
    IKVSoundBuffer* m_buffer;
    SoundFormat m_format;
    uint32_t m_dataLength;
    uint32_t m_secondLength;
    std::vector<uint8_t> m_descriptor;
    KVSoundEnvelope m_envelope;
};

} // namespace kvl
