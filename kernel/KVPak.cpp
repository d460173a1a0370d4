#include "KVPak.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "IKVLog.h"
#include "IKVThreadFactory.h"
#include "KVCore.h"
#include "KVFormat.h"
#include "KVLua/IKVLua.h"
#include "KVPath.h"
#include "KVProperties.h"

namespace kvl {

// One listing in progress: the loaded paks first, then the platform's.
struct PakFindRecord {
    std::string pattern;              // as given, for the platform listing
    std::string relative;             // relative to the project directory
    uint64_t current = 0;             // serial of the pak being walked, 0 for none
    std::vector<uint64_t> visited;    // serials of the paks walked so far
    KVPakArchive::ListState state;
    KVFindHandle platform = nullptr;  // the platform listing, once the paks are done
    bool platformTried = false;
};

namespace {

constexpr float kLoadingPoll = 0.05f;

// Set while this thread reports an unpacked file, so that a file opened by
// the report itself is not reported again.
thread_local bool t_reporting = false;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    return true;
}

uint32_t ReadFully(IKVFile* file, KVFileHandle h, uint8_t* buffer, uint32_t count) {
    uint32_t total = 0;
    while (total < count) {
        uint32_t got = 0;
        if (file->Read(h, buffer + total, count - total, &got) != KV_OK || got == 0) break;
        total += got;
    }
    return total;
}

void LogError(const char* text) {
    if (IKVLog* log = GetLog()) log->Write(text, KVLOG_ERROR, 0);
}

} // namespace

KVPak::KVPak() = default;

KVPak::~KVPak() {
    for (PakHandle& h : m_handles) h.entry.Close();
    // The platform layer is already gone at shutdown: its listings are not closed.
    for (PakFindRecord* r : m_finds) delete r;
    m_finds.clear();
}

