#pragma once
// Path services of the serializer, offered to the rest of the engine.
#include <string>
#include <vector>
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVSerialize = MakeId(0x00205798, 0xBB3E348C);

class IKVSerialize : public virtual IKVUnknown {
public:
    // The path unchanged when rooted, else the project directory + path,
    // normalised.
    virtual int32_t MakeAbsolutePath(const std::string& path, std::string* out) = 0;
    // The path relative to the project directory.
    virtual int32_t MakeRelativePath(const std::string& path, std::string* out) = 0;
    // 1 when the path starts with "/" or has ":" among its first eight characters.
    virtual int32_t IsRootedPath(const std::string& path) = 0;
    // The pieces of a "|"-separated text.
    virtual int32_t SplitList(const std::string& text, std::vector<std::string>* out) = 0;
    // The file name without directory and extension.
    virtual int32_t GetFileTitle(const std::string& path, std::string* out) = 0;
    // 0 when the file is known with the same file information, else 1.
    virtual int32_t CheckFileChanged(const std::string& path) = 0;
    virtual const std::string& GetProjectDirectory() = 0;
};

} // namespace kvl
