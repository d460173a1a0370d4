// Class "Unit3D": its attributes with the ids under which scene files store
// them, and the script methods "AttachToMesh" and "DetachFromMesh".
#include "../KVLua/KVLua.h"
#include "KVAttributeRows.h"
#include "KVUnit3D.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

// Units of a class derived from "Unit3D" need not be 3D unit objects: the
// hooks reach the unit through its interface, never by a cast.
KVUnit3D* Unit(void* target) { return KVUnit3D::FromUnit(static_cast<KVUnit*>(target)); }

void PositionChanged(void* target) {
    if (KVUnit3D* unit = Unit(target)) unit->ApplyPosition();
}

void RotationChanged(void* target) {
    if (KVUnit3D* unit = Unit(target)) unit->ApplyRotation();
}

void ScaleChanged(void* target) {
    if (KVUnit3D* unit = Unit(target)) unit->ApplyScale();
}

IKVUnit3D* FaceOf(IKVUnit* unit) {
    void* face = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnit3D, &face) != KV_OK) return nullptr;
    return static_cast<IKVUnit3D*>(face);
}

int ScriptAttachToMesh(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!lua || !factory || lua->CheckArgCount(kFirstArgument + 1, false) != KV_OK) return 0;
    IKVUnit* mesh = factory->GetUnit(lua->ToUnit(kFirstArgument));
    if (!mesh || !factory->IsUnitOfClass(mesh, factory->FindClassByName("Mesh"))) {
        lua->ReportError("First parameter is not a mesh unit");
        return 0;
    }
    IKVUnit3D* face = FaceOf(unit);
    const int32_t result = face ? face->AttachToMesh(mesh, lua->ToStdString(kFirstArgument + 1)) : KV_FAILED;
    if (result == KV_NOT_FOUND)
        lua->ReportError("Mesh node not found");
    else if (result != KV_OK)
        lua->ReportError("Impossible to attach unit to the mesh (no loaded mesh file ?)");
    return 0;
}

int ScriptDetachFromMesh(IKVUnit* unit) {
    if (IKVUnit3D* face = FaceOf(unit)) face->DetachFromMesh();
    return 0;
}

} // namespace

int32_t KVUnit3D::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Unit3D", &KVUnit3D::Create, "Unit", kClassId, "Base class for 3D unit classes");
    if (classIndex < 0) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnit3D probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    // The transform is pushed into the 3D object by the enable pass's phase 1.
    const KVAttributeRow rows[] = {
        {"Position~X~Y~Z", KVATTR_F32, &probe.m_position, 3, kPositionId, kStored, 1, nullptr, PositionChanged, nullptr,
         "", 0},
        {"Rotation~X~Y~Z", KVATTR_F32_ROTATION, &probe.m_rotation, 3, kRotationId, kStored, 1, nullptr,
         RotationChanged, nullptr, "", 0},
        {"Scale~X~Y~Z", KVATTR_F32, &probe.m_scale, 3, kScaleId, kStored, 1, nullptr, ScaleChanged, nullptr, "", 0},
        {"AutoClipped", KVATTR_BOOLEAN, &probe.m_autoClipped, 1, kAutoClippedId, kStored, 0, nullptr, nullptr, nullptr,
         "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);

    if (KVLua* lua = KVLua::Instance()) {
        lua->RegisterClassFunction(classIndex, "AttachToMesh", &ScriptAttachToMesh);
        lua->RegisterClassFunction(classIndex, "DetachFromMesh", &ScriptDetachFromMesh);
    }
    return classIndex;
}

} // namespace kvl
