// One frame of the scene manager: the tree walk that files the visible
// units, the drawing of the lists per camera (or without one), the mirror
// pass and the automatic clip range.
#include <algorithm>
#include <limits>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVResources.h"
#include "IKVUnit3DMirror.h"
#include "IKVUnitCamera.h"
#include "IKVUnitDisplay3D.h"
#include "IKVUnitRef.h"
#include "KVSceneManager.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {
namespace {

template <class T>
T* FaceOf(KVUnitFactory* factory, int32_t unitIndex, const KVInterfaceId& id) {
    IKVUnit* unit = factory ? factory->GetUnit(unitIndex) : nullptr;
    void* face = nullptr;
    if (!unit || unit->QueryInterface(id, &face) != KV_OK) return nullptr;
    return static_cast<T*>(face);
}

bool SameRect(const KVDeviceRect& a, const KVDeviceRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void CallAll(const std::vector<IKVDrawCallback*>& callbacks) {
    // A copy: a callback may register another.
    const std::vector<IKVDrawCallback*> copy = callbacks;
    for (IKVDrawCallback* callback : copy) callback->OnDraw();
}

// How many units ahead the walks ask for a unit's memory (see
// KVUnit::Prefetch): far enough for it to arrive before it is read.
constexpr size_t kPrefetchAhead = 12;

// Asks for the memory of the unit at `index`, when there is one.
void PrefetchUnit(KVUnitFactory* factory, int32_t index) {
    if (KVUnit* unit = index >= 0 ? factory->UnitObject(index) : nullptr) unit->Prefetch();
}

} // namespace

void KVSceneManager::FileUnits(bool withCamera) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return;
    const int32_t layerClass = factory->FindClassByName("Layer");
    // Whether each class is a kind of layer, asked once a frame per class
    // met rather than once per unit: 0 not asked, 1 no, 2 yes (every class
    // is no when there is no layer class).
    // The walk's lists are taken from the members, which keep their room
    // from frame to frame, and given back at the end.
    std::vector<uint8_t> layerKinds;
    layerKinds.swap(m_layerKinds);
    layerKinds.assign(size_t(std::max(factory->GetClassCount(), 0)), layerClass < 0 ? 1 : 0);
    auto isLayer = [&](KVUnit* unit) {
        // A negative class index lies past the table as an unsigned one.
        const uint32_t kind = uint32_t(unit->KVUnit::GetClassIndex());
        if (kind < layerKinds.size()) {
            uint8_t& known = layerKinds[kind];
            if (known == 0) known = factory->IsUnitOfClass(unit, layerClass) ? 2 : 1;
            return known == 2;
        }
        return layerClass >= 0 && factory->IsUnitOfClass(unit, layerClass);
    };
    m_visited.assign(size_t(std::max(factory->GetSlotCount(), 0)), 0);
    // Depth first in tree order, without recursion: scene trees may be deep.
    // Each root's tree is walked whole before the next root.
    std::vector<Visit> pending;
    pending.swap(m_pendingVisits);
    pending.clear();
    std::vector<int32_t> roots;
    roots.swap(m_walkRoots);
    factory->GetRootIndices(&roots);
    // One unit of the walk: filed, or its children put on the stack.
    auto visitUnit = [&](const Visit visit) {
        KVUnit* unit = factory->UnitObject(visit.unit);
        if (!unit) return;
        // A unit listed twice among children is filed once.
        const size_t slot = size_t(visit.unit);
        if (slot >= m_visited.size()) m_visited.resize(slot + 1, 0);
        if (m_visited[slot]) return;
        m_visited[slot] = 1;
        unit->ClearDrawn();
        if (isLayer(unit)) {
            // Layers file their own units once the walk is over.
            m_lists[KVSCENE_LIST_LAYERS].push_back(visit.unit);
            return;
        }
        bool visitChildren = true;
        if (withCamera || !(unit->FlagsWord() & KVUNIT_3D)) unit->QueryVisible(&visitChildren, visit.layer);
        if (!visitChildren || !factory->UnitObject(visit.unit)) return;
        KVUnitRefArray* children = unit->KVUnit::GetChildren();
        if (children->Empty()) return;
        const int32_t own = unit->GetLayerRef() ? unit->GetLayerRef()->GetIndex() : -1;
        const int32_t layer = own != -1 ? own : visit.layer;
        // Only the children it is the parent of: a listing kept as
        // stored with parent checks off is no link of the tree.
        for (size_t i = children->Size(); i-- > 0;) {
            IKVUnitRef* child = children->At(i);
            KVUnit* listed = child ? factory->UnitObject(child->GetIndex()) : nullptr;
            if (listed && listed->KVUnit::GetParentIndex() == visit.unit)
                pending.push_back({child->GetIndex(), layer});
        }
    };
    for (size_t r = 0; r < roots.size(); ++r) {
        if (r + kPrefetchAhead < roots.size()) PrefetchUnit(factory, roots[r + kPrefetchAhead]);
        // The root is visited first, straight away: the stack holds only
        // what lies below it.
        visitUnit({roots[r], -1});
        while (!pending.empty()) {
            const Visit visit = pending.back();
            pending.pop_back();
            visitUnit(visit);
        }
    }
    m_pendingVisits.swap(pending);
    m_walkRoots.swap(roots);
    m_layerKinds.swap(layerKinds);
    const std::vector<int32_t> layers = m_lists[KVSCENE_LIST_LAYERS];
    for (int32_t index : layers) {
        if (IKVUnit* layer = factory->GetUnit(index)) {
            bool visible = true;
            layer->GetUnit()->QueryVisible(&visible, -1);
        }
    }
}

