// Class "Camera": its attributes with the ids under which scene files store
// them, each with the camera operation its change runs.
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitCamera.h"

namespace kvl {

namespace {

// The hooks reach the camera through its interface, never by a cast.
template <void (KVUnitCamera::*Operation)()>
void Run(void* unit) {
    if (KVUnitCamera* camera = KVUnitCamera::FromUnit(static_cast<KVUnit*>(unit))) (camera->*Operation)();
}

constexpr auto ActiveChanged = &Run<&KVUnitCamera::NotifyActive>;
constexpr auto TargetChanged = &Run<&KVUnitCamera::OnTargetChanged>;
constexpr auto FOVChanged = &Run<&KVUnitCamera::OnFOVChanged>;
constexpr auto NearClipChanged = &Run<&KVUnitCamera::OnNearClipChanged>;
constexpr auto FarClipChanged = &Run<&KVUnitCamera::OnFarClipChanged>;
constexpr auto OrthogonalChanged = &Run<&KVUnitCamera::OnOrthogonalChanged>;
constexpr auto ViewportChanged = &Run<&KVUnitCamera::ApplyViewportAttribute>;
constexpr auto AutoClipChanged = &Run<&KVUnitCamera::OnAutoClipChanged>;
constexpr auto UpChanged = &Run<&KVUnitCamera::InvalidateView>;
constexpr auto AspectRatioChanged = &Run<&KVUnitCamera::InvalidateProjection>;

} // namespace

int32_t KVUnitCamera::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Camera", &KVUnitCamera::Create, "Unit3D", kClassId,
                                               "Camera class");
    if (classIndex < 0) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitCamera probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Active", KVATTR_BOOLEAN, &probe.m_active, 1, kActiveId, kStored, 0, nullptr, ActiveChanged, nullptr, "",
         0},
        {"Target~X~Y~Z", KVATTR_F32, &probe.m_target, 3, kTargetId, kStored, 0, nullptr, TargetChanged, nullptr, "",
         0},
        {"FOV", KVATTR_F32, &probe.m_fov, 1, kFOVId, kStored, 0, nullptr, FOVChanged, nullptr, "", 0},
        {"Near clip", KVATTR_F32, &probe.m_nearClip, 1, kNearClipId, kStored, 0, nullptr, NearClipChanged, nullptr,
         "", 0},
        {"Far clip", KVATTR_F32, &probe.m_farClip, 1, kFarClipId, kStored, 0, nullptr, FarClipChanged, nullptr, "",
         0},
        {"Orthogonal", KVATTR_BOOLEAN, &probe.m_orthogonal, 1, kOrthogonalId, kStored, 0, nullptr,
         OrthogonalChanged, nullptr, "", 0},
        {"Viewport~Left~Top~Right~Bottom", KVATTR_S32, &probe.m_viewportAttribute, 4, kViewportId, kStored, 0,
         nullptr, ViewportChanged, nullptr, "", 0},
        {"ViewportExclusive", KVATTR_BOOLEAN, &probe.m_exclusive, 1, kViewportExclusiveId, kStored, 0, nullptr,
         nullptr, nullptr, "", 0},
        {"AutoClip", KVATTR_BOOLEAN, &probe.m_autoClip, 1, kAutoClipId, kStored, 0, nullptr, AutoClipChanged,
         nullptr, "", 0},
        {"Up~X~Y~Z", KVATTR_F32, &probe.m_up, 3, kUpId, kStored, 0, nullptr, UpChanged, nullptr, "", 0},
        {"AspectRatio", KVATTR_F32, &probe.m_aspectRatio, 1, kAspectRatioId, kStored, 0, nullptr,
         AspectRatioChanged, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterCameraClass() { return KVUnitCamera::RegisterClass(); }

} // namespace kvl
