#pragma once
// Platform file layer: stdio streams, directory listings with "?" and "*",
// the "save:/" and "tmp:/" prefixes and the directories made at start-up.
#include <mutex>
#include <string>
#include <unordered_set>

#include "KVFileCommonFILE.h"
#include "Singleton.h"

namespace kvl {

struct FindRecord;

class KVFile : public Singleton<KVFile>, public KVFileCommonFILE {
public:
    KVFile();
    ~KVFile() override;

    KVFindHandle FindFirst(const char* pattern, FileFindData* out) override;
    int32_t FindNext(KVFindHandle find, FileFindData* out) override;
    void FindClose(KVFindHandle find) override;
    int32_t IsDirectory(const char* path) override;
    int32_t DeleteFile(const char* path) override;
    int32_t RemoveDirectory(const char* path) override;
    int32_t CreateDirectory(const std::string& path) override;

    int32_t Init(int32_t phase) override;

    // The working directory taken at phase 0, ending with "/".
    const std::string& GetBasePath() const { return m_basePath; }
    // The path with "save:/" or "tmp:/" turned into the directories below
    // the base path; any other path unchanged.
    std::string ResolvePath(const char* path) override;

    // Whether a name matches a pattern of "?" and "*", in one forward pass
    // without backtracking (so "*.lua" does not match "a.b.lua").
    static bool MatchName(const char* name, const char* pattern);

private:
    std::string m_basePath;
    std::mutex m_findsLock;
    std::unordered_set<FindRecord*> m_finds;
};

} // namespace kvl
