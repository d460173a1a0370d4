#include "KVSceneManager.h"

#include <algorithm>
#include <cmath>

#include "../KVLua/IKVLua.h"
#include "../KVLua/KVLua.h"
#include "../graphics/IKVGraphicDevice3D.h"
#include "../graphics/IKVGraphicViewport.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVProperties.h"
#include "IKVUnitCamera.h"
#include "KVSceneCollisionManager.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

KVSceneManager::KVSceneManager() = default;

KVSceneManager::~KVSceneManager() {
    ForgetCurrentCamera();
    delete m_collision;
}

int32_t KVSceneManager::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVSceneManager) return AnswerInterface(static_cast<IKVSceneManager*>(this), out);
    if (id == IID_IKVSceneCollisionManager && m_collision)
        return AnswerInterface(static_cast<IKVSceneCollisionManager*>(m_collision), out);
    if (id == IID_IKVInputScene) return m_inputScene.QueryInterface(id, out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVSceneManager::Init(int32_t phase) {
    switch (phase) {
    case 0:
        if (!KVSceneCollisionManager::Instance()) m_collision = new KVSceneCollisionManager(this);
        m_firstFrame = true;
        m_colours[0] = kEditorColour;
        m_colours[1] = kEditorColourSwitched;
        m_editorUnitsRequested = false;
        ForgetCurrentCamera();
        m_camerasLocked = false;
        m_drawing = false;
        m_mirrorTarget = nullptr;
        m_noUnitSorter = false;
        m_editorUnits = true;
        m_rightHanded = true;
        break;
    case 1:
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVScene", this);
        break;
    case 2:
        m_renderer = nullptr;
        if (KVProperties* properties = KVProperties::Instance()) {
            properties->DeclareProperty(DescribeProperty(&m_noUnitSorter, PROPERTY_BOOLEAN, "No unit sorter",
                                                         "NoUnitSorter", "Scene", kNoUnitSorterId));
            properties->DeclareProperty(DescribeProperty(&m_rightHanded, PROPERTY_BOOLEAN,
                                                         "Right-handed coordinates", "RightHanded", "Scene",
                                                         kRightHandedId));
        }
        break;
    case 3:
        m_device = QueryCoreInterface<IKVGraphicDevice>(IID_IKVGraphicDevice);
        m_device2D = QueryCoreInterface<IKVGraphicDevice2D>(IID_IKVGraphicDevice2D);
        m_device3D = QueryCoreInterface<IKVGraphicDevice3D>(IID_IKVGraphicDevice3D);
        m_inputTransformActive = false;
        m_noCameraReported = false;
        // Phase 3 follows every project load: a target of the last one goes.
        ReleaseMirrorTarget();
        if (m_device3D) m_device3D->CreateMirrorTarget(&m_mirrorTarget);
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVSceneManager::Release(int32_t phase) {
    switch (phase) {
    case 2:
        ReleaseMirrorTarget();
        ForgetCurrentCamera();
        m_cameras.clear();
        m_inputTransformActive = false;
        m_preDraw.clear();
        m_postDraw.clear();
        break;
    case 4:
        ReleaseMirrorTarget();
        if (m_collision) {
            delete m_collision;
            m_collision = nullptr;
        }
        break;
    default:
        break;
    }
    return KV_OK;
}

void KVSceneManager::ReleaseMirrorTarget() {
    // The device hands its render targets out as counted objects.
    if (m_mirrorTarget) static_cast<IKVUnknownRef*>(m_mirrorTarget)->Release();
    m_mirrorTarget = nullptr;
}

void KVSceneManager::ForgetCurrentCamera() {
    if (m_current) m_current->RemoveListener(this);
    m_current = nullptr;
    m_currentCamera = nullptr;
}

int32_t KVSceneManager::UnlinkUnit(IKVUnit*, int32_t) {
    // Only the current camera has the manager as listener; it is going.
    m_current = nullptr;
    m_currentCamera = nullptr;
    return KV_OK;
}

int32_t KVSceneManager::OnUnitChanged(IKVUnit*, int32_t) { return KV_OK; }

const std::vector<int32_t>& KVSceneManager::GetList(int32_t list) const {
    static const std::vector<int32_t> kNone;
    return list >= 0 && list < KVSCENE_LIST_COUNT ? m_lists[list] : kNone;
}

void KVSceneManager::FileIndex(int32_t list, IKVUnit* unit) {
    if (unit) m_lists[list].push_back(unit->GetIndex());
}

int32_t KVSceneManager::AddUnit(IKVUnit* unit) {
    if (!unit) return KV_INVALID;
    return AddUnitIndex(unit->GetIndex(), unit->GetSceneList());
}

int32_t KVSceneManager::AddReflectedUnit(IKVUnit* unit) {
    FileIndex(KVSCENE_LIST_REFLECTED, unit);
    return KV_OK;
}

int32_t KVSceneManager::AddMirrorUnit(IKVUnit* unit) {
    FileIndex(KVSCENE_LIST_MIRRORS, unit);
    return int32_t(m_lists[KVSCENE_LIST_MIRRORS].size());
}

int32_t KVSceneManager::AddUnitToList7(IKVUnit* unit) {
    FileIndex(KVSCENE_LIST_PREPARED, unit);
    return KV_OK;
}

int32_t KVSceneManager::QueueDrawItem(const KVDrawItem& item) {
    m_drawQueue.push_back(item);
    return KV_OK;
}

int32_t KVSceneManager::AddDrawCallback(IKVDrawCallback* callback, int32_t which) {
    if (callback) (which == 0 ? m_preDraw : m_postDraw).push_back(callback);
    return KV_OK;
}

int32_t KVSceneManager::AddObject(IKVUnitSystemizer* sorter) {
    if (std::find(m_sorters.begin(), m_sorters.end(), sorter) != m_sorters.end()) return KV_FAILED;
    m_sorters.push_back(sorter);
    return KV_OK;
}

int32_t KVSceneManager::RemoveObject(IKVUnitSystemizer* sorter) {
    auto found = std::find(m_sorters.begin(), m_sorters.end(), sorter);
    if (found == m_sorters.end()) return KV_FAILED;
    m_sorters.erase(found);
    return KV_OK;
}

int32_t KVSceneManager::SetRenderer(IKVSceneRenderer* renderer) {
    m_renderer = renderer;
    return KV_OK;
}

bool KVSceneManager::ShowsEditorUnits(IKVUnit*) {
    KVCore* core = KVCore::Instance();
    return ((core && core->IsEditorMode()) || m_editorUnitsRequested) && m_editorUnits;
}

uint32_t KVSceneManager::GetEditorColour() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory && factory->GetColourSwitch() ? m_colours[1] : m_colours[0];
}

// Cameras.

IKVUnitCamera* KVSceneManager::CameraOf(IKVUnit* unit) {
    void* camera = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnitCamera, &camera) != KV_OK) return nullptr;
    return static_cast<IKVUnitCamera*>(camera);
}

