#include "KVUnit2D.h"

#include <algorithm>
#include <cmath>

#include "../graphics/IKVGraphic.h"
#include "IKVUnitRef.h"
#include "KVSerialize.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// Answered by 2D units with the unit object itself, so that a 2D parent or
// child is reached without a cast the unit's class cannot vouch for (a
// class registered on "Unit2D" may make units of another kind).
constexpr KVInterfaceId kUnit2DObjectId = MakeId(0x0041BA24, 0x0B1EC700);

// Projects up to this version stored both anchors inverted.
constexpr uint32_t kLastInvertedAnchorsVersion = 0x10005;

bool IsFinite(const KV2DTransform& t) {
    return std::all_of(t.m, t.m + 6, [](float v) { return std::isfinite(v); });
}

} // namespace

int32_t KVUnit2D::s_classIndex = -1;

int32_t KVUnit2D::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == kUnit2DObjectId) return AnswerInterface(this, out);
    if (id == IID_IKVUnit2D) return AnswerInterface(static_cast<IKVUnit2D*>(this), out);
    if (id == IID_IKVUnit2DTransform) return AnswerInterface(static_cast<IKVUnit2DTransform*>(this), out);
    return KVUnit::QueryInterface(id, out);
}

KVUnit2D* KVUnit2D::As2D(int32_t unitIndex) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (unitIndex < 0 || !factory || s_classIndex < 0) return nullptr;
    IKVUnit* unit = factory->GetUnit(unitIndex);
    if (!unit || !factory->IsUnitOfClass(unit, s_classIndex)) return nullptr;
    return FromUnit(unit);
}

KVUnit2D* KVUnit2D::FromUnit(IKVUnknown* unit) {
    void* self = nullptr;
    if (!unit || unit->QueryInterface(kUnit2DObjectId, &self) != KV_OK) return nullptr;
    return static_cast<KVUnit2D*>(self);
}

KVUnit2D* KVUnit2D::Get2DParent() {
    IKVUnitRef* parent = GetParentRef();
    return parent ? As2D(parent->GetIndex()) : nullptr;
}

struct KVUnit2D::Cascade {
    struct Entry {
        int32_t unit;
        int32_t parent;
        size_t depth;
    };
    std::vector<Entry>* pending = nullptr;
    // The unit whose work the cascade calls, and its depth below the start.
    KVUnit2D* reached = nullptr;
    size_t depth = 0;
};

KVUnit2D::Cascade KVUnit2D::s_transformCascade;
KVUnit2D::Cascade KVUnit2D::s_windowCascade;

template <class F>
void KVUnit2D::For2DChildren(Cascade& cascade, F f) {
    // Last first: the walk takes them from the end.
    // A unit that its enable refreshes leaves out the children that go on
    // with it in the same walk: their own refresh places them, and each
    // level of a deep tree would place everything below it again.
    const bool enabling = m_enabling && &cascade == &s_transformCascade;
    auto list = [this, enabling](std::vector<Cascade::Entry>& pending, size_t depth) {
        KVUnitRefArray* children = GetChildren();
        if (depth >= MaxTreeDepth()) return;
        for (size_t i = children->Size(); i-- > 0;) {
            IKVUnitRef* ref = children->At(i);
            if (!ref) continue;
            if (enabling)
                if (KVUnit2D* child = As2D(ref->GetIndex()))
                    if (child->GetWantedEnabled() && !child->IsEnabled()) continue;
            pending.push_back({ref->GetIndex(), GetIndex(), depth + 1});
        }
    };
    if (cascade.reached == this) {
        cascade.reached = nullptr;
        list(*cascade.pending, cascade.depth);
        return;
    }
    const Cascade outer = cascade;
    std::vector<Cascade::Entry> pending;
    list(pending, 0);
    cascade.pending = &pending;
    while (!pending.empty()) {
        const Cascade::Entry entry = pending.back();
        pending.pop_back();
        // Only the children it is the 2D parent of: a listing kept as
        // stored with parent checks off is no link of the tree.
        KVUnit2D* child = As2D(entry.unit);
        if (!child || child->GetParentIndex() != entry.parent) continue;
        cascade.reached = child;
        cascade.depth = entry.depth;
        f(child);
        cascade.reached = nullptr;
    }
    cascade = outer;
}