int32_t KVPak::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVFile && !m_querying) return AnswerInterface(static_cast<IKVFile*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVPak::Init(int32_t phase) {
    switch (phase) {
    case 0: {
        // While asking, this module declines, so the answer is the layer below.
        m_querying = true;
        IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile);
        m_querying = false;
        if (file && file != static_cast<IKVFile*>(this)) m_platform = file;
        m_logUnpackedFiles = false;
        m_loading = false;
        m_basePathSet = false;
        break;
    }
    case 1:
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVPak", this);
        break;
    case 2:
        if (KVProperties* properties = KVProperties::Instance()) {
            properties->DeclareProperty(DescribeProperty(&m_logUnpackedFiles, PROPERTY_BOOLEAN, "Log unpacked files",
                                                         "LogUnpackedFiles", "Pak", kLogUnpackedFilesId));
        }
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVPak::Release(int32_t) { return KV_OK; }

// --- paths and lookups -----------------------------------------------------

std::string KVPak::MakeRelative(const std::string& path) const {
    if (m_relativePath) return m_relativePath(path);
    const std::string& project = GetProjectDirectory();
    const std::string& directory = project.empty() ? m_basePath : project;
    if (!directory.empty() && StartsWithIgnoringCase(path, directory)) return path.substr(directory.size());
    return path;
}

void KVPak::WaitForLoading() {
    while (m_loading.load(std::memory_order_acquire)) {
        if (IKVThreadFactory* factory = GetThreadFactory())
            factory->Sleep(kLoadingPoll);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (m_invalidPending.load(std::memory_order_acquire)) RemoveInvalidPaks();
}

KVPak::PakHandle* KVPak::LookupFile(const char* path) {
    std::string relative = MakeRelative(path ? path : "");
    for (char& c : relative) c = c == '\\' ? '/' : LowerAscii(c);
    if (relative.empty()) return nullptr;
    WaitForLoading();
    std::shared_lock<std::shared_mutex> lock(m_paksLock);
    for (const std::unique_ptr<LoadedPak>& pak : m_loaded) {
        if (!pak->ready.load(std::memory_order_acquire) || !pak->archive->IsValid()) continue;
        PakFileRecord record;
        if (!pak->archive->Lookup(relative.data(), relative.size(), &record)) continue;
        PakHandle* slot = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_slotsLock);
            for (PakHandle& h : m_handles) {
                if (!h.inUse) {
                    h.inUse = true;
                    slot = &h;
                    break;
                }
            }
        }
        // Every slot taken: the platform layer is asked instead.
        if (!slot) continue;
        if (!slot->entry.Open(*pak->archive, record)) {
            std::lock_guard<std::mutex> guard(m_slotsLock);
            slot->inUse = false;
            continue;
        }
        slot->archive = pak->archive;
        return slot;
    }
    return nullptr;
}

KVPak::PakHandle* KVPak::AsPakHandle(KVFileHandle h) {
    uintptr_t address = reinterpret_cast<uintptr_t>(h);
    uintptr_t first = reinterpret_cast<uintptr_t>(&m_handles[0]);
    if (address < first) return nullptr;
    uintptr_t offset = address - first;
    if (offset >= sizeof m_handles || offset % sizeof(PakHandle) != 0) return nullptr;
    return &m_handles[offset / sizeof(PakHandle)];
}

KVPak::LoadedPak* KVPak::FindBySerial(uint64_t serial) const {
    for (const std::unique_ptr<LoadedPak>& pak : m_loaded)
        if (pak->serial == serial) return pak.get();
    return nullptr;
}

size_t KVPak::GetLoadedPakCount() const {
    std::shared_lock<std::shared_mutex> lock(m_paksLock);
    return m_loaded.size();
}

void KVPak::ReportUnpackedFile(const char* path) {
    if (t_reporting) return;
    IKVLog* log = GetLog();
    if (!log) return;
    // The log writes its own file through this layer: reporting it would
    // add a line for every line.
    std::string root;
    if (m_platform) m_platform->GetRootPath(&root);
    if (root + "log.txt" == path) return;
    t_reporting = true;
    log->Info(Format("Unpacked file: {0}", FormatValue(path)));
    t_reporting = false;
}

// --- stream operations -------------------------------------------------------

int32_t KVPak::Open(const char* path, int32_t mode, KVFileHandle* out) {
    if (out) *out = nullptr;
    if (!out || !path) return KV_INVALID;
    if (mode == KVFILE_READ && GetLoadedPakCount() > 0) {
        if (PakHandle* h = LookupFile(path)) {
            *out = h;
            return KV_OK;
        }
    }
    if (!m_platform) return mode == KVFILE_READ ? KV_OPEN_READ_FAILED : KV_OPEN_WRITE_FAILED;
    int32_t status = m_platform->Open(path, mode, out);
    if (status == KV_OK && m_logUnpackedFiles) ReportUnpackedFile(path);
    return status;
}

int32_t KVPak::Close(KVFileHandle h) {
    if (PakHandle* p = AsPakHandle(h)) {
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        std::lock_guard<std::mutex> guard(m_slotsLock);
        if (!p->inUse) return KV_INVALID;
        p->entry.Close();
        p->archive.reset();
        p->inUse = false;
        return KV_OK;
    }
    return m_platform ? m_platform->Close(h) : KV_INVALID;
}

int32_t KVPak::Read(KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) {
    if (PakHandle* p = AsPakHandle(h)) {
        if (outCount) *outCount = 0;
        WaitForLoading();
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        if (!p->inUse) return KV_INVALID;
        return p->entry.Read(buffer, count, outCount);
    }
    if (outCount) *outCount = 0;
    return m_platform ? m_platform->Read(h, buffer, count, outCount) : KV_INVALID;
}

int32_t KVPak::Tell(KVFileHandle h) {
    if (PakHandle* p = AsPakHandle(h)) {
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        return p->inUse ? int32_t(std::min<uint32_t>(p->entry.Position(), INT32_MAX)) : -1;
    }
    return m_platform ? m_platform->Tell(h) : -1;
}

int32_t KVPak::Seek(KVFileHandle h, int32_t offset, int32_t origin) {
    if (PakHandle* p = AsPakHandle(h)) {
        WaitForLoading();
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        if (!p->inUse) return KV_INVALID;
        int64_t target;
        switch (origin) {
        case 0: target = offset; break;
        case 1: target = int64_t(p->entry.Position()) + offset; break;
        // A positive offset counts back from the end.
        case 2: target = int64_t(p->entry.Size()) - offset; break;
        default: target = 0; break;
        }
        return p->entry.SeekTo(target);
    }
    return m_platform ? m_platform->Seek(h, offset, origin) : KV_INVALID;
}

int32_t KVPak::IsEOF(KVFileHandle h) {
    if (PakHandle* p = AsPakHandle(h)) {
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        if (!p->inUse) return 1;
        return p->entry.Position() == p->entry.Size() ? 1 : 0;
    }
    return m_platform ? m_platform->IsEOF(h) : 1;
}

uint32_t KVPak::GetSize(KVFileHandle h) {
    if (PakHandle* p = AsPakHandle(h)) {
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        return p->inUse ? p->entry.Size() : 0;
    }
    return m_platform ? m_platform->GetSize(h) : 0;
}

// --- listings ----------------------------------------------------------------

bool KVPak::IsLiveFind(PakFindRecord* record) {
    std::lock_guard<std::mutex> guard(m_findsLock);
    return record && m_finds.count(record) != 0;
}

KVFindHandle KVPak::FindFirst(const char* pattern, FileFindData* out) {
    if (!pattern) return nullptr;
    std::string relative = MakeRelative(pattern);
    if (relative.empty()) return nullptr;
    auto* record = new PakFindRecord;
    record->pattern = pattern;
    record->relative = std::move(relative);
    {
        std::lock_guard<std::mutex> guard(m_findsLock);
        m_finds.insert(record);
    }
    if (FindNext(record, out) == KV_OK) return record;
    FindClose(record);
    return nullptr;
}

int32_t KVPak::FindNext(KVFindHandle find, FileFindData* out) {
    auto* record = static_cast<PakFindRecord*>(find);
    if (!IsLiveFind(record)) return KV_NOT_FOUND;
    if (record->platform) return m_platform ? m_platform->FindNext(record->platform, out) : KV_NOT_FOUND;
    if (record->platformTried) return KV_NOT_FOUND;
    WaitForLoading();
    {
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        for (;;) {
            LoadedPak* pak = record->current ? FindBySerial(record->current) : nullptr;
            if (!pak) {
                // The next loaded pak in load order not walked yet.
                record->current = 0;
                for (const std::unique_ptr<LoadedPak>& candidate : m_loaded) {
                    if (!candidate->ready.load(std::memory_order_acquire) || !candidate->archive->IsValid()) continue;
                    auto& v = record->visited;
                    if (std::find(v.begin(), v.end(), candidate->serial) != v.end()) continue;
                    pak = candidate.get();
                    break;
                }
                if (!pak) break;
                record->visited.push_back(pak->serial);
                record->current = pak->serial;
                record->state = KVPakArchive::ListState();
            }
            std::string name;
            bool directory = false;
            if (pak->archive->ListNext(&record->state, record->relative, &name, &directory)) {
                if (out) {
                    out->name = name;
                    out->attributes = KVFILE_ATTR_READONLY | (directory ? KVFILE_ATTR_DIRECTORY : 0u);
                }
                return KV_OK;
            }
            record->current = 0;
        }
    }
    // The paks are done: the plain files follow.
    record->platformTried = true;
    if (!m_platform) return KV_NOT_FOUND;
    record->platform = m_platform->FindFirst(record->pattern.c_str(), out);
    return record->platform ? KV_OK : KV_NOT_FOUND;
}

void KVPak::FindClose(KVFindHandle find) {
    auto* record = static_cast<PakFindRecord*>(find);
    {
        std::lock_guard<std::mutex> guard(m_findsLock);
        if (!record || m_finds.erase(record) == 0) return;
    }
    if (record->platform && m_platform) m_platform->FindClose(record->platform);
    delete record;
}

// --- loading and unloading -----------------------------------------------------

int32_t KVPak::SetBasePath(const std::string& path) {
    if (m_basePathSet) return KV_OK;
    m_basePathSet = true;
    m_basePath = path;
    ReadDescriptor();
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_records[i].loadWithProject) LoadPakFile(int32_t(i), true);
    return KV_OK;
}

