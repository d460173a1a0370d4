// Class "Mesh": its attributes with the ids under which scene files store
// them, and its script methods. Methods get the unit first on the script
// stack and their arguments after it.
#include <cmath>
#include <limits>

#include "../KVLua/KVLua.h"
#include "../kernel/KVCore.h"
#include "../units/IKVSerialize.h"
#include "../units/KV3DMath.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitMesh.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

KVUnitMesh* Mesh(void* target) { return dynamic_cast<KVUnitMesh*>(static_cast<KVUnit*>(target)); }

void MeshChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->LoadMesh();
}
void IlluminationChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->ApplyIllumination();
}
void FrozenChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->ApplyFrozen();
}
void PositionChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->ApplyPosition();
}
void RotationChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->ApplyRotation();
}
void ScaleChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->ApplyScale();
}
void DebugFlagsChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->ApplyDebugFlags();
}
void TextureSpriteChanged(void* target) {
    if (KVUnitMesh* mesh = Mesh(target)) mesh->SetTextureSprite();
}

// The binding and the unit as a mesh unit; null (and nothing to do) when
// the count check fails or the unit is of another kind.
struct Call {
    IKVLua* lua = nullptr;
    KVUnitMesh* mesh = nullptr;

    Call(IKVUnit* unit, int32_t count, bool atLeast, bool check = true) {
        lua = GetLuaBinding();
        if (!lua) return;
        if (check && lua->CheckArgCount(kFirstArgument + count - 1, atLeast) != KV_OK) return;
        mesh = KVUnitMesh::FromUnit(unit);
    }
    explicit operator bool() const { return lua && mesh; }

    ScriptType Type(int32_t argument) {
        ScriptType type = SCRIPT_UNKNOWN;
        lua->GetArgType(kFirstArgument + argument - 1, &type);
        return type;
    }

    // The animation named or numbered by the argument; false after the
    // report (an empty name selects nothing and reports nothing). A
    // negative number passes only where it means "none".
    bool Animation(int32_t argument, bool negativeAllowed, int32_t* out) {
        const int32_t at = kFirstArgument + argument - 1;
        const ScriptType type = Type(argument);
        if (type == SCRIPT_STRING) {
            const std::string name = lua->ToStdString(at);
            if (name.empty()) return false;
            *out = mesh->FindAnimation(name);
            if (*out < 0) lua->ReportError(("Unknown animation name: " + name).c_str());
            return *out >= 0;
        }
        if (type != SCRIPT_NUMBER) {
            lua->ArgumentError(argument);
            return false;
        }
        *out = lua->ToInteger(at);
        if (*out >= int32_t(mesh->GetAnimationInfos().size()) || (*out < 0 && !negativeAllowed)) {
            lua->ReportError("animation index out of range");
            return false;
        }
        return true;
    }
};

int PushPoint(IKVLua* lua, const KV3DVector& v) {
    lua->PushPoint(KVPoint3{v.x, v.y, v.z});
    return 1;
}

int NodeTransformOf(IKVUnit* unit, bool rotation) {
    Call c(unit, 0, true, false);
    if (!c) return 0;
    if (c.Type(1) != SCRIPT_STRING) {
        c.lua->ArgumentError(1);
        return 0;
    }
    const std::string node = c.lua->ToStdString(kFirstArgument);
    IKVMesh* mesh = c.mesh->GetMesh();
    if (!mesh) {
        c.lua->ReportError(((rotation ? "GetMeshNodeRotation : mesh " : "GetMeshNodePosition : mesh ") + node +
                            " not loaded")
                               .c_str());
        return 0;
    }
    NodeTransform record;
    const bool found = mesh->GetNamedTransform(node, &record) == KV_OK;
    KV3DVector value;
    if (found && rotation)
        KV3DMath::QuatToEuler(record.rotation, &value.x);
    else if (found)
        value = record.translation;
    PushPoint(c.lua, value);
    c.lua->PushBoolean(found);
    return 2;
}

