#pragma once
// A whole core for the 2D display units (sprites, shapes, faders, cursors,
// render targets, blenders), with the PNG reader and pictures written as
// PNG files under the asset root. The graphic device is either the engine's
// OpenGL ES device on a headless screen (pixels to read back) or, by
// default, a recording device (KVSpriteDevice: the 2D calls, and a screen
// picture that snapshots read).
//
//     KVSpriteRig rig;
//     rig.WritePng("img/a.png", 4, 4, 0xFFFF0000u);
//     auto* sprite = rig.Make<kvl::KVUnitSprite>("Sprite", "S");
//     sprite->SetImage("img/a.png");
//     sprite->Draw();
//     EXPECT_EQ(rig.Device().drawn.size(), 1u);
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "KVRecordingGraphicDevice.h"
#include "graphics/IKVGraphicDevice3D.h"
#include "KVTestCoreHost.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

class KVSceneRig;

// The recording device with a higher priority than the scene devices, so
// that the core answers it first, and a screen that can be read.
class KVSpriteDevice : public KVRecordingGraphicDevice {
public:
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo* info);
    static KVSpriteDevice* instance;

    KVSpriteDevice();
    ~KVSpriteDevice() override;
    int32_t GetPriority() override { return 2; }
    // Copies screenPixels (screen width x height, rows from the top) when
    // readAnswer is 0; answers readAnswer.
    int32_t ReadScreenPixels(uint32_t* buffer, int32_t flag) override;

    std::vector<uint32_t> screenPixels;
    int32_t readAnswer = 1;
    int32_t reads = 0;
};

class KVSpriteRig {
public:
    struct Options {
        bool screen = false;  // the engine's device on a headless screen
        bool editorMode = false;
        int32_t width = 64;   // of the headless screen
        int32_t height = 48;
        // A screen device of the caller's instead of one of the rig's own
        // (see KVSceneRig::Options).
        kvl::IKVGraphicDevice3D* device = nullptr;
    };

    KVSpriteRig();
    explicit KVSpriteRig(const Options& options);
    ~KVSpriteRig();
    KVSpriteRig(const KVSpriteRig&) = delete;
    KVSpriteRig& operator=(const KVSpriteRig&) = delete;

    // False when the screen could not be made.
    bool Ready() const;
    KVTestCoreHost& Host();
    kvl::KVUnitFactory& Factory() { return *kvl::KVUnitFactory::Instance(); }
    // The recording device (not with a screen).
    KVSpriteDevice& Device() { return *KVSpriteDevice::instance; }

    // A picture file under the asset root: one colour, or the pixels given
    // (0xAARRGGBB, rows from the top). Units name files relative to the
    // asset root, the project's directory.
    void WritePng(const std::string& relative, uint32_t width, uint32_t height, uint32_t color);
    void WritePng(const std::string& relative, uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels);

    // A run-time unit of a class, named, whose script table records the
    // events ("name:Event args").
    template <class T>
    T* Make(const char* className, const char* name, const std::vector<std::string>& events = {}) {
        return static_cast<T*>(MakeUnit(className, name, events));
    }
    // Writes an attribute element by its id, as scripts and editors do.
    void SetText(kvl::KVUnit* unit, uint64_t attributeId, int32_t element, const std::string& text);
    std::vector<std::string> TakeRecords();
    // Runs Lua; fails the test on an error.
    void Run(const std::string& code);
    // Script errors reported so far, emptied.
    std::vector<std::string> TakeErrors();
    // Error lines of the engine's log so far, emptied.
    std::vector<std::string> TakeLogErrors();

    // One frame of the scene manager (the screen is presented).
    void DrawFrame();
    // The pixel at (x, y) from the top-left of the headless screen.
    uint32_t PixelAt(int32_t x, int32_t y);
    // Every pixel of the headless screen, rows from the top.
    std::vector<uint32_t> Screen();

private:
    kvl::KVUnit* MakeUnit(const char* className, const char* name, const std::vector<std::string>& events);

    std::unique_ptr<KVSceneRig> m_scene;
    int32_t m_width = 0;
    int32_t m_height = 0;
    std::unique_ptr<KVTestCoreHost> m_host;
};

} // namespace kvtest
