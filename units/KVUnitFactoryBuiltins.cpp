// The built-in unit classes, registered in phase 2 in a fixed order that
// fixes their class indices: bases before derived classes. A class whose
// subsystem registers it itself has a registration function here; the
// others stand as plain classes with their final names, ids and bases, so
// that scene files already find them and every index is final.
#include "KVUnit.h"
#include "KVUnit2D.h"
#include "KVUnit3D.h"
#include "KVUnitDisplay2D.h"
#include "KVUnitDisplay3D.h"
#include "KVUnitFactory.h"

namespace kvl {

// Registrations that live beside their classes in later folders.
int32_t RegisterSoundClass();            // media/
int32_t RegisterAreaClass();             // units2d/
int32_t RegisterButtonClass();           // units2d/
int32_t RegisterCollisionGroupClass();   // units2d/
int32_t RegisterCursorClass();           // units2d/
int32_t RegisterEmbeddableClass();       // units2d/
int32_t RegisterFaderClass();            // units2d/
int32_t RegisterGUIFontClass();          // units2d/
int32_t RegisterLayerClass();            // units2d/
int32_t RegisterNode2DClass();           // units2d/
int32_t RegisterNode3DClass();           // units2d/
int32_t RegisterPSBlenderClass();        // units2d/
int32_t RegisterRenderTargetClass();     // units2d/
int32_t RegisterShapeClass();            // units2d/
int32_t RegisterSpriteClass();           // units2d/
int32_t RegisterParticle2DEmitterClass();// units2d/
int32_t RegisterTTFTextClass();          // units2d/
int32_t RegisterTextClass();             // units2d/
int32_t RegisterTimerClass();            // units2d/
int32_t RegisterCameraClass();           // units3d/
int32_t RegisterCurveClass();            // units3d/
int32_t RegisterDecalClass();            // units3d/
int32_t RegisterFogClass();              // units3d/
int32_t RegisterLightClass();            // units3d/
int32_t RegisterMeshClass();             // units3d/
int32_t RegisterMirrorClass();           // units3d/
int32_t RegisterParticleEmitterClass();  // units3d/
int32_t RegisterShaderClass();           // units3d/

namespace {

struct BuiltinClass {
    const char* name;
    const char* base;
    uint64_t id;
    const char* description;
    int32_t (*registration)();
};

const BuiltinClass kBuiltinClasses[] = {
    {"Unit", nullptr, KVUnit::kClassId, "Base unit class", &KVUnit::RegisterClass},
    {"Unit3D", "Unit", KVUnit3D::kClassId, "Base class for 3D unit classes", &KVUnit3D::RegisterClass},
    {"Display3D", "Unit3D", KVUnitDisplay3D::kClassId, "Base class for unit classes rendered in 3D",
     &KVUnitDisplay3D::RegisterClass},
    {"Camera", "Unit3D", 0x00316AFAD437A05Cull, "Camera class", &RegisterCameraClass},
    {"Mesh", "Display3D", 0x005FFDDAD7109E30ull, "Mesh class", &RegisterMeshClass},
    {"Unit2D", "Unit", KVUnit2D::kClassId, "Base class for 2D unit classes", &KVUnit2D::RegisterClass},
    {"Display2D", "Unit2D", KVUnitDisplay2D::kClassId, "Base class for unit classes rendered in 2D",
     &KVUnitDisplay2D::RegisterClass},
    {"Sprite", "Display2D", 0x006B2C9FC97EF464ull, "2D sprite class", &RegisterSpriteClass},
    {"Embeddable", "Sprite", 0x00603EC316795E20ull, "Embeddable sprite class", &RegisterEmbeddableClass},
    {"Shape", "Display2D", 0x005284A190C37378ull, "2D class which defines shape on screen",
     &RegisterShapeClass},
    {"Cursor", "Sprite", 0x0042FEDDC943ECECull, "Mouse cursor class", &RegisterCursorClass},
    {"Fader", "Shape", 0x004BC756E394F170ull, "2D class to make fade in and fade out effects",
     &RegisterFaderClass},
    {"Light", "Unit3D", 0x003C1C111C8F207Cull, "Light class", &RegisterLightClass},
    {"Sound", "Unit", 0x0060454A4DD644CCull, "", &RegisterSoundClass},
    {"GUIButton", "Sprite", 0x0001D4BF0C206EE0ull, "", &RegisterButtonClass},
    {"GUIFont", "Sprite", 0x002829639E7B37AAull, "", &RegisterGUIFontClass},
    {"Text", "Display2D", 0x00035838F285DF17ull, "", &RegisterTextClass},
    {"TTFText", "Embeddable", 0x0039F0ACF86CA52Cull, "", &RegisterTTFTextClass},
    {"Area", "Unit2D", 0x006A1B16A3272144ull, "2D class which defines polygonal area on screen",
     &RegisterAreaClass},
    {"Node3D", "Unit3D", 0x0012F0A7FBA0B654ull, "Simple 3D node", &RegisterNode3DClass},
    {"Node2D", "Unit2D", 0x003704345E5F6300ull, "Simple 2D node", &RegisterNode2DClass},
    {"Timer", "Unit", 0x00312FCDD16D06A8ull, "Timer class", &RegisterTimerClass},
    {"Layer", "Unit", 0x0063D10DF3128150ull, "Layer system class for ordering units",
     &RegisterLayerClass},
    {"ParticleEmitter", "Display3D", 0x0013F2EA0B8797E6ull, "Class for emitting particles",
     &RegisterParticleEmitterClass},
    {"Fog", "Unit", 0x0026DF79A357CBA2ull, "Class to specify fog properties for a scene", &RegisterFogClass},
    {"Mirror", "Display3D", 0x001F6F0861F39BF9ull, "Class to create a planar 3D mirror that reflects the scene",
     &RegisterMirrorClass},
    {"RenderTarget", "Embeddable", 0x00090580A047DAA3ull, "Class for 2D render target surface units",
     &RegisterRenderTargetClass},
    {"Shader", "Unit", 0x001BF2CDD8F931F4ull, "Shader class", &RegisterShaderClass},
    {"CollisionGroup", "Unit", 0x0060247B439AB90Cull, "Collision group class", &RegisterCollisionGroupClass},
    {"PSBlender", "Display2D", 0x004BDF2AACCCBDE8ull, "2D pixel shader blender unit class",
     &RegisterPSBlenderClass},
    {"Decal", "Unit3D", 0x0062931A07D4333Cull, "Class of simple mesh made of two triangles on the same plane",
     &RegisterDecalClass},
    {"Curve", "Unit3D", 0x0047BCC6171485F0ull, "3D curve", &RegisterCurveClass},
    {"Particle2DEmitter", "Display2D", 0x002C9922E725E400ull, "Class for emitting 2D particles",
     &RegisterParticle2DEmitterClass},
};

} // namespace

int32_t KVUnitFactory::RegisterAllClasses() {
    for (const BuiltinClass& builtin : kBuiltinClasses) {
        if (builtin.registration) {
            builtin.registration();
            continue;
        }
        KVUnitClassDesc desc;
        desc.name = builtin.name;
        desc.baseClass = builtin.base ? FindClassByName(builtin.base) : -1;
        desc.id = builtin.id;
        desc.description = builtin.description;
        RegisterClass(desc, nullptr);
    }
    return KV_OK;
}

} // namespace kvl