void KVUnit2D::Init() {
    KVUnit::Init();
    m_position = {0.0f, 0.0f};
    m_dimension = {0, 0};
    m_scale = {1.0f, 1.0f};
    m_anchors[0] = m_anchors[1] = false;
    m_noOffset = false;
    m_windowRelative = false;
    m_rotation = 0.0f;
    m_bounds = {0, 0, 0, 0};
    m_rotationAxis = {0, 0};
    m_local = KV2DTransform();
    m_world = KV2DTransform();
}

void KVUnit2D::Close() { KVUnit::Close(); }

int32_t KVUnit2D::Load() {
    const int32_t result = KVUnit::Load();
    if (result != KV_OK) return result;
    KVSerialize* serializer = KVSerialize::Instance();
    if (serializer && serializer->GetProjectVersion() <= kLastInvertedAnchorsVersion) {
        m_anchors[0] = !m_anchors[0];
        m_anchors[1] = !m_anchors[1];
    }
    return KV_OK;
}

void KVUnit2D::Refresh() {
    Retain();
    if (IsEnabled()) {
        ComputeWindow();
        ResetBounds();
        m_enabling = true;
        UpdateTransform(0);
        m_enabling = false;
    }
    Release();
}

void KVUnit2D::OnParentChanged() { UpdateTransform(0); }

void KVUnit2D::OnResize() { ResetBounds(); }

void KVUnit2D::ResetBounds() { m_bounds = {0, 0, m_dimension.x, m_dimension.y}; }

void KVUnit2D::RefreshTransform() { UpdateTransform(0); }

void KVUnit2D::UpdateTransform(int32_t value) {
    (void)value;
    KVUnit2D* parent = Get2DParent();
    KV2DTempl<float> place = m_position;
    if (m_anchors[0] || m_anchors[1]) {
        // Anchored edges count from the parent's size, or the game area's.
        float width = 0.0f, height = 0.0f;
        if (parent) {
            width = float(parent->m_dimension.x);
            height = float(parent->m_dimension.y);
        } else if (IKVGraphic* graphic = GetGraphicModule()) {
            const int32_t* area = graphic->GetGameArea();
            width = float(area[0]);
            height = float(area[1]);
        }
        if (m_anchors[0]) place.x = width - m_position.x - float(m_dimension.x);
        if (m_anchors[1]) place.y = height - m_position.y - float(m_dimension.y);
    }
    // In 64 bits: an axis and a half dimension near the limits still add.
    const KV2DTempl<int32_t> pivot = {
        int32_t(std::clamp<int64_t>(int64_t(m_rotationAxis.x) + m_dimension.x / 2, INT32_MIN, INT32_MAX)),
        int32_t(std::clamp<int64_t>(int64_t(m_rotationAxis.y) + m_dimension.y / 2, INT32_MIN, INT32_MAX))};
    TransformPoint2D(place, m_scale, m_rotation, pivot, &m_local);
    m_world = parent ? Compose2D(parent->m_world, m_local) : m_local;
    m_singular = !Invert2D(m_world, &m_inverse);
    For2DChildren(s_transformCascade, [](KVUnit2D* child) { child->UpdateTransform(0); });
}

void KVUnit2D::ComputeWindow() {
    KVDeviceRect own = m_window;
    if (m_windowRelative && IsNonEmpty(m_window)) {
        const int32_t dx = RoundHalfUp(m_position.x), dy = RoundHalfUp(m_position.y);
        own = {SaturatingAdd(own.left, dx), SaturatingAdd(own.top, dy), SaturatingAdd(own.right, dx),
               SaturatingAdd(own.bottom, dy)};
    }
    KVUnit2D* parent = Get2DParent();
    if (!parent) {
        m_effectiveWindow = own;
        return;
    }
    const KVDeviceRect& pe = parent->m_effectiveWindow;
    if (IsNonEmpty(pe)) {
        if (IsNonEmpty(own)) {
            m_effectiveWindow = {SaturatingAdd(pe.left, own.left), SaturatingAdd(pe.top, own.top),
                                 std::min(pe.right, SaturatingAdd(pe.left, own.right)),
                                 std::min(pe.bottom, SaturatingAdd(pe.top, own.bottom))};
        } else {
            m_effectiveWindow = pe;
        }
        return;
    }
    if (IsNonEmpty(own)) {
        const int32_t dx = TruncateCoordinate(parent->m_world.m[4]), dy = TruncateCoordinate(parent->m_world.m[5]);
        m_effectiveWindow = {SaturatingAdd(own.left, dx), SaturatingAdd(own.top, dy), SaturatingAdd(own.right, dx),
                             SaturatingAdd(own.bottom, dy)};
    } else {
        m_effectiveWindow = own;
    }
}