int32_t KVPak::ReadDescriptor() {
    m_records.clear();
    if (!m_platform) return KV_OK;
    std::string path = m_basePath + "paks/paks.kvpakdesc";
    KVFileHandle h = nullptr;
    // No descriptor: a game without paks.
    if (m_platform->Open(path.c_str(), KVFILE_READ, &h) != KV_OK || !h) return KV_OK;
    uint32_t size = std::min(m_platform->GetSize(h), KVPakArchive::kMaxDescriptorSize);
    std::vector<uint8_t> data(size);
    uint32_t got = ReadFully(m_platform, h, data.data(), size);
    m_platform->Close(h);
    if (!KVPakArchive::ParseDescriptor(data.data(), got, &m_records)) {
        m_records.clear();
        LogError("Pak file descriptor is invalid");
        return KV_FAILED;
    }
    return KV_OK;
}

int32_t KVPak::LoadScenePaks(const std::string& group) {
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_records[i].group == group) LoadPakFile(int32_t(i), true);
    return KV_OK;
}

int32_t KVPak::ReleaseTemporaryPaks() {
    for (size_t i = GetLoadedPakCount(); i-- > 0;) {
        bool temporary;
        {
            std::shared_lock<std::shared_mutex> lock(m_paksLock);
            temporary = i < m_loaded.size() && m_loaded[i]->temporary;
        }
        if (temporary) UnloadPakAt(int32_t(i));
    }
    return KV_OK;
}