KVDeviceRect KVSceneManager::WholeScreen() {
    const KVDisplayMode* screen = m_device ? m_device->GetScreenSize() : nullptr;
    return screen ? KVDeviceRect{0, 0, screen->width, screen->height} : KVDeviceRect{0, 0, 0, 0};
}

bool KVSceneManager::IsFullScreen(const KVDeviceRect& viewport) {
    // The top edge is not compared.
    const KVDeviceRect whole = WholeScreen();
    return viewport.left == 0 && int64_t(viewport.right) - viewport.left == whole.right &&
           int64_t(viewport.bottom) - viewport.top == whole.bottom;
}

KVDeviceRect KVSceneManager::GraphicViewport() {
    IKVGraphicViewport* graphic = QueryCoreInterface<IKVGraphicViewport>(IID_IKVGraphicViewport);
    const KVDeviceRect* viewport = graphic ? graphic->GetCurrentViewport() : nullptr;
    return viewport ? *viewport : WholeScreen();
}

int32_t KVSceneManager::OnCameraActivated(IKVUnit* unit) {
    IKVUnitCamera* camera = CameraOf(unit);
    if (!camera) return KV_INVALID;
    bool listed = false;
    for (size_t i = 0; i < m_cameras.size();) {
        CameraEntry other = m_cameras[i];
        if (other.unit == unit) {
            listed = true;
            ++i;
            continue;
        }
        const KVDeviceRect* viewport = other.camera->GetViewport();
        if (other.camera->IsActive() && other.camera->GetAutoDeactivate() && viewport && IsFullScreen(*viewport)) {
            m_camerasLocked = true;
            other.camera->SetActive(false);
            m_camerasLocked = false;
            // The camera's own notice may have changed the list meanwhile.
            auto found = std::find_if(m_cameras.begin(), m_cameras.end(),
                                      [&](const CameraEntry& e) { return e.unit == other.unit; });
            if (found != m_cameras.end()) {
                i = size_t(found - m_cameras.begin());
                m_cameras.erase(found);
            }
            continue;
        }
        ++i;
    }
    if (listed) return KV_OK;
    const KVDeviceRect* viewport = camera->GetViewport();
    if (viewport && IsFullScreen(*viewport))
        m_cameras.insert(m_cameras.begin(), CameraEntry{unit, camera});
    else
        m_cameras.push_back(CameraEntry{unit, camera});
    return KV_OK;
}

int32_t KVSceneManager::RemoveCamera(IKVUnit* unit) {
    if (m_camerasLocked) return KV_OK;
    auto found =
        std::find_if(m_cameras.begin(), m_cameras.end(), [&](const CameraEntry& e) { return e.unit == unit; });
    if (found != m_cameras.end()) m_cameras.erase(found);
    return KV_OK;
}

const KVSceneManager::CameraEntry* KVSceneManager::FindCameraEntry() {
    if (m_cameras.empty()) return nullptr;
    const KVDeviceRect whole = WholeScreen();
    for (const CameraEntry& entry : m_cameras) {
        const KVDeviceRect* viewport = entry.camera->GetViewport();
        if (viewport && int64_t(viewport->right) - viewport->left == whole.right &&
            int64_t(viewport->bottom) - viewport->top == whole.bottom)
            return &entry;
    }
    return &m_cameras.front();
}