int ScriptGetMeshNodePosition(IKVUnit* unit) { return NodeTransformOf(unit, false); }
int ScriptGetMeshNodeRotation(IKVUnit* unit) { return NodeTransformOf(unit, true); }

// A mask of the options: a 32-bit word, all its bits kept; a missing or
// mistyped field keeps the default.
void GetMaskField(IKVLua* lua, int32_t options, const char* key, uint32_t* mask) {
    int32_t number = 0;
    if (!lua->GetFieldInteger(options, key, &number) || !lua->PushField(options, key)) return;
    *mask = lua->ToUInt32(-1);
    lua->Pop(1);
}

int ScriptSetAnimation(IKVUnit* unit) {
    Call c(unit, 1, true);
    if (!c) return 0;
    int32_t animation = -1;
    if (!c.Animation(1, true, &animation)) return 0;
    MeshAnimationRequest request;
    request.animation = animation;
    if (c.lua->GetTop() >= kFirstArgument + 1) {
        const int32_t options = kFirstArgument + 1;
        uint8_t tapply = request.tapply;
        c.lua->GetFieldInteger(options, "loop", &request.loop);
        c.lua->GetFieldUnit(options, "receiver", &request.receiver);
        c.lua->GetFieldFloat(options, "speed", &request.speed);
        c.lua->GetFieldFloat(options, "transition", &request.transition);
        GetMaskField(c.lua, options, "rmask", &request.rmask);
        GetMaskField(c.lua, options, "tmask", &request.tmask);
        c.lua->GetFieldBoolean(options, "tapply", &tapply);
        request.tapply = tapply ? 1 : 0;
    }
    c.mesh->PlayAnimation(0, &request);
    return 0;
}

int ScriptGetAnimation(IKVUnit* unit) {
    Call c(unit, 0, true, false);
    if (!c) return 0;
    c.lua->PushInteger(c.mesh->GetLayerAnimation(0));
    return 1;
}

int ScriptGetAnimationName(IKVUnit* unit) {
    Call c(unit, 0, true, false);
    if (!c) return 0;
    c.lua->PushString(c.mesh->GetAnimationName(c.mesh->GetLayerAnimation(0)).c_str());
    return 1;
}

int ScriptGetNbAnimation(IKVUnit* unit) {
    Call c(unit, 0, true, false);
    if (!c) return 0;
    c.lua->PushInteger(int32_t(c.mesh->GetAnimationInfos().size()));
    return 1;
}

// The event methods need a mesh before they read the animation.
IKVMesh* EventMesh(Call& c) {
    IKVMesh* mesh = c.mesh->GetMesh();
    if (!mesh) c.lua->ReportError("mesh not loaded");
    return mesh;
}

int ScriptAddAnimationEvent(IKVUnit* unit) {
    Call c(unit, 3, true);
    if (!c) return 0;
    IKVMesh* mesh = EventMesh(c);
    if (!mesh) return 0;
    int32_t animation = -1;
    if (!c.Animation(1, false, &animation)) return 0;
    KV3DEvent event;
    event.animation = animation;
    event.name = c.lua->ToStdString(kFirstArgument + 1);
    event.time = float(c.lua->ToNumber(kFirstArgument + 2));
    const int32_t receiver =
        c.lua->GetTop() >= kFirstArgument + 3 ? c.lua->ToUnit(kFirstArgument + 3) : c.mesh->GetIndex();
    event.value = uint32_t(receiver);
    mesh->AddAnimationEvent(&event);
    return 0;
}

int ScriptRemoveAnimationEvent(IKVUnit* unit) {
    Call c(unit, 2, true);
    if (!c) return 0;
    IKVMesh* mesh = EventMesh(c);
    if (!mesh) return 0;
    int32_t animation = -1;
    if (c.Animation(1, false, &animation)) mesh->RemoveAnimationEvent(animation, c.lua->ToStdString(kFirstArgument + 1));
    return 0;
}

