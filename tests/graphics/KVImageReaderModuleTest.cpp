#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/KVJpeg.h"
#include "graphics/KVPNGInterface.h"
#include "kernel/KVCore.h"
#include "kernel/KVModules.h"
#include "kernel/KVPlatformCreators.h"
#include "kernel/KVResources.h"
#include "support/KVJpegWriter.h"
#include "support/KVPngWriter.h"
#include "support/KVTestCoreHost.h"
#include "support/KVTestImageHost.h"
#include "support/KVTestLog.h"
#include "support/KVTestResources.h"

using namespace kvl;
using namespace kvtest;

TEST(KVImageReaderModuleTest, StartUpRegistersThePngThenTheJpegCreator) {
    const std::vector<KVModuleCreator>& creators = PlatformCreators();
    ASSERT_EQ(creators.size(), 10u);
    EXPECT_EQ(creators[8], &CreatePNGInterface);
    EXPECT_EQ(creators[9], &CreateJpeg);
}

TEST(KVImageReaderModuleTest, CreatorsMakeOneModuleAndKeepTheLatestRecord) {
    KVTestImageHost first, second;
    KVModuleCreateInfo a{&first, 0};
    KVModuleCreateInfo b{&second, 7};
    struct Case {
        KVModuleCreator creator;
        uint64_t id;
    };
    for (const Case& c : {Case{&CreatePNGInterface, 0x000D45F1C890CCD1ull}, Case{&CreateJpeg, 0x0024A5521B3F6EFEull}}) {
        IKVModuleExt* module = c.creator(&a);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(c.creator(&b), module);
        auto* reader = static_cast<KVImageReaderModule*>(module);
        EXPECT_EQ(reader->GetHost(), &second);
        EXPECT_EQ(reader->GetReserved(), 7u);
        EXPECT_EQ(module->GetId(), c.id);
        EXPECT_EQ(module->GetPriority(), 0);
        void* out = nullptr;
        ASSERT_EQ(module->QueryInterface(IID_IKVImageReader, &out), 0);
        ASSERT_NE(out, nullptr);
        void* again = nullptr;
        EXPECT_EQ(static_cast<IKVImageReader*>(out)->QueryInterface(IID_IKVImageReader, &again), 0);
        EXPECT_EQ(again, out);
        EXPECT_EQ(module->QueryInterface(IID_IKVFile, &out), 2);
        EXPECT_EQ(out, nullptr);
        for (int phase = 0; phase <= 4; ++phase) EXPECT_EQ(module->Init(phase), 0);
        delete module;
    }
    EXPECT_EQ(KVPNGInterface::Instance(), nullptr);
    EXPECT_EQ(KVJpeg::Instance(), nullptr);
}

namespace {

// Opens what the manager hands over with the reader it chose.
class ImageProducer : public IKVResourceProducer {
public:
    int32_t NeedsRebuild(IKVResource*) override { return 0; }
    int32_t CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource, int32_t*,
                           uint32_t*) override {
        paths.push_back(path);
        void* image = nullptr;
        if (!reader || reader->QueryInterface(IID_IKVImageReader, &image) != KV_OK) return KV_FAILED;
        auto* imageReader = static_cast<IKVImageReader*>(image);
        void* handle = nullptr;
        if (imageReader->Open(path, &handle) != KV_OK) return KV_FAILED;
        KVImageInfo info{};
        imageReader->GetInfo(handle, &info);
        pixels.assign(info.byteSize, 0);
        const int32_t status = imageReader->Read(handle, pixels.data(), info.byteSize);
        imageReader->Close(handle);
        if (status != KV_OK) return KV_FAILED;
        *resource = new KVTestResource(path, KVRESOURCE_TEXTURE, true);
        return KV_OK;
    }
    std::vector<std::string> paths;
    std::vector<uint8_t> pixels;
};

} // namespace

// Phase 2 hands both readers to the resource manager, which picks them by
// their own extension; a ".tga" name is read from its ".png" twin.
TEST(KVImageReaderModuleTest, ReadersServeTheResourceManagerAfterPhaseTwo) {
    KVTestCoreHost host;
    KVTestLog log;
    KVModules::Instance()->RegisterModule(&CreatePNGInterface);
    KVModules::Instance()->RegisterModule(&CreateJpeg);
    host.StartProject();
    KVResources* resources = KVResources::Instance();
    ASSERT_NE(resources, nullptr);
    IKVResourceReader* png = resources->FindReader("a/b.png");
    IKVResourceReader* jpeg = resources->FindReader("a/b.jpg");
    ASSERT_NE(png, nullptr);
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(png, &KVPNGInterface::Instance()->GetReader());
    EXPECT_EQ(jpeg, &KVJpeg::Instance()->GetReader());
    EXPECT_EQ(resources->FindReader("a/b.tga"), nullptr);

    PngImage image;
    image.width = 1;
    image.height = 1;
    image.samples = {10, 20, 30};
    host.Dir().WriteFile("assets/img/hero.png", WritePng(image));
    std::vector<uint8_t> rgb = {200, 100, 50};
    host.Dir().WriteFile("assets/img/sky.jpg", WriteRgbJpeg(1, 1, rgb, 1, 1, FlatQuant(1), FlatQuant(1)));
    ImageProducer producer;
    IKVResource* hero = nullptr;
    ASSERT_EQ(resources->Load((host.Root() + "img/hero.tga").c_str(), &producer, nullptr, &hero, 0), 0);
    EXPECT_EQ(producer.paths.back().substr(producer.paths.back().size() - 8), "hero.png");
    EXPECT_EQ(producer.pixels, (std::vector<uint8_t>{30, 20, 10, 255}));
    hero->Release();
    IKVResource* sky = nullptr;
    ASSERT_EQ(resources->Load((host.Root() + "img/sky.jpg").c_str(), &producer, nullptr, &sky, 0), 0);
    EXPECT_EQ(producer.pixels, (std::vector<uint8_t>{50, 100, 200, 255}));
    sky->Release();

    // A damaged file fails its load, and the manager says so in the log.
    const std::string sky8 = WriteRgbJpeg(8, 8, std::vector<uint8_t>(8 * 8 * 3, 90), 1, 1, FlatQuant(1),
                                          FlatQuant(1));
    host.Dir().WriteFile("assets/img/cut.jpg", sky8.substr(0, sky8.size() / 2));
    host.Dir().WriteFile("assets/img/cut.png", WritePng(image).substr(0, 40));
    for (const char* name : {"img/cut.jpg", "img/cut.png"}) {
        log.Clear();
        IKVResource* cut = nullptr;
        EXPECT_NE(resources->Load((host.Root() + name).c_str(), &producer, nullptr, &cut, 0), 0) << name;
        EXPECT_EQ(cut, nullptr);
        EXPECT_TRUE(log.Contains("Unable to load", 2)) << name;
    }
}