int32_t KVSceneManager::Draw() {
    if (!m_device) return KV_FAILED;
    if (m_device3D)
        FrameWith3D();
    else
        Frame2D();
    return KV_OK;
}

void KVSceneManager::FrameWith3D() {
    const bool withCamera = !m_cameras.empty();
    if (withCamera) {
        m_noCameraReported = false;
    } else if (!m_noCameraReported) {
        m_noCameraReported = true;
        if (IKVLog* log = GetLog()) log->WriteStringLevel("No active camera", KVLOG_ERROR);
    }
    m_drawQueue.clear();
    for (int32_t list = 0; list < KVSCENE_LIST_COUNT; ++list)
        if (list != KVSCENE_LIST_DRAWN) m_lists[list].clear();
    FileUnits(withCamera);
    m_lists[2].push_back(KVSCENE_MARK_PREPARE);
    m_lists[2].push_back(KVSCENE_MARK_MIRRORS);
    if (!m_noUnitSorter)
        for (IKVUnitSystemizer* sorter : std::vector<IKVUnitSystemizer*>(m_sorters)) sorter->Sort(m_lists);
    if (m_firstFrame)
        m_firstFrame = false;
    else
        m_device->Present();

    const size_t passes = withCamera ? m_cameras.size() : 1;
    for (size_t i = 0; i < passes; ++i) {
        CameraEntry entry{nullptr, nullptr};
        if (withCamera) {
            // A camera may leave the list while others draw.
            if (i >= m_cameras.size()) break;
            entry = m_cameras[i];
            IKVUnitCamera* camera = entry.camera;
            if (i == 0 && (m_cameras.size() > 1 || !camera->HasOwnViewport())) {
                const KVDeviceRect whole = WholeScreen();
                m_device->SetViewport(&whole);
                m_device->Clear();
                camera->MarkViewportChanged();
            }
            if (camera->HasAutoClip()) ApplyAutoClip(camera);
            if (entry.unit != m_current) MakeCurrent(entry);
            camera->UpdateMatrices();
        } else {
            const KVDeviceRect whole = WholeScreen();
            const KVDeviceRect viewport = GraphicViewport();
            if (!SameRect(viewport, whole)) {
                m_device->SetViewport(&whole);
                m_device->Clear();
            }
            m_device->SetViewport(&viewport);
        }
        if (!BeginUnits()) continue;
        DrawLists(withCamera ? &entry : nullptr);
        EndUnits();
    }
}

