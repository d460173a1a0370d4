// Class "Sprite": its attributes with the ids under which scene files store
// them, and the script methods "SetFrame", "GetFrame", "TakeSnapshot" and
// "Save". Methods get the unit first on the script stack and their
// arguments after it.
#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitSprite.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

void LoadImagesHook(void* unit) {
    if (KVUnitSprite* sprite = KVUnitSprite::FromUnit(static_cast<KVUnit*>(unit))) sprite->LoadImages();
}

void ReloadHook(void* unit) {
    if (KVUnitSprite* sprite = KVUnitSprite::FromUnit(static_cast<KVUnit*>(unit))) sprite->Reload();
}

void SizeToFrameHook(void* unit) {
    if (KVUnitSprite* sprite = KVUnitSprite::FromUnit(static_cast<KVUnit*>(unit))) sprite->SizeToFrame();
}

int ScriptSetFrame(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitSprite* sprite = KVUnitSprite::FromUnit(unit);
    if (!lua || !sprite) return 0;
    const int32_t index = lua->ToInteger(kFirstArgument);
    if (index >= 0 && uint32_t(index) < sprite->GetFrameCount())
        sprite->SetFrame(uint32_t(index));
    else
        lua->ReportError("sprite frame index out of range");
    return 0;
}

int ScriptGetFrame(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitSprite* sprite = KVUnitSprite::FromUnit(unit);
    if (!lua || !sprite) return 0;
    if (sprite->IsOwnTexture())
        lua->PushInteger(0);
    else if (sprite->GetFrame() < sprite->GetFrameListSize())
        lua->PushInteger(int32_t(sprite->GetFrame()));
    else
        lua->PushInteger(-1);
    return 1;
}

int ScriptTakeSnapshot(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitSprite* sprite = KVUnitSprite::FromUnit(unit);
    if (!lua || !sprite) return 0;
    const int32_t count = std::max(lua->GetTop() - 1, 0);
    int32_t bounds[4] = {0, 0, 0, 0};
    for (int32_t i = 0; i < 4 && i < count; ++i) bounds[i] = lua->ToInteger(kFirstArgument + i);
    float scale[2] = {1.0f, 1.0f};
    if (count >= 5) scale[0] = float(lua->ToNumber(kFirstArgument + 4));
    if (count >= 6) scale[1] = float(lua->ToNumber(kFirstArgument + 5));
    sprite->TakeSnapshot(count, bounds, scale);
    return 0;
}

int ScriptSave(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitSprite* sprite = KVUnitSprite::FromUnit(unit);
    if (!lua || !sprite || lua->CheckArgCount(kFirstArgument, false) != KV_OK) return 0;
    const char* path = lua->ToString(kFirstArgument);
    if (!path) {
        lua->ArgumentError(1);
        return 0;
    }
    sprite->Save(path);
    return 0;
}

} // namespace

void KVUnitSprite::RegisterScriptMethods(int32_t classIndex) {
    KVLua* lua = KVLua::Instance();
    if (!lua) return;
    lua->RegisterClassFunction(classIndex, "SetFrame", &ScriptSetFrame);
    lua->RegisterClassFunction(classIndex, "GetFrame", &ScriptGetFrame);
    lua->RegisterClassFunction(classIndex, "TakeSnapshot", &ScriptTakeSnapshot);
    lua->RegisterClassFunction(classIndex, "Save", &ScriptSave);
}

int32_t KVUnitSprite::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Sprite", &KVUnitSprite::Create, "Display2D", kClassId, "2D sprite class");
    if (classIndex < 0) return -1;
    s_classIndex = classIndex;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitSprite probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"AlphaTestThreshold", KVATTR_U32, &probe.m_alphaTestThreshold, 1, kAlphaTestThresholdId,
         uint16_t(kStored | AttributeFlags(KVAF_NO_PASS)), 0, nullptr, ReloadHook, nullptr, "", 0},
        {"Image@Image file|*.TGA;*.BMP;*.JPG;*.JPEG;*.PNG", KVATTR_PATHS, &probe.m_image, 1, kImageId, kStored, 0,
         nullptr, LoadImagesHook, nullptr, "", 0},
        // The 2D base's pair under the sprite's own id: read from scene
        // files, not offered to scripts.
        {"Scale~X~Y", KVATTR_F32, &probe.m_scale, 2, kScaleId, AttributeFlags(KVAF_APPLIED), 0, nullptr, nullptr,
         nullptr, "", 0},
        {"Color", KVATTR_COLOR, &probe.m_color, 1, kColorId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"AlphaTest", KVATTR_BOOLEAN, &probe.m_alphaTest, 1, kAlphaTestId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        {"Frame", KVATTR_U32, &probe.m_frame, 1, kFrameId, AttributeFlags(KVAF_SCRIPT, KVAF_NO_COPY), 0, nullptr,
         SizeToFrameHook, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    RegisterScriptMethods(classIndex);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterSpriteClass() { return KVUnitSprite::RegisterClass(); }

} // namespace kvl