void KVUnit2D::UpdateWindow() {
    ComputeWindow();
    For2DChildren(s_windowCascade, [](KVUnit2D* child) { child->UpdateWindow(); });
}

void KVUnit2D::SetPosition(float x, float y) {
    m_position = {x, y};
    UpdateTransform(0);
}

void KVUnit2D::SetDimension(int32_t width, int32_t height) {
    m_dimension = {width, height};
    OnResize();
}

void KVUnit2D::SetRotation(float radians) {
    m_rotation = radians;
    UpdateTransform(0);
}

void KVUnit2D::SetNoOffset(bool noOffset) {
    m_noOffset = noOffset;
    UpdateTransform(0);
}

void KVUnit2D::SetWindow(const KVDeviceRect& window) {
    m_window = window;
    UpdateWindow();
}

bool KVUnit2D::HitTest(KV2DTempl<int32_t>* point, float* depth) {
    const KVDeviceRect& e = m_effectiveWindow;
    if (IsNonEmpty(e) && (point->x < e.left || point->y < e.top || point->x >= e.right || point->y >= e.bottom))
        return false;
    const KV2DTempl<float> local = Apply2D(m_inverse, float(point->x), float(point->y));
    point->x = RoundCoordinate(local.x);
    point->y = RoundCoordinate(local.y);
    // A flat unit covers nothing; neither does a point that no longer maps
    // to a number.
    if (m_singular || !std::isfinite(local.x) || !std::isfinite(local.y)) return false;
    if (point->x < m_bounds.left || point->x >= m_bounds.right || point->y < m_bounds.top ||
        point->y >= m_bounds.bottom)
        return false;
    if (depth) *depth = -1.0f;
    return true;
}

bool KVUnit2D::IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
    (void)camera;
    KV2DTempl<int32_t> local = point;
    return HitTest(&local, depth);
}

KV2DTempl<int32_t> KVUnit2D::LocalCenterOf(KVUnit2D* other) {
    const KV2DTempl<float> world =
        Apply2D(other->m_world, float(other->m_dimension.x / 2), float(other->m_dimension.y / 2));
    const KV2DTempl<float> local =
        Apply2D(m_inverse, float(RoundCoordinate(world.x)), float(RoundCoordinate(world.y)));
    return {RoundCoordinate(local.x), RoundCoordinate(local.y)};
}

float KVUnit2D::GetAbsoluteRotation() {
    float sum = 0.0f;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    // A parent loop is bounded by the number of units.
    const int32_t limit = factory ? factory->GetUnitCount() : 0;
    KVUnit2D* unit = this;
    for (int32_t steps = 0; unit && steps <= limit; ++steps) {
        sum += unit->m_rotation;
        unit = unit->Get2DParent();
    }
    return sum;
}

bool KVUnit2D::CollidesWith(IKVUnit* other, bool asTarget, int32_t type) {
    if (asTarget) return true;
    KVUnit2D* unit = type == 1 ? FromUnit(other) : nullptr;
    if (!unit) return false;
    // A centre that is not a number lies nowhere; a flat unit holds none.
    if (m_singular || !IsFinite(m_inverse) || !IsFinite(unit->m_world)) return false;
    const KV2DTempl<int32_t> c = LocalCenterOf(unit);
    return c.x >= 0 && c.x < m_dimension.x && c.y >= 0 && c.y < m_dimension.y;
}

} // namespace kvl
