#pragma once
#include <cstring>
#include <string>
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVFile = MakeId(0x00001AF4, 0xA8447A7F);

enum KVFileOpenMode : int32_t {
    KVFILE_READ = 0,    // "rb"
    KVFILE_WRITE = 1,   // "wb": create or truncate
    KVFILE_UPDATE = 2,  // "rb+": read and write an existing file
};

enum KVFileAttribute : uint32_t {
    KVFILE_ATTR_READONLY = 1u << 0,
    KVFILE_ATTR_DIRECTORY = 1u << 1,
};

struct KVFileTime {
    uint32_t a = 0;
    uint8_t b[5] = {0, 0, 0, 0, 0};
    uint32_t c = 0;
};

inline bool SameFileTime(const KVFileTime& x, const KVFileTime& y) {
    return x.a == y.a && std::memcmp(x.b, y.b, sizeof x.b) == 0 && x.c == y.c;
}

// One listing entry.
struct FileFindData {
    std::string name;       // without its directory
    uint32_t attributes = 0;
    KVFileTime time;
    uint32_t size = 0;
};

using KVFileHandle = void*;
using KVFindHandle = void*;
using KVFileCallback = void (*)(uint32_t userValue);

// The one interface through which the engine touches files. Implemented by
// the platform file layer and by the pak layer in front of it.
class IKVFile : public virtual IKVUnknown {
public:
    virtual int32_t Open(const char* path, int32_t mode, KVFileHandle* out) = 0;
    virtual int32_t Close(KVFileHandle h) = 0;
    // Reads up to count bytes at the position and moves past them, storing
    // the number read in *outCount (when given). The end of the file: a read
    // that gives no bytes, because the position is at the end or count is
    // 0, answers 0xc0002 (KV_READ_FAILED) with a count of 0, so a caller
    // may loop until a read fails. A read that gives at least one byte
    // answers 0, even when fewer than count were left. A source that fails
    // on the way (damaged compressed data) answers 0xc0002 with the bytes it
    // could give; a null or closed handle answers 3. Every layer keeps this,
    // the pak layer as the platform layer.
    virtual int32_t Read(KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) = 0;
    virtual int32_t QueueRequest(KVFileHandle h, void* buffer, uint32_t count,
                                 KVFileCallback callback, uint32_t userValue) = 0;
    virtual int32_t Write(KVFileHandle h, const void* data, uint32_t count, uint32_t* outCount,
                          uint8_t flag) = 0;
    virtual int32_t Tell(KVFileHandle h) = 0;
    virtual int32_t Seek(KVFileHandle h, int32_t offset, int32_t origin) = 0;
    virtual KVFindHandle FindFirst(const char* pattern, FileFindData* out) = 0;
    virtual int32_t FindNext(KVFindHandle find, FileFindData* out) = 0;
    virtual void FindClose(KVFindHandle find) = 0;
    virtual int32_t GetFileAttributes(const char* path, uint32_t* out) = 0;
    virtual int32_t IsEOF(KVFileHandle h) = 0;
    virtual int32_t GetFileTime(const char* path, KVFileTime* out) = 0;
    virtual int32_t ExecuteFile(const char* path, const char* parameters) = 0;
    virtual int32_t GetFileSize(const char* path, uint32_t* out) = 0;
    virtual uint32_t GetSize(KVFileHandle h) = 0;
    virtual int32_t Exists(const char* path) = 0;
    virtual int32_t IsDirectory(const char* path) = 0;
    virtual int32_t MakeDirectory(const char* path, int32_t wholeChain) = 0;
    virtual int32_t GetRootPath(std::string* out) = 0;
    virtual int32_t IsAbsolutePath(const char* path) = 0;
    virtual int32_t DeleteFile(const char* path) = 0;
    virtual int32_t RemoveDirectory(const char* path) = 0;
    virtual int32_t GetDriveType(const char* path, int32_t* out) = 0;
    virtual int32_t GetDriveLabel(const char* path, std::string* out) = 0;
    virtual int32_t SetRootPath(const char* path) = 0;
    virtual const char* GetLastError() = 0;
    virtual int32_t CheckWriteSpace(const char* path, uint32_t a, uint32_t b) = 0;
};

} // namespace kvl
