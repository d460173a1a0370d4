#pragma once
// The scene manager: turns the unit tree into a picture once per frame and
// answers what is on the screen. It keeps the active cameras, files the
// visible units into draw lists while walking the tree, lets sorters reorder
// the lists, draws them per camera through the graphic device and keeps the
// units drawn for the last camera for picking. It owns the collision
// manager. Split by responsibility:
//   KVSceneManager.cpp      phases, lists, cameras, point tests, transforms
//   KVSceneManagerDraw.cpp  the tree walk, the frame, mirrors, clip ranges
//   KVSceneManagerLib.cpp   the "KVScene" script functions
#include <vector>
#include "../kernel/IKVModule.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"
#include "IKVLinker.h"
#include "IKVSceneManager.h"
#include "KVInputScene.h"

namespace kvl {

class IKVGraphicDevice3D;
class IKVUnitCamera;
class KVSceneCollisionManager;
class KVUnit;
class KVUnitFactory;

// A 3D unit's bounding sphere, queued while the scene is walked.
struct KVDrawItem {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float radius = 0.0f;
};
static_assert(sizeof(KVDrawItem) == 16, "four packed floats");

class KVSceneManager : public Singleton<KVSceneManager>,
                       public IKVModule,
                       public IKVSceneManager,
                       public IKVLinker,
                       public KVLuaLibrary {
public:
    static constexpr uint64_t kNoUnitSorterId = 0x000F60A63BE3006Bull;
    static constexpr uint64_t kRightHandedId = 0x0049989D9CC9B100ull;
    static constexpr uint32_t kEditorColour = 0x80FF00FFu;
    static constexpr uint32_t kEditorColourSwitched = 0xFFFF0000u;
    // Depth bound of the point search: a hit counts only below it.
    static constexpr float kFarthestDepth = 3.0e38f;

    KVSceneManager();
    ~KVSceneManager() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // IKVSceneManager
    int32_t UnitAt(const KVScreenPoint& point, IKVUnit** out, IKVUnit* camera) override;
    int32_t AddDrawCallback(IKVDrawCallback* callback, int32_t which) override;
    int32_t Reserved() override { return KV_OK; }
    int32_t AddObject(IKVUnitSystemizer* sorter) override;
    int32_t RemoveObject(IKVUnitSystemizer* sorter) override;
    int32_t AddUnit(IKVUnit* unit) override;
    // AddUnit with the unit's index and scene list at hand.
    int32_t AddUnitIndex(int32_t index, int32_t list) {
        // Only the drawn lists take units; any other number would reach the
        // lists of mirrors, picking or layers, or none at all.
        if (list < 0 || list >= KVSCENE_DRAWN_LISTS) return KV_INVALID;
        m_lists[list].push_back(index);
        return KV_OK;
    }
    int32_t AddReflectedUnit(IKVUnit* unit) override;
    int32_t AddMirrorUnit(IKVUnit* unit) override;
    IKVUnit* FindCamera() override;
    IKVUnit* GetCurrentCamera() override { return m_current; }
    int32_t ProjectToScreen(const KV3DVector* point, KVScreenPoint* out) override;
    int32_t OnScreenChanged() override;
    int32_t SetRenderer(IKVSceneRenderer* renderer) override;
    bool IsPointInside(IKVUnit* unit, const KVScreenPoint& point, bool raw, float* depth, IKVUnit* camera) override;
    int32_t SetInputTransform(const float* matrix) override;
    int32_t ClearInputTransform() override;
    int32_t TransformPoint(KVScreenPoint* point) override;
    uint32_t GetEditorColour() override;
    const KVDeviceRect* GetMainViewport() override;
    bool IsRightHanded() override { return m_rightHanded; }

    // IKVLinker: the current camera goes away.
    int32_t UnlinkUnit(IKVUnit* unit, int32_t code) override;
    int32_t OnUnitChanged(IKVUnit* unit, int32_t code) override;

    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // Files the unit among those prepared before the 3D units draw.
    int32_t AddUnitToList7(IKVUnit* unit);
    int32_t QueueDrawItem(const KVDrawItem& item);
    // Editor-only units are shown: the core is in editor mode or a script
    // asked for them, and the editor-units switch is on.
    bool ShowsEditorUnits(IKVUnit* unit);
    void SetEditorUnitsRequested(bool on) { m_editorUnitsRequested = on; }
    // One frame: 0, or 1 without a graphic device.
    int32_t Draw();
    // A camera unit became active: other active full-screen cameras that
    // deactivate automatically go off and leave the list.
    int32_t OnCameraActivated(IKVUnit* camera);
    int32_t RemoveCamera(IKVUnit* camera);
    // Which camera a point is seen through. Every point the scene is asked
    // about (the pointer's and the touches' positions, KVScene.UnitsAt and
    // Convert2DTo3D, unit:IsPointInside, the 3D units' own picking) is in
    // game coordinates, and every camera's viewport shows the whole game
    // area: PointToGame takes a device pixel inside a viewport onto it, and
    // the camera's GetPickRay and Project take it back onto that camera's
    // view. So a game point does not tell which viewport it was seen in:
    //  - a caller that knows the camera hands it over; input hands the
    //    camera whose viewport held the pointer's device position
    //    (CameraAt, the only lookup in device pixels);
    //  - otherwise the point is seen through FindCamera()'s camera;
    //  - a point outside the game area lies in the bars or borders around
    //    the viewports and is seen through none (it picks no 3D unit).
    IKVUnit* FindCamera(const KVScreenPoint& point);
    // The first listed camera whose viewport holds the device pixel (left
    // and top inclusive), or null.
    IKVUnit* CameraAt(int32_t x, int32_t y);
    // Every unit drawn for the last camera that is hit at the point,
    // topmost first.
    void UnitsAt(const KVScreenPoint& point, std::vector<int32_t>* out);

    // What the frame left behind.
    const std::vector<int32_t>& GetList(int32_t list) const;
    const std::vector<KVDrawItem>& GetDrawQueue() const { return m_drawQueue; }
    size_t GetCameraCount() const { return m_cameras.size(); }
    IKVUnit* GetCamera(size_t position) const {
        return position < m_cameras.size() ? m_cameras[position].unit : nullptr;
    }
    bool IsDrawing() const { return m_drawing; }
    KVSceneCollisionManager* GetCollisionManager() const { return m_collision; }

private:
    struct CameraEntry {
        IKVUnit* unit;
        IKVUnitCamera* camera;
    };

    // KVSceneManagerDraw.cpp
    // Files the visible units; 3D units are passed by without a camera.
    void FileUnits(bool withCamera);
    void FrameWith3D();
    void Frame2D();
    // Begins the device frame and calls the pre-draw callbacks; false when
    // the frame could not begin.
    bool BeginUnits();
    void EndUnits();
    void DrawLists(const CameraEntry* camera);
    void DrawUnit(KVUnit* unit);
    void DrawOverlay(const CameraEntry* camera);
    bool PassesCameraFilter(KVUnit* unit, const CameraEntry* camera);
    void MirrorPass();
    void PrepareUnits();
    void ApplyAutoClip(IKVUnitCamera* camera);
    void MakeCurrent(const CameraEntry& camera);

    // KVSceneManager.cpp
    static IKVUnitCamera* CameraOf(IKVUnit* unit);
    const CameraEntry* FindCameraEntry();
    KVDeviceRect WholeScreen();
    bool IsFullScreen(const KVDeviceRect& viewport);
    // The graphic module's current viewport, or the whole screen.
    KVDeviceRect GraphicViewport();
    void ForgetCurrentCamera();
    void ReleaseMirrorTarget();
    // The hit test of picking: the unit is neither passed by nor
    // invisible, and its point test hits in front of the bound.
    bool Hits(IKVUnit* unit, const KVScreenPoint& point, IKVUnit* camera);
    void FileIndex(int32_t list, IKVUnit* unit);

    IKVGraphicDevice* m_device = nullptr;
    IKVGraphicDevice2D* m_device2D = nullptr;
    IKVGraphicDevice3D* m_device3D = nullptr;
    std::vector<IKVDrawCallback*> m_preDraw;
    std::vector<IKVDrawCallback*> m_postDraw;
    std::vector<CameraEntry> m_cameras;
    IKVUnit* m_current = nullptr;
    IKVUnitCamera* m_currentCamera = nullptr;
    bool m_camerasLocked = false;
    std::vector<IKVUnitSystemizer*> m_sorters;
    std::vector<int32_t> m_lists[KVSCENE_LIST_COUNT];
    uint32_t m_colours[2] = {kEditorColour, kEditorColourSwitched};
    IKVSceneRenderer* m_renderer = nullptr;
    float m_inputTransform[16] = {};
    void* m_mirrorTarget = nullptr;
    bool m_overlay = true;
    bool m_drawing = false;
    bool m_noCameraReported = false;
    bool m_inputTransformActive = false;
    std::vector<KVDrawItem> m_drawQueue;
    bool m_noUnitSorter = false;
    bool m_editorUnits = true;
    bool m_editorUnitsRequested = false;
    bool m_firstFrame = true;
    bool m_rightHanded = true;
    KVDeviceRect m_mainViewport = {0, 0, 0, 0};
    int32_t m_drawNumber = 0;
    // Units met by the current tree walk, by index (a unit is filed once).
    std::vector<uint8_t> m_visited;
    // The tree walk's lists, kept for their room between frames.
    struct Visit {
        int32_t unit;
        int32_t layer;
    };
    std::vector<Visit> m_pendingVisits;
    std::vector<int32_t> m_walkRoots;
    std::vector<uint8_t> m_layerKinds;
    KVSceneCollisionManager* m_collision = nullptr;
    // What the input module asks of the scene (IID_IKVInputScene).
    KVInputScene m_inputScene{this};
};

} // namespace kvl