void KVSceneManager::Frame2D() {
    // Nothing fills the 3D lists without a 3D device; they are emptied all
    // the same, so they cannot grow from frame to frame.
    m_drawQueue.clear();
    for (int32_t list = 0; list < KVSCENE_LIST_COUNT; ++list)
        if (list != KVSCENE_LIST_DRAWN) m_lists[list].clear();
    FileUnits(false);
    if (!m_noUnitSorter)
        for (IKVUnitSystemizer* sorter : std::vector<IKVUnitSystemizer*>(m_sorters)) sorter->Sort(m_lists);
    const KVDeviceRect viewport = GraphicViewport();
    m_device->SetViewport(&viewport);
    if (!BeginUnits()) return;
    DrawLists(nullptr);
    EndUnits();
    m_device->Present();
}

void KVSceneManager::MakeCurrent(const CameraEntry& camera) {
    camera.camera->InvalidateAll();
    if (m_current) m_current->RemoveListener(this);
    camera.unit->AddListener(this);
    m_current = camera.unit;
    m_currentCamera = camera.camera;
}

bool KVSceneManager::BeginUnits() {
    if (m_device->BeginFrame(0) != 0) return false;
    // Units one after another share the device's batch.
    if (m_device2D) m_device2D->SetFlushDeferred(true);
    m_drawing = true;
    if (KVResources* resources = KVResources::Instance()) resources->IncrementCounters();
    CallAll(m_preDraw);
    m_lists[KVSCENE_LIST_DRAWN].clear();
    m_drawNumber = 0;
    return true;
}

void KVSceneManager::EndUnits() {
    CallAll(m_postDraw);
    m_drawing = false;
    if (m_device2D) m_device2D->SetFlushDeferred(false);
    m_device->EndFrame();
}

// Inline: the draw walk asks once a unit.
inline bool KVSceneManager::PassesCameraFilter(KVUnit* unit, const CameraEntry* camera) {
    KVUnitRefArray* cameras = unit->GetCameras();
    if (cameras->Empty()) return !camera || !camera->camera->IsExclusive();
    if (!camera) return false;
    const int32_t index = camera->unit->GetIndex();
    for (size_t i = 0; i < cameras->Size(); ++i) {
        IKVUnitRef* ref = cameras->At(i);
        if (ref && ref->GetIndex() == index) return true;
    }
    return false;
}

// Inline: the draw walk's only call, once a unit.
inline void KVSceneManager::DrawUnit(KVUnit* unit) {
    const int32_t index = unit->KVUnit::GetIndex();
    // Drawing may run code that lets the unit go; it stays until the end.
    unit->KVUnit::Retain();
    unit->SetDrawNumber(m_drawNumber);
    if (m_renderer)
        m_renderer->DrawUnit(unit, 0);
    else
        unit->Draw();
    if (unit->GetExternalImplementation()) unit->ExternalPass(0);
    m_lists[KVSCENE_LIST_DRAWN].push_back(index);
    if (m_drawNumber < std::numeric_limits<int32_t>::max()) ++m_drawNumber;
    unit->KVUnit::Release();
}

void KVSceneManager::DrawLists(const CameraEntry* camera) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return;
    for (int32_t list = 0; list < KVSCENE_DRAWN_LISTS; ++list) {
        for (size_t i = 0; i < m_lists[list].size(); ++i) {
            const int32_t entry = m_lists[list][i];
            if (i + kPrefetchAhead < m_lists[list].size()) PrefetchUnit(factory, m_lists[list][i + kPrefetchAhead]);
            if (entry < 0) {
                // The marks (negative, as no unit index is) act only for a camera.
                if (!camera) continue;
                if (entry == KVSCENE_MARK_MIRRORS)
                    MirrorPass();
                else if (entry == KVSCENE_MARK_PREPARE)
                    PrepareUnits();
            } else if (KVUnit* unit = factory->UnitObject(entry)) {
                if (PassesCameraFilter(unit, camera)) DrawUnit(unit);
            }
        }
        if (list == 2) DrawOverlay(camera);
    }
}