int ScriptRemoveAllAnimationEvents(IKVUnit* unit) {
    Call c(unit, 1, true);
    if (!c) return 0;
    IKVMesh* mesh = EventMesh(c);
    if (!mesh) return 0;
    int32_t animation = -1;
    if (c.Animation(1, false, &animation)) mesh->ClearAnimationEvents(animation);
    return 0;
}

int ScriptResetAnimationTransformation(IKVUnit* unit) {
    Call c(unit, 0, true, false);
    if (c) c.mesh->ResetAnimationTransformation();
    return 0;
}

int ScriptReplaceTexture(IKVUnit* unit) {
    Call c(unit, 2, false);
    if (!c) return 0;
    const std::string name = c.lua->ToStdString(kFirstArgument);
    const std::string file = c.lua->ToStdString(kFirstArgument + 1);
    std::string path = file;
    if (!file.empty())
        if (IKVSerialize* serialize = QueryCoreInterface<IKVSerialize>(IID_IKVSerialize))
            serialize->MakeAbsolutePath(file, &path);
    c.mesh->ReplaceTexture(name, path);
    return 0;
}

int ScriptSetBlendshapeWeight(IKVUnit* unit) {
    Call c(unit, 2, false);
    if (!c) return 0;
    c.mesh->SetBlendshapeWeight(c.lua->ToStdString(kFirstArgument), float(c.lua->ToNumber(kFirstArgument + 1)));
    return 0;
}

// table[key] = value, the key and value pushed by the caller.
void SetField(IKVLua* lua) { lua->SetTable(); }

int ScriptGetAnimationInfos(IKVUnit* unit) {
    Call c(unit, 1, false);
    if (!c) return 0;
    int32_t animation = -1;
    if (!c.Animation(1, false, &animation)) return 0;
    const KV3DAnimationInfo& info = c.mesh->GetAnimationInfos()[size_t(animation)];
    IKVLua* lua = c.lua;
    lua->NewTable();
    lua->PushString("name");
    lua->PushString(info.name.c_str());
    SetField(lua);
    lua->PushString("index");
    lua->PushInteger(info.index);
    SetField(lua);
    lua->PushString("duration");
    lua->PushNumber(double(info.length));
    SetField(lua);
    const float* parts[3] = {info.rootTranslation, info.rootRotation, info.rootScale};
    const char* keys[3] = {"translation", "rotation", "scale"};
    for (int i = 0; i < 3; ++i) {
        lua->PushString(keys[i]);
        lua->PushPoint(KVPoint3{parts[i][0], parts[i][1], parts[i][2]});
        SetField(lua);
    }
    return 1;
}

int ScriptGetCurvePosition(IKVUnit* unit) {
    Call c(unit, 2, true);
    if (!c) return 0;
    if (!c.mesh->GetMesh()) {
        c.lua->ReportError("Mesh not loaded");
        return 0;
    }
    const std::string name = c.lua->ToStdString(kFirstArgument);
    const float t = float(c.lua->ToNumber(kFirstArgument + 1));
    const int32_t start = c.lua->GetTop() >= kFirstArgument + 2 ? c.lua->ToInteger(kFirstArgument + 2) : 0;
    KV3DVector point;
    const int32_t segment = c.mesh->GetCurvePosition(name, t, start, &point);
    if (segment < 0) {
        c.lua->ReportError("Unknown curve name");
        return 0;
    }
    PushPoint(c.lua, point);
    c.lua->PushInteger(segment);
    return 2;
}

} // namespace

