#pragma once
// The resource manager: resolves a requested path (letter case, alternative
// extensions, the file-name index of the resources directory), keeps every
// managed resource by path so that a second request shares the object,
// keeps unmanaged resources in a second list, orders both by last use, frees
// the data of least recently used resources on request and reloads it when
// the resource is used again. In editor mode it reloads resources whose
// files change.
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "IKVFile.h"
#include "IKVModule.h"
#include "IKVResource.h"
#include "KVIndexedList.h"
#include "Singleton.h"

namespace kvl {

// The name of a unit by its index (the unit factory's), for messages.
using KVUnitNameFunction = std::string (*)(int32_t unitIndex);

class KVResources : public Singleton<KVResources>, public IKVModule, public IKVResourceManager {
public:
    static constexpr uint64_t kResourcesDirectoryId = 0x001AD016E6A37137ull;
    static constexpr uint64_t kLogId = 0x00205C29835940ACull;
    static constexpr uint64_t kAutoReloadId = 0x002B9E6FA230E3D8ull;

    KVResources() = default;
    ~KVResources() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // IKVModule
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // IKVResourceManager
    int32_t Load(const char* path, IKVResourceProducer* producer, IKVResourceLoadContext* context,
                 IKVResource** out, uint32_t flags) override;
    int32_t Release(IKVResource* resource) override;
    int32_t RegisterReader(IKVResourceReader* reader) override;
    int32_t RegisterPathReader(IKVPathResourceReader* reader) override;
    IKVResource* FindLoaded(const char* path) override;
    int32_t Touch(IKVResource* resource) override;
    int32_t FreeOneOfType(int32_t kind) override;
    int32_t FreeAllOfType(int32_t kind) override;
    int32_t DropAllOfType(int32_t kind) override;
    int32_t AddUnmanaged(IKVResource* resource) override;
    IKVResourceReader* FindReader(const char* path) override;
    int32_t RegisterSpecialReader(IKVSpecialResourceReader* reader) override;

    // Called by the core once per frame before the modules' updates (and
    // with 0.3 s per step while it is stopped in editor mode): checks about
    // one watched file per second each for a change.
    int32_t UpdateResources(float dt);
    // Called by the scene manager at each scene draw.
    void IncrementCounters();

    // Units set their index while they load their resources, for messages.
    void SetCurrentUnit(int32_t unitIndex) { m_currentUnit = unitIndex; }
    int32_t GetCurrentUnit() const { return m_currentUnit; }

    const std::string& GetResourcesDirectory() const { return m_resourcesDirectory; }
    bool GetLogFlag() const { return m_log; }
    bool GetAutoReload() const { return m_autoReload; }
    size_t GetManagedCount() const { return m_managed.Size(); }
    size_t GetUnmanagedCount() const { return m_unmanaged.Size(); }
    int32_t GetWatchedCount() const { return m_watched; }

    // Seams: the file layer (instead of asking the core), the source of unit
    // names (the unit factory's), a fixed answer for editor mode, and the
    // switches that are otherwise project properties.
    void SetFileInterface(IKVFile* file) { m_file = file; }
    void SetUnitNameFunction(KVUnitNameFunction function) { m_unitName = function; }
    void SetEditorModeOverride(std::optional<bool> editorMode) { m_editorModeOverride = editorMode; }
    void SetLogFlag(bool on) { m_log = on; }
    void SetAutoReload(bool on) { m_autoReload = on; }
    void SetResourcesDirectory(const std::string& directory) { m_resourcesDirectory = directory; }

private:
    struct ManagedEntry {
        IKVResource* resource = nullptr;
        IKVResourceProducer* producer = nullptr;
        IKVResourceLoadContext* context = nullptr;
        std::string path;
        uint32_t size = 0;
        int32_t counter = -1;
        bool freeable = false;
        bool freed = false;
        KVFileTime time;
        uint32_t flags = 0;
    };

    struct UnmanagedEntry {
        IKVResource* resource = nullptr;
        int32_t counter = -1;
        bool freed = false;
    };

    struct ReaderEntry {
        IKVResourceReader* reader = nullptr;
        std::vector<std::string> alternatives;
    };

    int32_t LoadResource(const std::string& path, IKVResourceProducer* producer, IKVResourceLoadContext* context,
                         IKVResource** holder, int32_t entryIndex, uint32_t flags);
    int32_t LoadFailed(const std::string& path, const char* reason);
    int32_t Reload(int32_t index);
    void FreeManaged(ManagedEntry* entry, bool log);
    void BuildIndex();
    // The entry of a resource, sought first in the list its IsManaged names
    // and then among the managed ones; one of the two is set, or neither.
    void FindEntry(IKVResource* resource, ManagedEntry** managed, UnmanagedEntry** unmanaged, int32_t* index);
    bool IsEditorMode() const;
    double Clock() const;
    void LogInfo(const std::string& text);

    IKVFile* m_file = nullptr;
    std::string m_resourcesDirectory = "resources";
    bool m_log = false;
    bool m_autoReload = true;
    bool m_indexNeedsBuilding = true;
    int32_t m_watched = 0;
    float m_reloadCarry = 0.0f;
    int32_t m_currentUnit = -1;

    KVIndexedList<ManagedEntry> m_managed;
    KVIndexedList<UnmanagedEntry> m_unmanaged;
    KVIndexedList<ManagedEntry>::Iterator m_reloadCursor{m_managed};

    std::vector<ReaderEntry> m_readers;
    std::vector<IKVPathResourceReader*> m_pathReaders;
    std::vector<IKVSpecialResourceReader*> m_specialReaders;
    // Lower-case file name to lower-case path; the last file of a name wins.
    std::unordered_map<std::string, std::string> m_index;

    KVUnitNameFunction m_unitName = nullptr;
    std::optional<bool> m_editorModeOverride;
};

} // namespace kvl
