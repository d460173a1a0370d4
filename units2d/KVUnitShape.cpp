#include "KVUnitShape.h"

#include <cmath>

#include "../kernel/KVCore.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

namespace {

// The mean of two colours, byte by byte.
uint32_t MeanColor(uint32_t a, uint32_t b) {
    uint32_t mean = 0;
    for (int shift = 0; shift < 32; shift += 8)
        mean |= ((((a >> shift) & 0xFFu) + ((b >> shift) & 0xFFu)) >> 1) << shift;
    return mean;
}

void ColorChanged(void* unit) {
    if (KVUnitShape* shape = KVUnitShape::FromUnit(static_cast<KVUnit*>(unit))) shape->ApplyColor();
}

} // namespace

KVUnitShape* KVUnitShape::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVUnitShape*>(unit->GetUnit()) : nullptr;
}

int32_t KVUnitShape::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitRect) return AnswerInterface(static_cast<IKVUnitRect*>(this), out);
    return KVUnitDisplay2D::QueryInterface(id, out);
}

void KVUnitShape::Init() {
    KVUnitDisplay2D::Init();
    // Only these bytes are written; the others keep their first value, 0.
    m_color = (m_color & 0x0000FFFFu) | 0x80800000u;
    m_colorEnd = (m_colorEnd & 0x00FF00FFu) | 0x80008000u;
    m_gradientDirection = kRight;
    m_type = kRect;
    m_gradient = false;
    m_onlyEditor = true;
    SetDimension(80, 60);
    ApplyColor();
    SetDrawable(true);
}

int32_t KVUnitShape::SetColor(uint32_t color) {
    m_color = color;
    ApplyColor();
    return KV_OK;
}

void KVUnitShape::Draw() {
    // The base unit's draw only: a shape selects no render target.
    KVUnit::Draw();
    if ((m_drawColor >> 24) == 0) return;
    if (m_onlyEditor) {
        KVCore* core = KVCore::Instance();
        if (!core || !core->IsEditorMode()) return;
    }
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic) return;
    graphic->SetViewTransform(GetWorldTransform().m);
    const int32_t width = m_dimension.x, height = m_dimension.y;
    if (m_type == kRect) {
        const KVDeviceRect rect = {0, 0, width, height};
        if (m_gradient) {
            uint32_t corners[4] = {m_color, m_colorEnd, m_color, m_colorEnd};
            if (m_gradientDirection == kBottom) {
                corners[1] = m_color;
                corners[2] = m_colorEnd;
            } else if (m_gradientDirection == kDiagonal) {
                const uint32_t mean = MeanColor(m_color, m_colorEnd);
                corners[1] = corners[2] = mean;
            }
            graphic->FillRect(&rect, corners, 4);
        } else {
            graphic->FillRect(&rect, &m_drawColor, 1);
        }
        return;
    }
    if (m_type != kRound) return;
    // In the colour drawn, so that a Round fader fades too.
    const float cx = float(width) * 0.5f, cy = float(height) * 0.5f;
    const double step = 2.0 * 3.14159265358979323846 / kRoundSegments;
    KVFloatPoint previous = {2.0f * cx, cy};
    for (int32_t k = 1; k <= kRoundSegments; ++k) {
        const KVFloatPoint next = {cx + float(std::cos(k * step)) * cx, cy + float(std::sin(k * step)) * cy};
        const KVFloatPoint triangle[3] = {{cx, cy}, previous, next};
        graphic->FillTriangle(triangle, m_drawColor);
        previous = next;
    }
}

bool KVUnitShape::InEllipse(const KV2DTempl<int32_t>& local) const {
    const double hw = double(m_dimension.x) * 0.5, hh = double(m_dimension.y) * 0.5;
    if (hw == 0.0 || hh == 0.0) return false;
    const double dx = (double(local.x) - hw) / hw, dy = (double(local.y) - hh) / hh;
    return dx * dx + dy * dy <= 1.0;
}

bool KVUnitShape::IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
    (void)camera;
    KV2DTempl<int32_t> local = point;
    if (!HitTest(&local, depth)) return false;
    return m_type != kRound || InEllipse(local);
}

bool KVUnitShape::CollidesWith(IKVUnit* other, bool asTarget, int32_t type) {
    if (m_type != kRound || asTarget) return KVUnitDisplay2D::CollidesWith(other, asTarget, type);
    KVUnit2D* unit = KVUnit2D::FromUnit(other);
    if (!unit) return false;
    if (type == 1) return InEllipse(LocalCenterOf(unit));
    KVUnitShape* shape = FromUnit(other);
    if (!shape || shape->m_type != kRound) return false;
    const KV2DTempl<int32_t>& mine = m_dimension;
    const KV2DTempl<int32_t>& theirs = shape->m_dimension;
    if (mine.x != mine.y || theirs.x != theirs.y) return false;
    const KV2DTempl<int32_t> centre = LocalCenterOf(unit);
    const double dx = double(centre.x) - double(mine.x / 2), dy = double(centre.y) - double(mine.y / 2);
    return std::sqrt(dx * dx + dy * dy) <= double(theirs.x) * 0.5 + double(mine.x) * 0.5;
}

int32_t KVUnitShape::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return -1;
    KVUnitClassDesc desc;
    desc.name = "Shape";
    desc.create = &KVUnitShape::Create;
    desc.baseClass = factory->FindClassByName("Display2D");
    desc.id = kClassId;
    desc.description = "2D class which defines shape on screen";
    desc.aliasNames = "Rect";
    int32_t classIndex = -1;
    if (factory->RegisterClass(desc, &classIndex) != KV_OK) return -1;

    KVUnitShape probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Color", KVATTR_COLOR, &probe.m_color, 1, kColorId, kStored, 0, nullptr, ColorChanged, nullptr, "", 0},
        {"ColorEnd", KVATTR_COLOR, &probe.m_colorEnd, 1, kColorEndId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Gradient", KVATTR_BOOLEAN, &probe.m_gradient, 1, kGradientId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"GradientDirection~Right~Bottom~Diagonal", KVATTR_ENUM, &probe.m_gradientDirection, 1, kGradientDirectionId,
         kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"OnlyEditor", KVATTR_BOOLEAN, &probe.m_onlyEditor, 1, kOnlyEditorId, kStored, 0, nullptr, nullptr, nullptr,
         "", 0},
        {"Type~Rect~Round", KVATTR_ENUM, &probe.m_type, 1, kTypeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterShapeClass() { return KVUnitShape::RegisterClass(); }

} // namespace kvl