int32_t KVUnitMesh::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Mesh", &KVUnitMesh::Create, "Display3D", kClassId, "Mesh class");
    if (classIndex < 0) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitMesh probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const uint16_t kReadOnly = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_READ_ONLY);
    const KVAttributeRow rows[] = {
        {"Mesh@Kelvane 3d files|*.dae", KVATTR_PATHS, &probe.m_meshText, 1, kMeshId, kStored, 0, nullptr, MeshChanged,
         nullptr, "", 0},
        {"TransitionDelay", KVATTR_F32, &probe.m_transitionDelay, 1, kTransitionDelayId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"AnimationSpeed", KVATTR_F32, &probe.m_animationSpeed, 1, kAnimationSpeedId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"AutoAnimation", KVATTR_BOOLEAN, &probe.m_autoAnimation, 1, kAutoAnimationId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"MirrorReflectable", KVATTR_BOOLEAN, &probe.m_mirrorReflectable, 1, kMirrorReflectableId, kStored, 0, nullptr,
         nullptr, nullptr, "", 0},
        {"AnimationLoop", KVATTR_U32, &probe.m_animationLoop, 1, kAnimationLoopId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"AnimatedInvisible", KVATTR_BOOLEAN, &probe.m_animatedInvisible, 1, kAnimatedInvisibleId, kStored, 0, nullptr,
         nullptr, nullptr, "", 0},
        {"Illumination", KVATTR_F32, &probe.m_illumination, 1, kIlluminationId, kStored, 0, nullptr,
         IlluminationChanged, nullptr, "", 0},
        {"Frozen", KVATTR_BOOLEAN, &probe.m_frozen, 1, kFrozenId, kStored, 0, nullptr, FrozenChanged, nullptr, "", 0},
        {"AnimatedPosition~X~Y~Z", KVATTR_F32, &probe.m_animatedPosition, 3, kAnimatedPositionId, kStored, 0, nullptr,
         PositionChanged, nullptr, "", 0},
        {"AnimatedRotation~X~Y~Z", KVATTR_F32, &probe.m_animatedRotation, 3, kAnimatedRotationId, kStored, 0, nullptr,
         RotationChanged, nullptr, "", 0},
        {"AnimatedScale~X~Y~Z", KVATTR_F32, &probe.m_animatedScale, 3, kAnimatedScaleId, kStored, 0, nullptr,
         ScaleChanged, nullptr, "", 0},
        {"DebugFlags~ShowNormals~ShowSkeleton~Wireframe~ShowEdges", KVATTR_FLAGS, &probe.m_debugFlags, 4,
         kDebugFlagsId, kStored, 0, nullptr, DebugFlagsChanged, nullptr, "", 0},
        {"BlendshapeNames", KVATTR_STRING_ALT, &probe.m_blendshapeText, 1, kBlendshapeNamesId, kReadOnly, 0, nullptr,
         nullptr, nullptr, "", 0},
        {"TextureSprite", KVATTR_UNIT, &probe.m_textureSprite, 1, kTextureSpriteId, kStored, 0, nullptr,
         TextureSpriteChanged, nullptr, "Embeddable", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);

    if (KVLua* lua = KVLua::Instance()) {
        const std::pair<const char*, int (*)(IKVUnit*)> methods[] = {
            {"GetMeshNodePosition", &ScriptGetMeshNodePosition},
            {"GetMeshNodeRotation", &ScriptGetMeshNodeRotation},
            {"SetAnimation", &ScriptSetAnimation},
            {"GetAnimation", &ScriptGetAnimation},
            {"GetAnimationName", &ScriptGetAnimationName},
            {"AddAnimationEvent", &ScriptAddAnimationEvent},
            {"RemoveAnimationEvent", &ScriptRemoveAnimationEvent},
            {"RemoveAllAnimationEvents", &ScriptRemoveAllAnimationEvents},
            {"ResetAnimationTransformation", &ScriptResetAnimationTransformation},
            {"ReplaceTexture", &ScriptReplaceTexture},
            {"SetBlendshapeWeight", &ScriptSetBlendshapeWeight},
            {"GetAnimationInfos", &ScriptGetAnimationInfos},
            {"GetNbAnimation", &ScriptGetNbAnimation},
            {"GetCurvePosition", &ScriptGetCurvePosition},
        };
        for (const auto& [name, function] : methods) lua->RegisterClassFunction(classIndex, name, function);
    }
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterMeshClass() { return KVUnitMesh::RegisterClass(); }

} // namespace kvl