IKVUnit* KVSceneManager::FindCamera() {
    const CameraEntry* entry = FindCameraEntry();
    return entry ? entry->unit : nullptr;
}

IKVUnit* KVSceneManager::FindCamera(const KVScreenPoint& point) {
    const KVInputRect area = m_inputScene.GetGameArea();
    if (point.x < area.left || point.x >= area.right || point.y < area.top || point.y >= area.bottom) return nullptr;
    return FindCamera();
}

IKVUnit* KVSceneManager::CameraAt(int32_t x, int32_t y) {
    for (const CameraEntry& entry : m_cameras) {
        const KVDeviceRect* v = entry.camera->GetViewport();
        if (v && v->left <= x && x < v->right && v->top <= y && y < v->bottom) return entry.unit;
    }
    return nullptr;
}

int32_t KVSceneManager::ProjectToScreen(const KV3DVector* point, KVScreenPoint* out) {
    const CameraEntry* entry = FindCameraEntry();
    if (!entry || !point) {
        if (out) *out = {-10000, -10000};
        return KV_FAILED;
    }
    KVProjectedPoint projected;
    entry->camera->Project(point, &projected);
    if (out) *out = {projected.x, projected.y};
    return KV_OK;
}

int32_t KVSceneManager::OnScreenChanged() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory) {
        IKVUnitIterator* units = factory->NewUnitIterator();
        for (; !units->IsEnd(); units->Next()) {
            IKVUnit* unit = factory->GetUnit(units->GetIndex());
            IKVUnitCamera* camera = unit && unit->IsEnabled() ? CameraOf(unit) : nullptr;
            if (camera) camera->InvalidateScreen();
        }
        units->Release();
    }
    if (m_currentCamera) m_currentCamera->UpdateMatrices();
    return KV_OK;
}

const KVDeviceRect* KVSceneManager::GetMainViewport() {
    const KVDeviceRect* viewport = m_cameras.empty() ? nullptr : m_cameras.front().camera->GetViewport();
    m_mainViewport = viewport ? *viewport : GraphicViewport();
    return &m_mainViewport;
}

// Input transform and point tests.

int32_t KVSceneManager::SetInputTransform(const float* matrix) {
    if (!matrix) return KV_INVALID;
    std::copy(matrix, matrix + 16, m_inputTransform);
    m_inputTransformActive = true;
    return KV_OK;
}

int32_t KVSceneManager::ClearInputTransform() {
    m_inputTransformActive = false;
    return KV_OK;
}

int32_t KVSceneManager::TransformPoint(KVScreenPoint* point) {
    if (!point || !m_inputTransformActive) return KV_OK;
    const float* m = m_inputTransform;
    const float x = float(point->x), y = float(point->y);
    // Rounded to the nearest integer on both sides of zero, saturating.
    point->x = NumberToInt32(std::floor(double(x * m[0] + y * m[4] + m[12]) + 0.5));
    point->y = NumberToInt32(std::floor(double(x * m[1] + y * m[5] + m[13]) + 0.5));
    return KV_OK;
}

bool KVSceneManager::IsPointInside(IKVUnit* unit, const KVScreenPoint& point, bool raw, float* depth,
                                   IKVUnit* camera) {
    if (!unit) return false;
    KVScreenPoint p = point;
    if (!raw) TransformPoint(&p);
    // The camera is the one of the point as given, before the transform.
    if (!camera) camera = FindCamera(point);
    return unit->GetUnit()->IsPointInside(p, depth, camera);
}

bool KVSceneManager::Hits(IKVUnit* unit, const KVScreenPoint& point, IKVUnit* camera) {
    if (!unit || !unit->IsEnabled()) return false;
    if (unit->GetFlags() & KVUNIT_NOT_HITTABLE) return false;
    if (!unit->IsVisible()) return false;
    // A unit whose test writes no depth (a 2D unit) counts as in front.
    float depth = 0.0f;
    return IsPointInside(unit, point, false, &depth, camera) && depth < kFarthestDepth;
}

int32_t KVSceneManager::UnitAt(const KVScreenPoint& point, IKVUnit** out, IKVUnit* camera) {
    if (out) *out = nullptr;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return KV_NOT_FOUND;
    // A copy: a point test may not change the list under the walk.
    const std::vector<int32_t> drawn = m_lists[KVSCENE_LIST_DRAWN];
    for (size_t i = drawn.size(); i-- > 0;) {
        IKVUnit* unit = factory->GetUnit(drawn[i]);
        if (Hits(unit, point, camera)) {
            if (out) *out = unit;
            return KV_OK;
        }
    }
    return KV_NOT_FOUND;
}

void KVSceneManager::UnitsAt(const KVScreenPoint& point, std::vector<int32_t>* out) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory || !out) return;
    const std::vector<int32_t> drawn = m_lists[KVSCENE_LIST_DRAWN];
    for (size_t i = drawn.size(); i-- > 0;) {
        IKVUnit* unit = factory->GetUnit(drawn[i]);
        if (Hits(unit, point, nullptr)) out->push_back(drawn[i]);
    }
}

} // namespace kvl
