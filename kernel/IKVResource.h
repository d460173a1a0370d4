#pragma once
// Resources (textures, sound buffers, mesh data, fonts), the producers that
// make them, the readers that decode their files and the manager that keeps
// them by path.
#include <cstdint>
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVResourceManager = MakeId(0x006CA719, 0x518768F4);

// Resource kinds.
enum KVResourceKind : int32_t {
    KVRESOURCE_TEXTURE = 0,  // textures and mesh data
    KVRESOURCE_SOUND = 1,    // sound buffers
};

// A reference-counted resource. At count zero it calls the manager's
// Release with itself, then deletes itself.
class IKVResource : public IKVUnknownRef {
public:
    // Drops the loaded contents and keeps the object.
    virtual int32_t FreeData() = 0;
    // Index in the manager's list, -1 for none.
    virtual int32_t GetManagerIndex() = 0;
    virtual int32_t SetManagerIndex(int32_t index) = 0;
    virtual int32_t GetType() = 0;
    // Non-zero when the resource lives in the managed list.
    virtual int32_t IsManaged() = 0;
    virtual const char* GetName() = 0;
    // Called when an unmanaged resource whose data was freed is used again.
    virtual int32_t Invalidate() = 0;
    virtual int32_t TakeLostFlag() = 0;
};

// Decodes one kind of file for a producer.
class IKVResourceReader : public virtual IKVUnknown {
public:
    virtual int32_t Open(const char* path, void** outHandle) = 0;
    virtual int32_t Close(void* handle) = 0;
    virtual int32_t Read(void* handle, void* buffer, uint32_t size) = 0;
    // Primary extension: lower case, without the dot ("jpg").
    virtual const char* GetExtension() = 0;
    // Alternative extensions, each zero-terminated, the list ended by an
    // empty one; or null.
    virtual const char* GetExtensions() = 0;
};

// A reader chosen by the whole path rather than by its extension.
class IKVPathResourceReader : public IKVResourceReader {
public:
    virtual int32_t AcceptsPath(const char* path) = 0;
};

// A source that supplies some resources itself (the texture paks).
class IKVSpecialResourceReader {
public:
    // Non-zero when it supplies the resource of that path.
    virtual int32_t Exists(const char* path) = 0;

protected:
    virtual ~IKVSpecialResourceReader() = default;
};

// Makes the resources of one kind.
class IKVResourceProducer {
public:
    // Non-zero when an existing resource of the same path must be loaded
    // again before it is handed out.
    virtual int32_t NeedsRebuild(IKVResource* resource) = 0;
    // *resource is null for a new resource (the producer stores the one it
    // made) or the existing resource to load again. The manager presets
    // *managed to 1 and *size to 0. 0 on success.
    virtual int32_t CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource,
                                   int32_t* managed, uint32_t* size) = 0;

protected:
    virtual ~IKVResourceProducer() = default;
};

// Given by a loader: told before and after every load and reload of its
// resources, so that it can guard its own state.
class IKVResourceLoadContext {
public:
    virtual void BeforeLoad() = 0;
    virtual void AfterLoad() = 0;

protected:
    virtual ~IKVResourceLoadContext() = default;
};

class IKVResourceManager : public virtual IKVUnknown {
public:
    // 0 with the resource (one reference for the caller), or 1 with null.
    virtual int32_t Load(const char* path, IKVResourceProducer* producer, IKVResourceLoadContext* context,
                         IKVResource** out, uint32_t flags) = 0;
    // Removes a resource from its list (called by the resource at count zero).
    virtual int32_t Release(IKVResource* resource) = 0;
    virtual int32_t RegisterReader(IKVResourceReader* reader) = 0;
    virtual int32_t RegisterPathReader(IKVPathResourceReader* reader) = 0;
    // The managed resource of a path (letter case ignored), no reference added.
    virtual IKVResource* FindLoaded(const char* path) = 0;
    // The resource is being used now.
    virtual int32_t Touch(IKVResource* resource) = 0;
    // 0, or 4 when nothing could be freed.
    virtual int32_t FreeOneOfType(int32_t kind) = 0;
    virtual int32_t FreeAllOfType(int32_t kind) = 0;
    virtual int32_t DropAllOfType(int32_t kind) = 0;
    virtual int32_t AddUnmanaged(IKVResource* resource) = 0;
    virtual IKVResourceReader* FindReader(const char* path) = 0;
    virtual int32_t RegisterSpecialReader(IKVSpecialResourceReader* reader) = 0;
};

// Load flags.
constexpr uint32_t KVRESOURCE_WATCH_FILE = 1u;  // reloaded when its file changes (editor)

} // namespace kvl
