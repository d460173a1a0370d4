#pragma once
// The pak layer: the program's file interface. Files held by a loaded pak
// archive are read from memory (stored or zlib-compressed entries); every
// other request goes on to the platform file layer. The descriptor
// "paks/paks.kvpakdesc" of the project names the paks and says when they are
// loaded: with the project, with a scene group, or by script ("KVPak").
#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "IKVFile.h"
#include "IKVModule.h"
#include "KVLuaLibrary.h"
#include "KVPakArchive.h"
#include "Singleton.h"

namespace kvl {

// Turns a path into a path relative to the project directory.
using KVRelativePathFunction = std::string (*)(const std::string& path);

struct PakFindRecord;

class KVPak : public Singleton<KVPak>, public IKVModule, public IKVFile, public KVLuaLibrary {
public:
    static constexpr uint64_t kLogUnpackedFilesId = 0x002935E1A0D91D66ull;
    static constexpr int32_t kHandleCount = 32;

    KVPak();
    ~KVPak() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // IKVModule
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // IKVFile: the pak layer's own operations.
    int32_t Open(const char* path, int32_t mode, KVFileHandle* out) override;
    int32_t Close(KVFileHandle h) override;
    int32_t Read(KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) override;
    int32_t Tell(KVFileHandle h) override;
    int32_t Seek(KVFileHandle h, int32_t offset, int32_t origin) override;
    KVFindHandle FindFirst(const char* pattern, FileFindData* out) override;
    int32_t FindNext(KVFindHandle find, FileFindData* out) override;
    void FindClose(KVFindHandle find) override;
    int32_t IsEOF(KVFileHandle h) override;
    uint32_t GetSize(KVFileHandle h) override;

    // IKVFile: passed on to the platform layer unchanged.
    int32_t QueueRequest(KVFileHandle h, void* buffer, uint32_t count, KVFileCallback callback,
                         uint32_t userValue) override;
    int32_t Write(KVFileHandle h, const void* data, uint32_t count, uint32_t* outCount, uint8_t flag) override;
    int32_t GetFileAttributes(const char* path, uint32_t* out) override;
    int32_t GetFileTime(const char* path, KVFileTime* out) override;
    int32_t ExecuteFile(const char* path, const char* parameters) override;
    int32_t GetFileSize(const char* path, uint32_t* out) override;
    int32_t Exists(const char* path) override;
    int32_t IsDirectory(const char* path) override;
    int32_t MakeDirectory(const char* path, int32_t wholeChain) override;
    int32_t GetRootPath(std::string* out) override;
    int32_t IsAbsolutePath(const char* path) override;
    int32_t DeleteFile(const char* path) override;
    int32_t RemoveDirectory(const char* path) override;
    int32_t GetDriveType(const char* path, int32_t* out) override;
    int32_t GetDriveLabel(const char* path, std::string* out) override;
    int32_t SetRootPath(const char* path) override;
    const char* GetLastError() override;
    int32_t CheckWriteSpace(const char* path, uint32_t a, uint32_t b) override;

    // KVLuaLibrary: "KVPak"
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // Called by the serializer. Only the first call of a run acts: it keeps
    // the project directory, reads the descriptor and loads the paks marked
    // to load with the project (as temporary paks).
    int32_t SetBasePath(const std::string& path);
    // Loads, as temporary, every pak of the descriptor owned by that group.
    int32_t LoadScenePaks(const std::string& group);
    // Unloads every temporary pak (files open on one keep reading it, see
    // UnloadPakAt).
    int32_t ReleaseTemporaryPaks();

    // 0 loaded, already loaded or rejected as invalid; 1 the file did not open.
    int32_t LoadPakFile(int32_t descriptorIndex, bool temporary);
    // Unloads the i-th loaded pak: no later open or listing finds it. A
    // file already open on it keeps reading the pak's body until that file
    // is closed (a movie or a streamed sound opened while the project
    // loaded plays on after its temporary pak is released).
    int32_t UnloadPakAt(int32_t index);

    // The descriptor record of a pak name (exact), or -1.
    int32_t FindDescriptorRecord(const std::string& name) const;
    // The loaded pak made from a descriptor record, or -1.
    int32_t FindLoadedPak(int32_t descriptorIndex) const;
    const std::vector<PakDescriptorRecord>& GetDescriptorRecords() const { return m_records; }
    size_t GetLoadedPakCount() const;
    // Whether a handle is one of the pak layer's own (open or not).
    bool OwnsHandle(KVFileHandle h) { return AsPakHandle(h) != nullptr; }
    const std::string& GetBasePath() const { return m_basePath; }
    bool GetLogUnpackedFiles() const { return m_logUnpackedFiles; }
    void SetLogUnpackedFiles(bool on) { m_logUnpackedFiles = on; }

    // Seams: the platform layer to pass requests on to (instead of asking
    // the core), and how paths are made relative to the project directory
    // (by default the project directory, or else the base path, is cut from
    // the front of a path that starts with it, whatever the letter case).
    void SetPlatformFile(IKVFile* file) { m_platform = file; }
    IKVFile* GetPlatformFile() const { return m_platform; }
    void SetRelativePathFunction(KVRelativePathFunction function) { m_relativePath = function; }

private:
    struct LoadedPak {
        uint64_t serial = 0;  // never reused within a run
        std::string path;
        int32_t descriptorIndex = -1;
        bool temporary = false;
        // Shared with the handles open on the pak, which outlive its unload.
        std::shared_ptr<KVPakArchive> archive;
        // Set once the body has been read and checked.
        std::atomic<bool> ready{false};
    };

    struct PakHandle {
        bool inUse = false;
        // The archive whose body the entry reads, held until the handle is
        // closed.
        std::shared_ptr<const KVPakArchive> archive;
        KVPakEntry entry;
    };

    static void OnBodyRead(uint32_t userValue);
    void FinishBodyRead();
    // Drops the paks whose body failed its check, once no read is pending.
    void RemoveInvalidPaks();

    int32_t ReadDescriptor();
    std::string MakeRelative(const std::string& path) const;
    PakHandle* LookupFile(const char* path);
    PakHandle* AsPakHandle(KVFileHandle h);
    void WaitForLoading();
    void ReportUnpackedFile(const char* path);
    bool IsLiveFind(PakFindRecord* record);
    LoadedPak* FindBySerial(uint64_t serial) const;

    IKVFile* m_platform = nullptr;
    KVRelativePathFunction m_relativePath = nullptr;
    std::string m_basePath;
    std::vector<PakDescriptorRecord> m_records;

    // Guards the loaded paks and the handle slots: shared while reading,
    // exclusive while a pak is added or removed.
    mutable std::shared_mutex m_paksLock;
    std::vector<std::unique_ptr<LoadedPak>> m_loaded;
    std::mutex m_slotsLock;
    PakHandle m_handles[kHandleCount];

    std::mutex m_findsLock;
    std::unordered_set<PakFindRecord*> m_finds;

    // The pak whose body read is outstanding (only one at a time).
    uint64_t m_nextSerial = 1;
    LoadedPak* m_pending = nullptr;
    KVFileHandle m_pendingFile = nullptr;
    std::atomic<bool> m_invalidPending{false};

    bool m_querying = false;
    bool m_basePathSet = false;
    bool m_logUnpackedFiles = false;
    std::atomic<bool> m_loading{false};
};

} // namespace kvl