void KVSceneManager::DrawOverlay(const CameraEntry* camera) {
    KVCore* core = KVCore::Instance();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!core || !factory || !core->IsEditorMode() || !m_overlay || core->IsRunning()) return;
    IKVUnit* overlay = factory->GetUnit(factory->GetOverlayUnit());
    if (!overlay || !PassesCameraFilter(overlay->GetUnit(), camera)) return;
    if (m_renderer)
        m_renderer->DrawUnit(overlay, 1);
    else
        overlay->GetUnit()->Signal(0, 0);
}


void KVSceneManager::MirrorPass() {
    const std::vector<int32_t> mirrors = m_lists[KVSCENE_LIST_MIRRORS];
    if (mirrors.empty() || !m_device3D || !(m_device3D->GetFeatures3D() & KVDEVICE_FEATURE_MIRROR)) return;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    m_device3D->SelectMirrorTarget(m_mirrorTarget);
    m_device3D->ClearMirrorTarget(m_mirrorTarget);
    for (int32_t index : mirrors)
        if (IKVUnit3DMirror* mirror = FaceOf<IKVUnit3DMirror>(factory, index, IID_IKVUnit3DMirror))
            mirror->ApplyUnitShader(0);
    const std::vector<int32_t> reflected = m_lists[KVSCENE_LIST_REFLECTED];
    for (size_t m = 0; m < mirrors.size(); ++m) {
        IKVUnit3DMirror* mirror = FaceOf<IKVUnit3DMirror>(factory, mirrors[m], IID_IKVUnit3DMirror);
        const float* plane = mirror ? mirror->GetPlane() : nullptr;
        if (!plane) continue;
        for (int32_t index : reflected)
            if (IKVUnitDisplay3D* unit = FaceOf<IKVUnitDisplay3D>(factory, index, IID_IKVUnitDisplay3D))
                unit->DrawMirrored(plane, int32_t(m + 1));
    }
    m_device3D->SelectMirrorTarget(nullptr);
    for (int32_t index : mirrors)
        if (IKVUnit3DMirror* mirror = FaceOf<IKVUnit3DMirror>(factory, index, IID_IKVUnit3DMirror))
            mirror->ApplyUnitShader(1);
}

void KVSceneManager::PrepareUnits() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const std::vector<int32_t> prepared = m_lists[KVSCENE_LIST_PREPARED];
    for (int32_t index : prepared)
        if (IKVUnitDisplay3D* unit = FaceOf<IKVUnitDisplay3D>(factory, index, IID_IKVUnitDisplay3D))
            unit->PrepareDraw();
}

void KVSceneManager::ApplyAutoClip(IKVUnitCamera* camera) {
    float nearClip = camera->GetNearClip();
    float farClip = camera->GetFarClip();
    const float* view = m_drawQueue.empty() ? nullptr : camera->GetViewMatrix();
    if (view) {
        float low[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                        std::numeric_limits<float>::max()};
        float high[3] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
                         std::numeric_limits<float>::lowest()};
        for (const KVDrawItem& item : m_drawQueue) {
            const float centre[3] = {item.x, item.y, item.z};
            for (int axis = 0; axis < 3; ++axis) {
                low[axis] = std::min(low[axis], centre[axis] - item.radius);
                high[axis] = std::max(high[axis], centre[axis] + item.radius);
            }
        }
        // Depth is the distance along the view direction: the view looks
        // down -z in right-handed coordinates, down +z otherwise.
        const float sign = m_rightHanded ? -1.0f : 1.0f;
        float nearest = std::numeric_limits<float>::max();
        float farthest = std::numeric_limits<float>::lowest();
        for (int corner = 0; corner < 8; ++corner) {
            const float x = corner & 1 ? high[0] : low[0];
            const float y = corner & 2 ? high[1] : low[1];
            const float z = corner & 4 ? high[2] : low[2];
            const float depth = sign * (x * view[2] + y * view[6] + z * view[10] + view[14]);
            nearest = std::min(nearest, depth);
            farthest = std::max(farthest, depth);
        }
        nearClip = std::max(nearest / 1.1f, nearClip);
        farClip = std::min(farthest * 1.1f, farClip);
    }
    camera->SetClipRange(nearClip, farClip);
}

} // namespace kvl
