#pragma once
// Fakes for the resource manager's tests: resources of either kind that
// count what is done to them, a producer that makes them (and can be told to
// fail), readers by extension, a special reader, a load context, and a disk
// file layer whose file time stamps the test sets.
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kernel/IKVResource.h"
#include "support/KVTestDiskFile.h"

namespace kvtest {

class KVTestResource : public kvl::IKVResource {
public:
    KVTestResource(std::string name, int32_t kind, bool managed);
    // Public so that tests may keep one on the stack (never released to zero).
    ~KVTestResource() override;

    int32_t Retain() override { return ++m_count; }
    // At zero: leaves the resource manager, then is deleted.
    int32_t Release() override;
    int32_t FreeData() override;
    int32_t GetManagerIndex() override { return m_index; }
    int32_t SetManagerIndex(int32_t index) override;
    int32_t GetType() override { return m_kind; }
    int32_t IsManaged() override { return m_managed ? 1 : 0; }
    const char* GetName() override { return m_name.c_str(); }
    int32_t Invalidate() override;
    int32_t TakeLostFlag() override;

    int32_t RefCount() const { return m_count; }
    bool HasData() const { return m_hasData; }
    void SetHasData(bool on) { m_hasData = on; }
    int freeDataCalls = 0;
    int invalidateCalls = 0;
    int loads = 0;  // times a producer filled it

    // Resources alive in the process.
    static int Alive();

private:
    std::string m_name;
    int32_t m_kind;
    bool m_managed;
    int32_t m_count = 1;
    int32_t m_index = -1;
    bool m_hasData = true;
    bool m_lost = false;
};

class KVTestProducer : public kvl::IKVResourceProducer {
public:
    explicit KVTestProducer(int32_t kind = kvl::KVRESOURCE_TEXTURE) : m_kind(kind) {}

    int32_t NeedsRebuild(kvl::IKVResource*) override { return needsRebuild; }
    int32_t CreateResource(const char* path, kvl::IKVResourceReader* reader, kvl::IKVResource** resource,
                           int32_t* managed, uint32_t* size) override;

    // What the producer was asked: path, reader, and whether it reloaded.
    struct Call {
        std::string path;
        kvl::IKVResourceReader* reader;
        bool reload;
    };
    std::vector<Call> calls;
    int32_t needsRebuild = 0;
    std::set<std::string> failing;   // paths whose loads fail
    bool failWithObject = false;     // a failed new load still hands back an object
    bool reportUnmanaged = false;
    uint32_t reportedSize = 100;

private:
    int32_t m_kind;
};

class KVTestReader : public kvl::IKVResourceReader {
public:
    // alternatives: each followed by a zero, the list ended by an empty one.
    KVTestReader(std::string extension, std::string alternatives = std::string())
        : m_extension(std::move(extension)), m_alternatives(std::move(alternatives)) {}

    int32_t Open(const char*, void** outHandle) override;
    int32_t Close(void*) override { return kvl::KV_OK; }
    int32_t Read(void*, void*, uint32_t) override { return kvl::KV_OK; }
    const char* GetExtension() override { return m_extension.c_str(); }
    const char* GetExtensions() override { return m_alternatives.empty() ? nullptr : m_alternatives.c_str(); }

private:
    std::string m_extension;
    std::string m_alternatives;
};

class KVTestPathReader : public kvl::IKVPathResourceReader {
public:
    explicit KVTestPathReader(std::string accepted) : m_accepted(std::move(accepted)) {}
    int32_t AcceptsPath(const char* path) override;
    int32_t Open(const char*, void** outHandle) override;
    int32_t Close(void*) override { return kvl::KV_OK; }
    int32_t Read(void*, void*, uint32_t) override { return kvl::KV_OK; }
    const char* GetExtension() override { return ""; }
    const char* GetExtensions() override { return nullptr; }

private:
    std::string m_accepted;
};

class KVTestSpecialReader : public kvl::IKVSpecialResourceReader {
public:
    int32_t Exists(const char* path) override { return supplied.count(path ? path : "") ? 1 : 0; }
    std::set<std::string> supplied;
};

class KVTestLoadContext : public kvl::IKVResourceLoadContext {
public:
    void BeforeLoad() override { journal.push_back("before"); }
    void AfterLoad() override { journal.push_back("after"); }
    std::vector<std::string> journal;
};

// A disk file layer that answers GetFileTime from stamps the test sets.
class KVTestTimedDiskFile : public KVTestDiskFile {
public:
    using KVTestDiskFile::KVTestDiskFile;
    int32_t GetFileTime(const char* path, kvl::KVFileTime* out) override;
    void SetTime(const std::string& path, uint32_t stamp) { m_times[path] = stamp; }
    int timeQueries = 0;

private:
    std::map<std::string, uint32_t> m_times;
};

} // namespace kvtest
