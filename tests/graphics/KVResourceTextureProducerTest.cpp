// The texture producer with an image reader that delivers what the test
// asks: formats other than 32-bit B, G, R, A cut into frames (a byte count
// per frame), byte counts that do not fit, a mask from the reader, failures,
// and textures read again after their file changed.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "graphics/IKVImageReader.h"
#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "kernel/KVResources.h"
#include "support/KVFakeGraphicDevice.h"
#include "support/KVFakeTexture.h"
#include "support/KVPngWriter.h"
#include "support/KVTestLog.h"
#include "support/KVTextureHost.h"

using namespace kvl;
using kvtest::KVFakeTexture;

namespace {

// Serves "*.raw" names from pictures the test sets: the information record
// and a stream of bytes that Read hands out in order.
class ScriptedReader : public IKVImageReader {
public:
    struct Picture {
        KVImageInfo info{};
        std::vector<uint8_t> stream;
        int32_t openStatus = 0;
    };
    struct Handle {
        const Picture* picture;
        size_t at;
    };

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVImageReader) return AnswerInterface(static_cast<IKVImageReader*>(this), out);
        return IKVImageReader::QueryInterface(id, out);
    }
    int32_t Open(const char* path, void** handle) override {
        auto found = pictures.find(path);
        if (found == pictures.end()) return 1;
        if (found->second.openStatus != 0) return found->second.openStatus;
        *handle = new Handle{&found->second, 0};
        ++open;
        return 0;
    }
    int32_t Close(void* handle) override {
        delete static_cast<Handle*>(handle);
        --open;
        return 0;
    }
    int32_t Read(void* handle, void* buffer, uint32_t size) override {
        auto* h = static_cast<Handle*>(handle);
        if (h->at + size > h->picture->stream.size()) return 1;
        std::memcpy(buffer, h->picture->stream.data() + h->at, size);
        h->at += size;
        return 0;
    }
    const char* GetExtension() override { return "raw"; }
    const char* GetExtensions() override { return nullptr; }
    int32_t GetInfo(void* handle, KVImageInfo* info) override {
        *info = static_cast<Handle*>(handle)->picture->info;
        return 0;
    }

    std::map<std::string, Picture> pictures;
    int open = 0;
};

void Append32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

class KVResourceTextureProducerTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.maxTextureSize = {16, 16};
        host.Graphic().SetDevice(&device);
        host.Resources().RegisterReader(&reader);
    }
    ScriptedReader::Picture& Picture(const std::string& name, uint32_t format, uint32_t width, uint32_t height) {
        ScriptedReader::Picture& p = reader.pictures[host.Path(name)];
        p.info.format = format;
        p.info.width = width;
        p.info.height = height;
        p.info.byteSize = width * height * 4;
        return p;
    }

    kvtest::KVTestLog log;
    kvtest::KVFakeGraphicDevice device;
    kvtest::KVTextureHost host{&device};
    ScriptedReader reader;
};

TEST_F(KVResourceTextureProducerTest, OtherFormatsCutIntoFramesReadOneByteCountPerFrame) {
    // 20 x 16 in two frames: 16 and 4 wide.
    ScriptedReader::Picture& p = Picture("img/a.raw", KVTEXFMT_RAW32, 20, 16);
    Append32(&p.stream, 16 * 16 * 4);
    Append32(&p.stream, 4 * 16 * 4);
    for (uint32_t frame = 0; frame < 2; ++frame)
        for (uint32_t i = 0; i < (frame == 0 ? 256u : 64u); ++i) Append32(&p.stream, 0xFF000000u | frame << 16 | i);
    KVResourceTexture* texture = host.Load("img/a.raw");
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->GetFrameCount(), 2);
    EXPECT_TRUE(texture->IsTiledOnly());
    KVFakeTexture* first = static_cast<KVFakeTexture*>(texture->GetFrame(0)->texture);
    KVFakeTexture* second = static_cast<KVFakeTexture*>(texture->GetFrame(1)->texture);
    EXPECT_EQ(first->PixelAt(15, 15), 0xFF000000u | 255u);
    EXPECT_EQ(second->PixelAt(3, 15), 0xFF010000u | 63u);
    EXPECT_EQ(reader.open, 0);
    texture->Release();
}

