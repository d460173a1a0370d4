#include "KVUnitArea.h"

#include "../KVLua/KVLua.h"
#include "../graphics/IKVGraphic.h"
#include "../kernel/KVCore.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"
#include "IKVTriangulation.h"

namespace kvl {

namespace {

// The quadrant of a vertex around the point tested.
int32_t Quadrant(int64_t px, int64_t py, int64_t u, int64_t v) {
    if (px >= u) return py >= v ? 0 : 3;
    return py >= v ? 1 : 2;
}

void ColorChanged(void* unit) {
    if (KVUnitArea* area = KVUnitArea::FromUnit(static_cast<KVUnit*>(unit))) area->OnColorChanged();
}

int ScriptGetCenter(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitArea* area = KVUnitArea::FromUnit(unit);
    if (!lua || !area) return 0;
    const KV2DTempl<float> centre = area->GetCenter();
    KVStructField fields[2];
    fields[0].name = "x";
    fields[0].kind = KVSTRUCT_FLOAT;
    fields[0].real = centre.x;
    fields[1].name = "y";
    fields[1].kind = KVSTRUCT_FLOAT;
    fields[1].real = centre.y;
    lua->PushStruct(fields, 2, nullptr, 0);
    return 1;
}

} // namespace

IKVTriangulation* KVUnitArea::s_triangulation = nullptr;

KVUnitArea* KVUnitArea::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVUnitArea*>(unit->GetUnit()) : nullptr;
}

int32_t KVUnitArea::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitArea) return AnswerInterface(static_cast<IKVUnitArea*>(this), out);
    return KVUnit2D::QueryInterface(id, out);
}

void KVUnitArea::Init() {
    KVUnit2D::Init();
    // Only the alpha and the lowest byte are written.
    m_color = (m_color & 0x00FFFF00u) | 0x80000080u;
    m_onlyEditor = true;
    SetDrawable(true);
    m_outline = {{0, 0}, {80, 0}, {80, 60}, {0, 60}};
    m_position = {0.0f, 0.0f};
    Retriangulate();
    OnColorChanged();
}

void KVUnitArea::OnOutlineChanged() { Retriangulate(); }

void KVUnitArea::Retriangulate() {
    m_triangles.clear();
    // A rejected outline leaves the list empty.
    if (s_triangulation) s_triangulation->Triangulate(m_outline, m_triangles);
}

void KVUnitArea::Draw() {
    KVUnit::Draw();
    KVCore* core = KVCore::Instance();
    if (core && core->IsEditorMode()) {
        KVSceneManager* scene = KVSceneManager::Instance();
        if (!scene || !scene->ShowsEditorUnits(this)) return;
    } else if (m_onlyEditor) {
        return;
    }
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic) return;
    for (size_t i = 0; i + 2 < m_triangles.size(); i += 3) {
        graphic->SetViewTransform(GetWorldTransform().m);
        const KVFloatPoint corners[3] = {{float(m_triangles[i].x), float(m_triangles[i].y)},
                                         {float(m_triangles[i + 1].x), float(m_triangles[i + 1].y)},
                                         {float(m_triangles[i + 2].x), float(m_triangles[i + 2].y)}};
        graphic->FillTriangle(corners, m_color);
    }
}

bool KVUnitArea::IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
    (void)camera;
    const KV2DTransform& m = GetInverseTransform();
    const float x = float(point.x), y = float(point.y);
    const int32_t u = RoundCoordinate(m.m[0] * x + m.m[2] * y + m.m[4]);
    const int32_t v = RoundCoordinate(m.m[1] * x + m.m[3] * y + m.m[5]);
    if (!OutlineContains(u, v)) return false;
    if (depth) *depth = -1.0f;
    return true;
}

bool KVUnitArea::OutlineContains(int32_t u32, int32_t v32) const {
    if (m_outline.size() < 3) return false;
    // Products of coordinate differences need 64 bits.
    const int64_t u = u32, v = v32;
    const KV2DTempl<int32_t>* previous = &m_outline.back();
    int32_t p = Quadrant(previous->x, previous->y, u, v);
    int64_t count = 0;
    for (const KV2DTempl<int32_t>& vertex : m_outline) {
        const int32_t q = Quadrant(vertex.x, vertex.y, u, v);
        if (q != p) {
            if (q == (p + 1) % 4) {
                ++count;
            } else if (p == (q + 1) % 4) {
                --count;
            } else {
                const int64_t px = previous->x, py = previous->y;
                count += (v - py) * (px - vertex.x) < (py - vertex.y) * (u - px) ? 2 : -2;
            }
        }
        previous = &vertex;
        p = q;
    }
    return count != 0;
}

KV2DTempl<float> KVUnitArea::GetCenter() const {
    if (m_outline.empty()) return {0.0f, 0.0f};
    float x = 0.0f, y = 0.0f;
    for (const KV2DTempl<int32_t>& point : m_outline) {
        x += float(point.x);
        y += float(point.y);
    }
    const float count = float(uint32_t(m_outline.size()));
    return {x / count, y / count};
}

int32_t KVUnitArea::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Area", &KVUnitArea::Create, "Unit2D", kClassId,
                                               "2D class which defines polygonal area on screen");
    if (classIndex < 0) return -1;
    KVUnitArea probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Color", KVATTR_COLOR, &probe.m_color, 1, kColorId, kStored, 0, nullptr, ColorChanged, nullptr, "", 0},
        {"OnlyEditor", KVATTR_BOOLEAN, &probe.m_onlyEditor, 1, kOnlyEditorId, kStored, 0, nullptr, nullptr, nullptr,
         "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    if (KVLua* lua = KVLua::Instance()) lua->RegisterClassFunction(classIndex, "GetCenter", &ScriptGetCenter);
    s_triangulation = QueryCoreInterface<IKVTriangulation>(IID_IKVTriangulation);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterAreaClass() { return KVUnitArea::RegisterClass(); }

} // namespace kvl
