// Class "Unit2D": its placement attributes with the ids under which scene
// files store them. Each change hook forwards to one operation of the unit.
#include "KVAttributeRows.h"
#include "KVUnit2D.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// Units of a class derived from "Unit2D" need not be 2D unit objects: the
// hooks reach the unit through its interface, never by a cast.
KVUnit2D* Unit(void* target) { return KVUnit2D::FromUnit(static_cast<KVUnit*>(target)); }

void TransformChanged(void* target) {
    if (KVUnit2D* unit = Unit(target)) unit->UpdateTransform(0);
}

void PositionChanged(void* target) {
    if (KVUnit2D* unit = Unit(target)) {
        unit->UpdateTransform(0);
        unit->UpdateWindow();
    }
}

void DimensionChanged(void* target) {
    if (KVUnit2D* unit = Unit(target)) unit->OnResize();
}

void OutlineChanged(void* target) {
    if (KVUnit2D* unit = Unit(target)) unit->OnOutlineChanged();
}

void WindowChanged(void* target) {
    if (KVUnit2D* unit = Unit(target)) unit->UpdateWindow();
}

} // namespace

int32_t KVUnit2D::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Unit2D", &KVUnit2D::Create, "Unit", kClassId, "Base class for 2D unit classes");
    if (classIndex < 0) return -1;
    s_classIndex = classIndex;

    // Offsets are measured on a unit that never enters the factory.
    KVUnit2D probe;
    // The placement is applied by Refresh, not by the enable pass.
    const uint16_t kPlaced = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT, KVAF_NO_PASS);
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Scale~X~Y", KVATTR_F32, &probe.m_scale, 2, kScaleId, kPlaced, 0, nullptr, TransformChanged, nullptr, "",
         0},
        {"Position~X~Y", KVATTR_F32, &probe.m_position, 2, kPositionId, kPlaced, 0, nullptr, PositionChanged, nullptr,
         "", 0},
        {"Dimension~Width~Height", KVATTR_S32, &probe.m_dimension, 2, kDimensionId, kPlaced, 0, nullptr,
         DimensionChanged, nullptr, "", 0},
        // Not listed for scripts; applied in the enable pass's phase 1.
        {"Outline", KVATTR_ARRAY_KVPOS2D, &probe.m_outline, 1, kOutlineId,
         AttributeFlags(KVAF_SCRIPT, KVAF_PERSISTENT), 1, nullptr, OutlineChanged, nullptr, "", 0},
        {"Anchors~Right~Bottom", KVATTR_BOOLEAN, &probe.m_anchors, 2, kAnchorsId, kPlaced, 0, nullptr,
         TransformChanged, nullptr, "", 0},
        {"NoOffset", KVATTR_BOOLEAN, &probe.m_noOffset, 1, kNoOffsetId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Rotation", KVATTR_F32_ROTATION, &probe.m_rotation, 1, kRotationId, kPlaced, 0, nullptr, TransformChanged,
         nullptr, "", 0},
        {"Window~Left~Top~Right~Bottom", KVATTR_S32, &probe.m_window, 4, kWindowId, kPlaced, 0, nullptr,
         WindowChanged, nullptr, "", 0},
        {"RotationAxis~X~Y", KVATTR_S32, &probe.m_rotationAxis, 2, kRotationAxisId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"WindowRelative", KVATTR_BOOLEAN, &probe.m_windowRelative, 1, kWindowRelativeId, kPlaced, 0, nullptr,
         WindowChanged, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

} // namespace kvl
