#include "KVRecordingDiskFile.h"

namespace kvtest {
namespace {

// The handle of a listing served from the test's entries.
int g_listingHandle = 0;

std::string Text(const char* path) { return path ? path : "(null)"; }

} // namespace

kvl::KVFindHandle KVRecordingDiskFile::FindFirst(const char* pattern, kvl::FileFindData* out) {
    calls.push_back("FindFirst(" + Text(pattern) + ")");
    if (!useListing) return KVTestDiskFile::FindFirst(pattern, out);
    m_next = 0;
    if (FindNext(&g_listingHandle, out) != 0) return nullptr;
    return &g_listingHandle;
}

int32_t KVRecordingDiskFile::FindNext(kvl::KVFindHandle find, kvl::FileFindData* out) {
    if (find != &g_listingHandle) return KVTestDiskFile::FindNext(find, out);
    if (m_next >= listing.size()) return kvl::KV_NOT_FOUND;
    if (out) *out = listing[m_next];
    ++m_next;
    return 0;
}

void KVRecordingDiskFile::FindClose(kvl::KVFindHandle find) {
    calls.push_back("FindClose");
    if (find != &g_listingHandle) KVTestDiskFile::FindClose(find);
}

int32_t KVRecordingDiskFile::GetFileAttributes(const char* path, uint32_t* out) {
    calls.push_back("GetFileAttributes(" + Text(path) + ")");
    if (out && attributesStatus == 0) *out = attributes;
    return attributesStatus;
}

int32_t KVRecordingDiskFile::Exists(const char* path) {
    calls.push_back("Exists(" + Text(path) + ")");
    return KVTestDiskFile::Exists(path);
}

int32_t KVRecordingDiskFile::MakeDirectory(const char* path, int32_t wholeChain) {
    calls.push_back("MakeDirectory(" + Text(path) + "," + std::to_string(wholeChain) + ")");
    return KVTestDiskFile::MakeDirectory(path, wholeChain);
}

int32_t KVRecordingDiskFile::DeleteFile(const char* path) {
    calls.push_back("DeleteFile(" + Text(path) + ")");
    return KVTestDiskFile::DeleteFile(path);
}

int32_t KVRecordingDiskFile::RemoveDirectory(const char* path) {
    calls.push_back("RemoveDirectory(" + Text(path) + ")");
    return KVTestDiskFile::RemoveDirectory(path);
}

int32_t KVRecordingDiskFile::GetDriveType(const char* path, int32_t* out) {
    calls.push_back("GetDriveType(" + Text(path) + ")");
    if (out) *out = driveType;
    return driveTypeStatus;
}

int32_t KVRecordingDiskFile::GetDriveLabel(const char* path, std::string* out) {
    calls.push_back("GetDriveLabel(" + Text(path) + ")");
    if (out) *out = driveLabel;
    return driveLabelStatus;
}

int32_t KVRecordingDiskFile::CheckWriteSpace(const char* path, uint32_t a, uint32_t b) {
    calls.push_back("CheckWriteSpace(" + Text(path) + "," + std::to_string(a) + "," + std::to_string(b) + ")");
    return writeSpace;
}

std::vector<std::string> KVRecordingDiskFile::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls) {
        if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    }
    return out;
}

} // namespace kvtest
