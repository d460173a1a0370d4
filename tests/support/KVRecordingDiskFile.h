#pragma once
// A disk file whose queries the test controls: every query is recorded as
// text ("FindFirst(pattern)", "GetFileAttributes(path)",
// "MakeDirectory(path,1)", "Exists(path)", "CheckWriteSpace(path,a,b)", ...),
// and listings, attributes, drive answers, write-space answers and the last
// error are what the test sets. Files are read and written on disk.
#include <string>
#include <vector>

#include "KVTestDiskFile.h"

namespace kvtest {

class KVRecordingDiskFile : public KVTestDiskFile {
public:
    using KVTestDiskFile::KVTestDiskFile;

    kvl::KVFindHandle FindFirst(const char* pattern, kvl::FileFindData* out) override;
    int32_t FindNext(kvl::KVFindHandle find, kvl::FileFindData* out) override;
    void FindClose(kvl::KVFindHandle find) override;
    int32_t GetFileAttributes(const char* path, uint32_t* out) override;
    int32_t Exists(const char* path) override;
    int32_t MakeDirectory(const char* path, int32_t wholeChain) override;
    int32_t DeleteFile(const char* path) override;
    int32_t RemoveDirectory(const char* path) override;
    int32_t GetDriveType(const char* path, int32_t* out) override;
    int32_t GetDriveLabel(const char* path, std::string* out) override;
    const char* GetLastError() override { return hasLastError ? lastError.c_str() : nullptr; }
    int32_t CheckWriteSpace(const char* path, uint32_t a, uint32_t b) override;

    // Calls whose text starts with the prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

    std::vector<std::string> calls;
    // Listings come from here instead of the disk when set.
    bool useListing = false;
    std::vector<kvl::FileFindData> listing;
    int32_t attributesStatus = 1;
    uint32_t attributes = 0;
    int32_t driveTypeStatus = 1;
    int32_t driveType = 0;
    int32_t driveLabelStatus = 1;
    std::string driveLabel;
    int32_t writeSpace = 1;
    bool hasLastError = false;
    std::string lastError;

private:
    size_t m_next = 0;
};

} // namespace kvtest