int32_t KVPak::LoadPakFile(int32_t descriptorIndex, bool temporary) {
    if (descriptorIndex < 0 || size_t(descriptorIndex) >= m_records.size()) return KV_INVALID;
    const PakDescriptorRecord& record = m_records[size_t(descriptorIndex)];
    std::string path = m_basePath + "paks/" + record.name + ".kvpak";
    {
        std::shared_lock<std::shared_mutex> lock(m_paksLock);
        for (const std::unique_ptr<LoadedPak>& pak : m_loaded)
            if (pak->path == path) return KV_OK;
    }
    if (!m_platform) return KV_FAILED;
    KVFileHandle h = nullptr;
    if (m_platform->Open(path.c_str(), KVFILE_READ, &h) != KV_OK || !h) return KV_FAILED;
    uint8_t head[KVPakArchive::kHeadSize];
    uint32_t size = m_platform->GetSize(h);
    uint32_t got = ReadFully(m_platform, h, head, sizeof head);
    auto pak = std::make_unique<LoadedPak>();
    pak->archive = std::make_shared<KVPakArchive>(record.compressed);
    if (got != sizeof head || size < sizeof head || !KVPakArchive::CheckHead(head, got) ||
        !pak->archive->Allocate(size - KVPakArchive::kHeadSize)) {
        LogError("Invalid pak file");
        m_platform->Close(h);
        return KV_OK;
    }
    pak->path = path;
    pak->descriptorIndex = descriptorIndex;
    pak->temporary = temporary;
    LoadedPak* added = pak.get();
    uint32_t bodySize = added->archive->BodySize();

    // One body read at a time; the lists change only while none is pending.
    WaitForLoading();
    {
        std::unique_lock<std::shared_mutex> lock(m_paksLock);
        added->serial = m_nextSerial++;
        m_loaded.push_back(std::move(pak));
    }
    if (bodySize == 0) {
        added->archive->Validate();
        added->ready.store(true, std::memory_order_release);
        m_platform->Close(h);
        return KV_OK;
    }
    m_pending = added;
    m_pendingFile = h;
    m_loading.store(true, std::memory_order_release);
    int32_t status = m_platform->QueueRequest(h, added->archive->Body(), bodySize, &KVPak::OnBodyRead, 0);
    if (!m_loading.load(std::memory_order_acquire)) {
        // The read was served at once.
        if (status != KV_OK && added->archive->IsValid()) {
            added->archive->MarkInvalid();
            m_invalidPending.store(true, std::memory_order_release);
        }
        RemoveInvalidPaks();
    }
    return KV_OK;
}

void KVPak::OnBodyRead(uint32_t) {
    if (KVPak* pak = KVPak::Instance()) pak->FinishBodyRead();
}

void KVPak::FinishBodyRead() {
    LoadedPak* pak = m_pending;
    KVFileHandle h = m_pendingFile;
    m_pending = nullptr;
    m_pendingFile = nullptr;
    if (pak) {
        if (!pak->archive->Validate()) m_invalidPending.store(true, std::memory_order_release);
        pak->ready.store(true, std::memory_order_release);
    }
    if (h && m_platform) m_platform->Close(h);
    m_loading.store(false, std::memory_order_release);
}

void KVPak::RemoveInvalidPaks() {
    if (!m_invalidPending.exchange(false, std::memory_order_acq_rel)) return;
    LogError("Invalid pak file");
    std::unique_lock<std::shared_mutex> lock(m_paksLock);
    // No handle or listing ever reaches a pak that failed its check.
    m_loaded.erase(std::remove_if(m_loaded.begin(), m_loaded.end(),
                                  [](const std::unique_ptr<LoadedPak>& p) {
                                      return p->ready.load(std::memory_order_acquire) && !p->archive->IsValid();
                                  }),
                   m_loaded.end());
}

