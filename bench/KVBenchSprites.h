#pragma once
// The 10,000-sprite scene that the frame figures draw: sprite units sharing
// one 32x32 PNG, each walked right and back by its own script's "OnUpdate"
// through its Position attribute, on a whole core over the caller's screen
// device. Also the same picture as bare quads, for baselines.
#include <memory>
#include <vector>

#include "graphics/KVGLwebOSRender.h"
#include "support/KVSpriteRig.h"
#include "units2d/KVUnitSprite.h"

namespace kvbench {

class SpriteScene {
public:
    static constexpr int kSprites = 10000;
    static constexpr int kSide = 32;

    // The device is initialised on a screen of width x height and outlives
    // the scene. Aborts with the reason when the scene cannot be made.
    SpriteScene(kvl::KVGLwebOSRender& device, int width, int height);
    ~SpriteScene();

    // One frame's update of every unit, then the scene manager's draw (the
    // picture is presented).
    void Update(float dt);
    void Draw();
    // The same picture as 10,000 quads straight to the device, presented.
    void DrawBareQuads();

    static void Fail(const char* why);

private:
    void MakeSprites();

    kvl::KVGLwebOSRender& m_device;
    int m_width, m_height;
    std::unique_ptr<kvtest::KVSpriteRig> m_rig;
    std::vector<kvl::KVUnitSprite*> m_sprites;
    kvl::IKVTexture* m_texture = nullptr;  // the sprites' picture on the device
    std::vector<kvl::KV2DVertex> m_quads;
};

} // namespace kvbench
