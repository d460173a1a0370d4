#pragma once
// Makes mesh data from mesh files: reads a file through its reader strictly
// forward (header, geometry block, animation block, attachments, cameras,
// curve block, lights) and builds a KV3DData. A path already loaded is
// shared; it is read again only to bring back geometry that was let go.
#include <cstdint>
#include <string>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../kernel/IKVResource.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KV3DData;

class KV3DDataProducer : public Singleton<KV3DDataProducer>, public IKVResourceProducer {
public:
    KV3DDataProducer() = default;
    ~KV3DDataProducer() override = default;

    // 0: a loaded path is reused as it is; 1 only for mesh data that let its
    // geometry go while the keep-geometry switch asks for it, so that a
    // load of its path makes it resident again.
    int32_t NeedsRebuild(IKVResource* resource) override;
    // 0 with *resource set, 1 on every failure (logged, except an open that
    // fails). With *resource already set, that data is loaded again in place.
    int32_t CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource, int32_t* managed,
                           uint32_t* size) override;

    // One error line: the message, " (", the path, ")".
    void LogLoadError(const char* path, const std::string& message);

    // Mesh instances that need vertices and indices on the CPU turn this on.
    void SetKeepGeometry(bool on) { m_keepGeometry = on ? 1 : 0; }
    bool GetKeepGeometry() const { return m_keepGeometry != 0; }
    // The device geometry is handed to (null: none), set by the 3D module.
    void SetDevice(IKVGraphicDevice3D* device) { m_device = device; }
    IKVGraphicDevice3D* GetDevice() const { return m_device; }
    // Of the file read last.
    uint32_t GetVersion() const { return m_version; }
    uint32_t GetAlignment() const { return m_alignment; }

private:
    // Reads everything after the header into data; 0, or 1 with the reason.
    int32_t ReadBody(IKVResourceReader* reader, void* handle, const uint8_t* header, KV3DData* data,
                     std::string* error);

    uint8_t m_keepGeometry = 0;
    uint32_t m_version = 0;
    uint32_t m_alignment = 0;
    IKVGraphicDevice3D* m_device = nullptr;
};

} // namespace kvl