int32_t KVPak::UnloadPakAt(int32_t index) {
    WaitForLoading();
    std::unique_lock<std::shared_mutex> lock(m_paksLock);
    if (index < 0 || size_t(index) >= m_loaded.size()) return KV_INVALID;
    // Handles open on the pak hold its archive: its body goes with the last.
    m_loaded.erase(m_loaded.begin() + index);
    return KV_OK;
}

int32_t KVPak::FindDescriptorRecord(const std::string& name) const {
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_records[i].name == name) return int32_t(i);
    return -1;
}

int32_t KVPak::FindLoadedPak(int32_t descriptorIndex) const {
    std::shared_lock<std::shared_mutex> lock(m_paksLock);
    for (size_t i = 0; i < m_loaded.size(); ++i)
        if (m_loaded[i]->descriptorIndex == descriptorIndex) return int32_t(i);
    return -1;
}

// --- passed on to the platform layer ------------------------------------------

int32_t KVPak::QueueRequest(KVFileHandle h, void* buffer, uint32_t count, KVFileCallback callback,
                            uint32_t userValue) {
    return m_platform ? m_platform->QueueRequest(h, buffer, count, callback, userValue) : KV_FAILED;
}

int32_t KVPak::Write(KVFileHandle h, const void* data, uint32_t count, uint32_t* outCount, uint8_t flag) {
    if (outCount) *outCount = 0;
    return m_platform ? m_platform->Write(h, data, count, outCount, flag) : KV_INVALID;
}

int32_t KVPak::GetFileAttributes(const char* path, uint32_t* out) {
    return m_platform ? m_platform->GetFileAttributes(path, out) : KV_FAILED;
}

int32_t KVPak::GetFileTime(const char* path, KVFileTime* out) {
    return m_platform ? m_platform->GetFileTime(path, out) : KV_FAILED;
}

int32_t KVPak::ExecuteFile(const char* path, const char* parameters) {
    return m_platform ? m_platform->ExecuteFile(path, parameters) : KV_FAILED;
}

int32_t KVPak::GetFileSize(const char* path, uint32_t* out) {
    if (!m_platform) {
        if (out) *out = 0;
        return KV_OPEN_READ_FAILED;
    }
    return m_platform->GetFileSize(path, out);
}

int32_t KVPak::Exists(const char* path) { return m_platform ? m_platform->Exists(path) : 0; }

int32_t KVPak::IsDirectory(const char* path) { return m_platform ? m_platform->IsDirectory(path) : 0; }

int32_t KVPak::MakeDirectory(const char* path, int32_t wholeChain) {
    return m_platform ? m_platform->MakeDirectory(path, wholeChain) : KV_FAILED;
}

int32_t KVPak::GetRootPath(std::string* out) {
    if (m_platform) return m_platform->GetRootPath(out);
    if (out) out->clear();
    return KV_FAILED;
}

int32_t KVPak::IsAbsolutePath(const char* path) { return m_platform ? m_platform->IsAbsolutePath(path) : 0; }

int32_t KVPak::DeleteFile(const char* path) { return m_platform ? m_platform->DeleteFile(path) : KV_FAILED; }

int32_t KVPak::RemoveDirectory(const char* path) {
    return m_platform ? m_platform->RemoveDirectory(path) : KV_FAILED;
}

int32_t KVPak::GetDriveType(const char* path, int32_t* out) {
    return m_platform ? m_platform->GetDriveType(path, out) : KV_FAILED;
}

int32_t KVPak::GetDriveLabel(const char* path, std::string* out) {
    return m_platform ? m_platform->GetDriveLabel(path, out) : KV_FAILED;
}

int32_t KVPak::SetRootPath(const char* path) { return m_platform ? m_platform->SetRootPath(path) : KV_FAILED; }

const char* KVPak::GetLastError() { return m_platform ? m_platform->GetLastError() : nullptr; }

int32_t KVPak::CheckWriteSpace(const char* path, uint32_t a, uint32_t b) {
    return m_platform ? m_platform->CheckWriteSpace(path, a, b) : KV_FAILED;
}

} // namespace kvl