TEST_F(KVResourceTextureProducerTest, ByteCountsBeyondTheFrameAreCutToIt) {
    // Rows of 8 pixels for a frame 4 wide, and a count a few bytes past a
    // whole frame of rows at the locked pitch.
    ScriptedReader::Picture& p = Picture("img/b.raw", KVTEXFMT_RAW32, 20, 16);
    Append32(&p.stream, 16 * 16 * 4 + 5);
    Append32(&p.stream, 8 * 16 * 4);
    for (uint32_t i = 0; i < 256; ++i) Append32(&p.stream, i);
    p.stream.resize(p.stream.size() + 5, 0xEE);
    for (uint32_t i = 0; i < 128; ++i) Append32(&p.stream, 0xAB000000u | i);
    KVResourceTexture* texture = host.Load("img/b.raw");
    ASSERT_NE(texture, nullptr);
    KVFakeTexture* first = static_cast<KVFakeTexture*>(texture->GetFrame(0)->texture);
    KVFakeTexture* second = static_cast<KVFakeTexture*>(texture->GetFrame(1)->texture);
    EXPECT_EQ(first->PixelAt(15, 15), 255u);
    EXPECT_EQ(second->PixelAt(3, 0), 0xAB000003u);
    EXPECT_EQ(second->PixelAt(0, 1), 0xAB000008u);
    texture->Release();
}

TEST_F(KVResourceTextureProducerTest, MaskCanComeFromTheReader) {
    ScriptedReader::Picture& p = Picture("img/m.raw", KVTEXFMT_BGRA, 10, 2);
    p.info.readerMask = 1;
    p.stream.assign(10 * 2 * 4, 0xFF);
    p.stream.insert(p.stream.end(), {0x12, 0x03, 0x34, 0x01});
    KVResourceTexture* texture = host.Load("img/m.raw");
    ASSERT_NE(texture, nullptr);
    const uint8_t* data = nullptr;
    int32_t pitch = 0;
    ASSERT_EQ(texture->GetAlphaMask(&data, &pitch, nullptr), 0);
    EXPECT_EQ(pitch, 2);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 4), (std::vector<uint8_t>{0x12, 0x03, 0x34, 0x01}));
    EXPECT_TRUE(texture->GetMaskFlag());
    texture->Release();
}

TEST_F(KVResourceTextureProducerTest, ReaderFailuresLeaveNoTexture) {
    struct Case {
        const char* name;
        uint32_t width, height;
        int32_t openStatus;
        size_t streamBytes;
    };
    const Case cases[] = {
        {"img/zero.raw", 0, 4, 0, 0},
        {"img/closed.raw", 4, 4, 7, 64},
        {"img/short.raw", 4, 4, 0, 63},
        {"img/short-tiled.raw", 20, 4, 0, 20 * 4 * 4 - 1},
        // Four giga-pixels do not fit the reader's 32-bit sizes.
        {"img/huge.raw", 65536, 16384, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedReader::Picture& p = Picture(c.name, KVTEXFMT_BGRA, c.width, c.height);
        p.openStatus = c.openStatus;
        p.stream.assign(c.streamBytes, 0x40);
        int32_t status = 0;
        EXPECT_EQ(host.Load(c.name, 0, &status), nullptr);
        EXPECT_NE(status, 0);
        EXPECT_EQ(reader.open, 0);
        EXPECT_EQ(host.Resources().GetManagedCount(), 0u);
        EXPECT_EQ(KVFakeTexture::Alive(), 0);
        EXPECT_TRUE(log.Contains(std::string("Unable to load data/") + c.name, 2));
    }
}

TEST_F(KVResourceTextureProducerTest, ReloadKeepsTheFlagsAndTakesTheNewSize) {
    std::vector<uint32_t> pixels(16, 0x80FFFFFFu);
    host.SetFile("img/p.png", kvtest::WritePngArgb(4, 4, pixels));
    KVResourceTexture* texture = host.Load("img/p.png", 1 | 8);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetDescriptor().flag2, 0);
    ASSERT_EQ(texture->GetAlphaMask(nullptr, nullptr, nullptr), 0);

    // The file changes on disk while the texture's data is freed.
    std::vector<uint32_t> larger(8 * 6, 0x80FFFFFFu);
    larger[1] = 0;
    host.SetFile("img/p.png", kvtest::WritePngArgb(8, 6, larger));
    host.Resources().DropAllOfType(KVRESOURCE_TEXTURE);
    ASSERT_NE(texture->GetDeviceTexture(), nullptr);
    EXPECT_EQ(texture->GetDescriptor().width, 8u);
    EXPECT_EQ(texture->GetImageSize()[1], 6);
    EXPECT_EQ(texture->PeekDeviceTexture()->GetSize()->width, 8);
    EXPECT_EQ(texture->GetDescriptor().flag2, 0);
    const uint8_t* data = nullptr;
    int32_t pitch = 0;
    ASSERT_EQ(texture->GetAlphaMask(&data, &pitch, nullptr), 0);
    EXPECT_EQ(pitch, 1);
    EXPECT_EQ(data[0], 0xFD);
    texture->Release();
}

} // namespace
