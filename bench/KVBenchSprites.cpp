#include "KVBenchSprites.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "KVLua/KVLua.h"
#include "units/KVSceneManager.h"
#include "units/KVUnitFactory.h"

namespace kvbench {

void SpriteScene::Fail(const char* why) {
    std::fprintf(stderr, "sprite frame benchmark: %s\n", why);
    std::abort();
}

SpriteScene::SpriteScene(kvl::KVGLwebOSRender& device, int width, int height)
    : m_device(device), m_width(width), m_height(height) {
    if (kvl::KVLua::Instance() || kvl::KVUnitFactory::Instance())
        Fail("a script binding or unit factory exists already; run this figure in a process of its own");
    kvtest::KVSpriteRig::Options options;
    options.device = &device;
    options.width = width;
    options.height = height;
    m_rig = std::make_unique<kvtest::KVSpriteRig>(options);
    if (!m_rig->Ready()) Fail("no core on the screen device");
    std::vector<uint32_t> pixels(size_t(kSide) * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) pixels[size_t(y) * kSide + x] = 0xFF000000u | uint32_t(x * 8 << 16 | y * 8);
    m_rig->WritePng("img/sprite.png", kSide, kSide, pixels);
    MakeSprites();
    Update(1.0f / 60.0f);
    Draw();
    // Every sprite is drawn, and the scripts move them.
    kvl::KVUnitSprite* first = m_sprites.front();
    const float before = first->GetPosition()->x;
    Update(1.0f / 60.0f);
    Draw();
    if (first->GetPosition()->x == before) Fail("the scripts do not move the sprites");
    kvl::IKVResourceTexture* picture = first->GetCurrentTexture();
    if (!picture || !(m_texture = picture->PeekDeviceTexture())) Fail("the sprites have no picture");
    if (kvl::KVSceneManager::Instance()->GetList(kvl::KVSCENE_LIST_DRAWN).size() != size_t(kSprites))
        Fail("not every sprite is drawn");
}

SpriteScene::~SpriteScene() {
    m_sprites.clear();
    m_rig.reset();
}

void SpriteScene::MakeSprites() {
    kvl::KVUnitFactory& factory = m_rig->Factory();
    kvl::KVLua& lua = m_rig->Host().Lua();
    const int32_t spriteClass = factory.FindClassByName("Sprite");
    std::mt19937 rng(41);
    std::uniform_int_distribution<int> x(0, m_width - kSide - 64), y(0, m_height - kSide);
    std::string places = "Places = {";
    for (int i = 1; i <= kSprites; ++i) {
        const std::string name = "S" + std::to_string(i);
        lua.CreateNamespaceTable(name.c_str(), -1, false);
        places += "{" + std::to_string(x(rng)) + "," + std::to_string(y(rng)) + "},";
    }
    m_rig->Run(places + "}\n");
    // Each sprite walks right and back over 64 pixels, one a frame.
    m_rig->Run("for i = 1, " + std::to_string(kSprites) +
               " do\n"
               "  local t, x0 = _G['S' .. i], Places[i][1]\n"
               "  local step = 0\n"
               "  t.OnUpdate = function()\n"
               "    step = (step + 1) % 128\n"
               "    t.Position_X = x0 + (step < 64 and step or 128 - step)\n"
               "  end\n"
               "end\n");
    std::mt19937 tint(5);
    for (int i = 1; i <= kSprites; ++i) {
        kvl::KVUnit* unit = nullptr;
        // Made without a generated name (finding a free counter for each
        // of 10,000 units of one class is the slow part of a set-up), so
        // the creation's last steps are taken here.
        factory.CreateUnit(spriteClass, &unit, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
        auto* sprite = dynamic_cast<kvl::KVUnitSprite*>(unit);
        if (!sprite) Fail("no sprite unit");
        sprite->SetName("S" + std::to_string(i));
        factory.UpdateRootMembership(sprite);
        sprite->SetParentEnabled(true);
        sprite->ApplyEnabledState();
        sprite->SetImage("img/sprite.png");
        sprite->SetColor(0xC0000000u | (uint32_t(tint()) & 0xFFFFFFu));
        m_sprites.push_back(sprite);
    }
    factory.RebindScripts();
    m_rig->Run("for i = 1, " + std::to_string(kSprites) +
               " do local t = _G['S' .. i]; t.Position_X = Places[i][1]; t.Position_Y = Places[i][2] end\n");
    if (!m_rig->TakeErrors().empty()) Fail("the scripts failed");
    for (kvl::KVUnitSprite* sprite : m_sprites) {
        const kvl::KV2DTempl<float>& at = *sprite->GetPosition();
        const float l = at.x, t = at.y, r = l + kSide, b = t + kSide;
        const uint32_t c = sprite->GetColor();
        const kvl::KV2DVertex quad[4] = {{l, t, 0, c, 0, 0}, {l, b, 0, c, 0, 1}, {r, b, 0, c, 1, 1}, {r, t, 0, c, 1, 0}};
        m_quads.insert(m_quads.end(), quad, quad + 4);
    }
}

void SpriteScene::Update(float dt) { m_rig->Factory().Update(dt); }

void SpriteScene::Draw() { m_rig->DrawFrame(); }

void SpriteScene::DrawBareQuads() {
    m_device.BeginFrame(1);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    kvl::KVDrawState state;
    state.blend = 1;
    state.textureFlag = 1;
    m_device.SetTexture(0, m_texture);
    m_device.SetBlendState(&state, 0);
    m_device.SetTransform(1, identity);
    for (size_t i = 0; i < size_t(kSprites); ++i) m_device.DrawPolygon(&m_quads[i * 4], 4);
    m_device.Flush();
    m_device.EndFrame();
    m_device.Present();
}

} // namespace kvbench
