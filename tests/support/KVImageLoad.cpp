#include "KVImageLoad.h"

#include <gtest/gtest.h>

namespace kvtest {

KVLoadedImage LoadImage(KVTestImageHost& host, kvl::IKVImageReader* reader, const std::string& bytes,
                        const std::string& path) {
    host.SetFile(path, bytes);
    KVLoadedImage out;
    void* handle = nullptr;
    out.open = reader->Open(path.c_str(), &handle);
    if (out.open != 0) {
        EXPECT_EQ(handle, nullptr);
        return out;
    }
    EXPECT_EQ(reader->GetInfo(handle, &out.info), 0);
    out.pixels.assign(out.info.byteSize, 0xEE);
    out.read = reader->Read(handle, out.pixels.data(), uint32_t(out.pixels.size()));
    EXPECT_EQ(reader->Close(handle), 0);
    EXPECT_EQ(host.Files().OpenHandles(), 0);
    return out;
}

} // namespace kvtest
