#include "KVResources.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>

#include "../graphics/IKVGraphic.h"
#include "../media/KVSoundManager.h"
#include "IKVLog.h"
#include "IKVTimeManager.h"
#include "KVCore.h"
#include "KVDirectoryWalk.h"
#include "KVFormat.h"
#include "KVPath.h"
#include "KVProperties.h"

namespace kvl {
namespace {

constexpr int32_t kNone = -1;
// Alternative extensions read from one reader.
constexpr size_t kMaxAlternatives = 64;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string LowerAfter(std::string text, size_t keep) {
    for (size_t i = std::min(keep, text.size()); i < text.size(); ++i) text[i] = LowerAscii(text[i]);
    return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

void DeclareProperty(KVProperties* properties, void* target, int32_t type, const char* displayName, const char* key,
                     uint64_t id, int32_t editKind) {
    properties->DeclareProperty(DescribeProperty(target, type, displayName, key, "Resources", id, editKind));
}

} // namespace

KVResources::~KVResources() = default;

int32_t KVResources::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVResourceManager) return AnswerInterface(static_cast<IKVResourceManager*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVResources::Init(int32_t phase) {
    if (phase == 0) {
        m_currentUnit = kNone;
    } else if (phase == 2) {
        if (IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile)) m_file = file;
        m_resourcesDirectory = "resources";
        m_log = false;
        m_autoReload = true;
        if (KVProperties* properties = KVProperties::Instance()) {
            DeclareProperty(properties, &m_resourcesDirectory, PROPERTY_STRING, "Resources directory",
                            "ResourcesDirectory", kResourcesDirectoryId, 2);
            DeclareProperty(properties, &m_log, PROPERTY_BOOLEAN, "Log", "Log", kLogId, 0);
            DeclareProperty(properties, &m_autoReload, PROPERTY_BOOLEAN, "Automatic reload on file change",
                            "AutoReload", kAutoReloadId, 0);
        }
        m_readers.clear();
        m_pathReaders.clear();
        // Resources still alive from an earlier project leave the list.
        for (int32_t i = m_managed.Head(); i != kNone; i = m_managed.Next(i))
            m_managed.At(i)->resource->SetManagerIndex(kNone);
        m_managed.Clear();
        m_index.clear();
        m_indexNeedsBuilding = true;
        m_reloadCursor.Set(kNone);
        m_watched = 0;
        m_reloadCarry = 0.0f;
    }
    return KV_OK;
}

int32_t KVResources::Release(int32_t) { return KV_OK; }

bool KVResources::IsEditorMode() const {
    if (m_editorModeOverride) return *m_editorModeOverride;
    KVCore* core = KVCore::Instance();
    return core && core->IsEditorMode();
}

double KVResources::Clock() const {
    if (IKVTimeManager* time = QueryCoreInterface<IKVTimeManager>(IID_IKVTimeManager)) return time->GetTime();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void KVResources::LogInfo(const std::string& text) {
    if (IKVLog* log = GetLog()) log->Info(text);
}

// --- loading -----------------------------------------------------------------

int32_t KVResources::Load(const char* path, IKVResourceProducer* producer, IKVResourceLoadContext* context,
                          IKVResource** out, uint32_t flags) {
    if (out) *out = nullptr;
    if (!path || !out) return KV_FAILED;
    const std::string given = path;
    std::string resolved = LowerResourcePath(given);

    // A file kind a reader takes under another extension is read in the
    // reader's own kind when that file exists (a ".wav" request finds its
    // ".ogg" twin). Editors keep the name they were given.
    if (!IsEditorMode()) {
        size_t dot = resolved.rfind('.');
        if (dot != std::string::npos) {
            std::string extension = resolved.substr(dot + 1);
            for (const ReaderEntry& r : m_readers) {
                auto& alt = r.alternatives;
                if (std::find(alt.begin(), alt.end(), extension) == alt.end()) continue;
                const char* primary = r.reader->GetExtension();
                if (!primary || !m_file) continue;
                // The twin is looked for under the lower-cased name every
                // other path resolves to, then as the caller wrote it.
                const std::string lowered = resolved.substr(0, dot + 1) + primary;
                const std::string written = given.substr(0, given.rfind('.') + 1) + primary;
                if (m_file->Exists(lowered.c_str()))
                    resolved = lowered;
                else if (m_file->Exists(written.c_str()))
                    resolved = written;
            }
        }
    }

    if (m_indexNeedsBuilding) {
        m_indexNeedsBuilding = false;
        BuildIndex();
    }
    size_t slash = resolved.rfind('/');
    auto indexed = m_index.find(slash == std::string::npos ? resolved : resolved.substr(slash + 1));
    if (indexed != m_index.end()) resolved = indexed->second;

    for (int32_t i = m_managed.Head(); i != kNone; i = m_managed.Next(i)) {
        ManagedEntry* entry = m_managed.At(i);
        if (entry->path != resolved) continue;
        IKVResource* resource = entry->resource;
        resource->Retain();
        *out = resource;
        if (!producer || producer->NeedsRebuild(resource) == 0) return KV_OK;
        resource->FreeData();
        entry->freed = true;
        IKVResource* holder = resource;
        if (LoadResource(resolved, producer, context, &holder, i, entry->flags) != KV_OK) {
            // The caller gets nothing; the resource stays listed, to be
            // loaded again at its next use.
            *out = nullptr;
            resource->Release();
            return KV_FAILED;
        }
        if (ManagedEntry* e = m_managed.At(i)) e->freed = false;
        return KV_OK;
    }
    return LoadResource(resolved, producer, context, out, kNone, flags);
}

int32_t KVResources::LoadFailed(const std::string& path, const char* reason) {
    std::string text = Format("Unable to load {0}:{1}", FormatValue(path), FormatValue(reason));
    if (m_currentUnit != kNone) {
        std::string unit = m_unitName ? m_unitName(m_currentUnit) : Format("{0}", FormatValue(m_currentUnit));
        text = Format("[Unit {0}] ", FormatValue(unit)) + text;
    }
    if (IKVLog* log = GetLog()) log->Write(text.c_str(), KVLOG_ERROR, 0);
    return KV_FAILED;
}

int32_t KVResources::LoadResource(const std::string& path, IKVResourceProducer* producer,
                                  IKVResourceLoadContext* context, IKVResource** holder, int32_t entryIndex,
                                  uint32_t flags) {
    const double start = m_log ? Clock() : 0.0;
    IKVResourceLoadContext* inUse = context;
    if (entryIndex != kNone) {
        if (ManagedEntry* e = m_managed.At(entryIndex)) inUse = e->context;
    }
    if (inUse) inUse->BeforeLoad();

    IKVResourceReader* reader = nullptr;
    bool special = false;
    for (IKVSpecialResourceReader* s : m_specialReaders) {
        if (s->Exists(path.c_str())) {
            special = true;
            break;
        }
    }
    if (!special) {
        reader = FindReader(path.c_str());
        if (!reader) {
            if (inUse) inUse->AfterLoad();
            return LoadFailed(path, "Unknown extension");
        }
    }

    IKVResource* existing = holder ? *holder : nullptr;
    IKVResource* made = existing;
    int32_t managed = 1;
    uint32_t size = 0;
    int32_t status = producer ? producer->CreateResource(path.c_str(), reader, &made, &managed, &size) : KV_FAILED;
    if (status != KV_OK || !made) {
        // Whatever the producer made of a failed load is given back here:
        // the caller always receives null.
        if (made && made != existing) {
            made->SetManagerIndex(kNone);
            made->Release();
        }
        if (holder) *holder = entryIndex != kNone ? existing : nullptr;
        if (inUse) inUse->AfterLoad();
        return LoadFailed(path, "There was an error reading resource");
    }

    const bool freeable = made->GetType() == KVRESOURCE_TEXTURE;
    if (entryIndex != kNone) {
        if (ManagedEntry* e = m_managed.At(entryIndex)) {
            e->size = size;
            e->freeable = freeable;
        }
    } else if (managed) {
        ManagedEntry entry;
        entry.resource = made;
        entry.producer = producer;
        entry.context = context;
        entry.path = path;
        entry.size = size;
        entry.counter = -1;
        entry.freeable = freeable;
        entry.flags = flags;
        if (flags & KVRESOURCE_WATCH_FILE) {
            // An unanswered query leaves the stamp at zero, so it never
            // looks like a change.
            if (!m_file || m_file->GetFileTime(path.c_str(), &entry.time) != KV_OK) entry.time = KVFileTime();
            ++m_watched;
        }
        made->SetManagerIndex(m_managed.PushBack(entry));
    } else {
        made->SetManagerIndex(kNone);
    }
    if (holder) *holder = made;

    if (inUse) inUse->AfterLoad();
    if (m_log) {
        int64_t micros = int64_t((Clock() - start) * 1e6);
        LogInfo(Format("Resources: ({0} us) loading {1}", FormatValue(micros), FormatValue(path)));
    }
    // A long load must not starve streamed sound.
    if (KVSoundManager* sound = KVSoundManager::Instance()) sound->UpdateStreams();
    return KV_OK;
}

int32_t KVResources::Reload(int32_t index) {
    ManagedEntry* entry = m_managed.At(index);
    if (!entry) return KV_INVALID;
    if (m_log) LogInfo("Resources: reloading " + entry->path);
    std::string path = entry->path;
    IKVResource* holder = entry->resource;
    return LoadResource(path, entry->producer, nullptr, &holder, index, entry->flags);
}

void KVResources::BuildIndex() {
    m_index.clear();
    if (!m_file) return;
    const std::string directory = GetProjectDirectory() + m_resourcesDirectory + "/";
    const size_t projectLength = GetProjectDirectory().size();
    // Folders are entered as the listing meets them, so a later file of the
    // same name, here or below, wins.
    KVDirectoryWalk::Walk(m_file, directory, [&](const std::string& sub, const FileFindData& data) {
        // Lower case past the project directory, as requests are.
        m_index[LowerAfter(data.name, 0)] = LowerAfter(directory + sub + data.name, projectLength);
    });
}

// --- readers -------------------------------------------------------------------

int32_t KVResources::RegisterReader(IKVResourceReader* reader) {
    if (!reader) return KV_INVALID;
    ReaderEntry entry;
    entry.reader = reader;
    if (const char* list = reader->GetExtensions()) {
        while (*list && entry.alternatives.size() < kMaxAlternatives) {
            entry.alternatives.emplace_back(list);
            list += std::strlen(list) + 1;
        }
    }
    m_readers.push_back(std::move(entry));
    return KV_OK;
}

int32_t KVResources::RegisterPathReader(IKVPathResourceReader* reader) {
    if (!reader) return KV_INVALID;
    m_pathReaders.push_back(reader);
    return KV_OK;
}

int32_t KVResources::RegisterSpecialReader(IKVSpecialResourceReader* reader) {
    if (!reader) return KV_INVALID;
    m_specialReaders.push_back(reader);
    return KV_OK;
}

IKVResourceReader* KVResources::FindReader(const char* path) {
    if (!path) return nullptr;
    for (IKVPathResourceReader* reader : m_pathReaders)
        if (reader->AcceptsPath(path)) return reader;
    const char* dot = std::strrchr(path, '.');
    if (!dot) return nullptr;
    for (const ReaderEntry& r : m_readers) {
        const char* extension = r.reader->GetExtension();
        if (extension && std::strcmp(extension, dot + 1) == 0) return r.reader;
    }
    return nullptr;
}

// --- use, eviction and release ---------------------------------------------------

namespace {

// The entry at the resource's own index, when that entry is the resource's.
template <class Entry>
Entry* EntryOf(KVIndexedList<Entry>& list, IKVResource* resource, int32_t* index) {
    if (!resource) return nullptr;
    int32_t i = resource->GetManagerIndex();
    Entry* e = list.At(i);
    if (!e || e->resource != resource) return nullptr;
    if (index) *index = i;
    return e;
}

} // namespace

void KVResources::FindEntry(IKVResource* resource, ManagedEntry** managed, UnmanagedEntry** unmanaged,
                            int32_t* index) {
    *managed = resource->IsManaged() ? EntryOf(m_managed, resource, index) : nullptr;
    *unmanaged = *managed ? nullptr : EntryOf(m_unmanaged, resource, index);
    if (!*managed && !*unmanaged) *managed = EntryOf(m_managed, resource, index);
}

IKVResource* KVResources::FindLoaded(const char* path) {
    if (!path) return nullptr;
    // Letter case is ignored on both sides, so the project directory's own
    // capitals do not hide its resources.
    std::string wanted = path;
    for (int32_t i = m_managed.Head(); i != kNone; i = m_managed.Next(i)) {
        ManagedEntry* e = m_managed.At(i);
        if (SameIgnoringCase(e->path, wanted)) return e->resource;
    }
    return nullptr;
}

int32_t KVResources::Touch(IKVResource* resource) {
    if (!resource || resource->GetManagerIndex() == kNone) return KV_OK;
    int32_t index = kNone;
    ManagedEntry* managed = nullptr;
    UnmanagedEntry* unmanaged = nullptr;
    FindEntry(resource, &managed, &unmanaged, &index);
    if (managed) {
        if (managed->freed) {
            // Cleared first, so a use of the resource during its own reload
            // does not start another; set again when the reload fails, so the
            // next use tries again.
            managed->freed = false;
            bool loaded = Reload(index) == KV_OK;
            managed = m_managed.At(index);
            if (!managed) return KV_OK;
            if (!loaded) managed->freed = true;
        }
        managed->counter = 0;
        m_managed.MoveToTail(index);
        return KV_OK;
    }
    if (unmanaged) {
        if (unmanaged->freed) {
            unmanaged->freed = false;
            resource->Invalidate();
            unmanaged = m_unmanaged.At(index);
            if (!unmanaged) return KV_OK;
        }
        unmanaged->counter = 0;
        m_unmanaged.MoveToTail(index);
    }
    return KV_OK;
}

void KVResources::IncrementCounters() {
    for (int32_t i = m_managed.Head(); i != kNone; i = m_managed.Next(i)) {
        ManagedEntry* e = m_managed.At(i);
        if (e->counter < INT32_MAX) ++e->counter;
    }
}

void KVResources::FreeManaged(ManagedEntry* entry, bool log) {
    if (log && m_log) LogInfo("Resources: freeing " + entry->path);
    entry->freed = true;
    entry->freeable = false;
    entry->size = 0;
    entry->resource->FreeData();
}

int32_t KVResources::FreeOneOfType(int32_t kind) {
    int32_t managedIndex = kNone;
    for (int32_t i = m_managed.Head(); i != kNone; i = m_managed.Next(i)) {
        ManagedEntry* e = m_managed.At(i);
        if (e->counter != 0 && e->freeable && !e->freed && e->resource->GetType() == kind) {
            managedIndex = i;
            break;
        }
    }
    int32_t unmanagedIndex = kNone;
    for (int32_t i = m_unmanaged.Head(); i != kNone; i = m_unmanaged.Next(i)) {
        UnmanagedEntry* e = m_unmanaged.At(i);
        if (e->counter != 0 && !e->freed && e->resource->GetType() == kind) {
            unmanagedIndex = i;
            break;
        }
    }
    if (managedIndex == kNone && unmanagedIndex == kNone) return KV_NOT_FOUND;
    ManagedEntry* managed = m_managed.At(managedIndex);
    UnmanagedEntry* unmanaged = m_unmanaged.At(unmanagedIndex);
    if (managed && (!unmanaged || unmanaged->counter < managed->counter)) {
        FreeManaged(managed, true);
    } else {
        if (m_log) LogInfo("Resources: freeing unmanaged resource");
        unmanaged->freed = true;
        unmanaged->resource->FreeData();
    }
    return KV_OK;
}

int32_t KVResources::FreeAllOfType(int32_t kind) {
    if (m_log) LogInfo(Format("Resources: freeing all resources of type {0}", FormatValue(kind)));
    // The walk stands one step ahead, so a resource leaving the list while
    // its data is freed does not end it.
    KVIndexedList<ManagedEntry>::Iterator it(m_managed, m_managed.Head());
    while (!it.AtEnd()) {
        int32_t i = it.Index();
        it.Next();
        ManagedEntry* e = m_managed.At(i);
        if (e && e->counter != 0 && e->freeable && !e->freed && e->resource->GetType() == kind) FreeManaged(e, true);
    }
    return KV_OK;
}

int32_t KVResources::DropAllOfType(int32_t kind) {
    // Only loaded data is dropped; the objects stay, to be loaded again at
    // their next use.
    KVIndexedList<ManagedEntry>::Iterator it(m_managed, m_managed.Head());
    while (!it.AtEnd()) {
        int32_t i = it.Index();
        it.Next();
        ManagedEntry* e = m_managed.At(i);
        if (!e || e->freed || e->resource->GetType() != kind) continue;
        e->freed = true;
        e->resource->FreeData();
    }
    KVIndexedList<UnmanagedEntry>::Iterator u(m_unmanaged, m_unmanaged.Head());
    while (!u.AtEnd()) {
        int32_t i = u.Index();
        u.Next();
        UnmanagedEntry* e = m_unmanaged.At(i);
        if (!e || e->freed || e->resource->GetType() != kind) continue;
        e->freed = true;
        e->resource->FreeData();
    }
    // No stale device texture may stay bound.
    if (kind == KVRESOURCE_TEXTURE) {
        if (IKVGraphic* graphic = GetGraphicModule()) graphic->ForgetTextureStages();
    }
    return KV_OK;
}

int32_t KVResources::Release(IKVResource* resource) {
    if (!resource || resource->GetManagerIndex() == kNone) return KV_OK;
    int32_t index = kNone;
    ManagedEntry* managed = nullptr;
    UnmanagedEntry* unmanaged = nullptr;
    FindEntry(resource, &managed, &unmanaged, &index);
    if (managed) {
        if (m_log) LogInfo("Resources: releasing " + managed->path);
        if (managed->flags & KVRESOURCE_WATCH_FILE) --m_watched;
        m_managed.Remove(index);
        resource->SetManagerIndex(kNone);
    } else if (unmanaged) {
        if (m_log) LogInfo("Resources: releasing unmanaged resource");
        m_unmanaged.Remove(index);
        resource->SetManagerIndex(kNone);
    }
    return KV_OK;
}

int32_t KVResources::AddUnmanaged(IKVResource* resource) {
    if (!resource) return KV_INVALID;
    UnmanagedEntry entry;
    entry.resource = resource;
    resource->SetManagerIndex(m_unmanaged.PushBack(entry));
    return KV_OK;
}

// --- automatic reload ---------------------------------------------------------------

int32_t KVResources::UpdateResources(float dt) {
    if (!IsEditorMode() || !m_autoReload || m_watched <= 0) return KV_OK;
    m_reloadCarry += dt;
    int32_t due = int32_t(std::floor(float(m_watched) * m_reloadCarry));
    m_reloadCarry -= float(due) / float(m_watched);
    due = std::min(due, m_watched);
    for (int32_t checked = 0; checked < due; ++checked) {
        // The next watched entry from the cursor, wrapping to the head.
        int32_t index = m_reloadCursor.Index();
        if (index == kNone) index = m_managed.Head();
        ManagedEntry* entry = nullptr;
        for (size_t steps = 0; steps <= m_managed.Size() && index != kNone; ++steps) {
            ManagedEntry* e = m_managed.At(index);
            if (e && (e->flags & KVRESOURCE_WATCH_FILE)) {
                entry = e;
                break;
            }
            index = m_managed.Next(index);
            if (index == kNone) index = m_managed.Head();
        }
        if (!entry) break;
        m_reloadCursor.Set(m_managed.Next(index));
        KVFileTime now;
        if (!m_file || m_file->GetFileTime(entry->path.c_str(), &now) != KV_OK) continue;
        if (SameFileTime(now, entry->time)) continue;
        entry->time = now;
        if (Reload(index) != KV_OK) {
            // Its data is gone: the next use tries again.
            if (ManagedEntry* e = m_managed.At(index)) e->freed = true;
        }
    }
    return KV_OK;
}

} // namespace kvl
