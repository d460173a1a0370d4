#include "KVInputScene.h"

#include <algorithm>
#include <deque>

#include "../kernel/KVInput.h"
#include "../kernel/KVInputEvents.h"
#include "IKVUnitCamera.h"
#include "IKVUnitRef.h"
#include "KVSceneManager.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {
namespace {

struct PointerHandler {
    uint32_t bit;
    const char* name;
};

// The handlers of the point-bound pointer bits, in the order they are called.
const PointerHandler kPointerHandlers[] = {
    {KVINPUT_MOUSE_WHEEL, "OnMouseWheel"},        {KVINPUT_MOUSE_LDOWN, "OnMouseLDown"},
    {KVINPUT_MOUSE_RDOWN, "OnMouseRDown"},        {KVINPUT_MOUSE_LUP, "OnMouseLUp"},
    {KVINPUT_MOUSE_RUP, "OnMouseRUp"},            {KVINPUT_MOUSE_LDBLDOWN, "OnMouseLDblDown"},
    {KVINPUT_MOUSE_RDBLDOWN, "OnMouseRDblDown"},  {KVINPUT_MOUSE_MDOWN, "OnMouseMDown"},
    {KVINPUT_MOUSE_MUP, "OnMouseMUp"},
};

// A unit's children as they stand when the walk reaches it, each held by a
// reference until the walk of the unit ends: handlers may close, disable or
// move units meanwhile, and a closed parent lets its children go.
class HeldChildren {
public:
    explicit HeldChildren(IKVUnit* unit) {
        KVUnitRefArray* children = unit->GetChildren();
        KVUnitFactory* factory = KVUnitFactory::Instance();
        if (!children || !factory) return;
        for (size_t i = 0; i < children->Size(); ++i) {
            IKVUnitRef* ref = children->At(i);
            IKVUnit* child = ref ? factory->GetUnit(ref->GetIndex()) : nullptr;
            // Only the children it is the parent of: a listing kept as
            // stored with parent checks off is no link of the tree. A unit
            // on its way out takes no new reference.
            if (child && child->GetParentIndex() == unit->GetIndex() && child->Retain() != 0)
                m_units.push_back(child);
        }
    }
    ~HeldChildren() {
        for (IKVUnit* child : m_units) child->Release();
    }
    HeldChildren(const HeldChildren&) = delete;
    HeldChildren& operator=(const HeldChildren&) = delete;

    const std::vector<IKVUnit*>& Units() const { return m_units; }

private:
    std::vector<IKVUnit*> m_units;
};

// Serves the enabled units of a subtree, children before their parent, in
// children order, without recursion: one step per unit whose children are
// being walked, each over a held snapshot that is let go before the unit
// itself is served (its parent's step still holds it).
template <class Walk, class Serve>
void WalkTree(IKVUnit* root, Walk* walk, const Serve& serve) {
    if (!walk->Enter(root)) return;
    struct Step {
        explicit Step(IKVUnit* u) : unit(u), children(u) {}
        IKVUnit* unit;
        HeldChildren children;
        size_t next = 0;
    };
    // A deque: its steps stay where they are while steps are added.
    std::deque<Step> steps;
    steps.emplace_back(root);
    while (!steps.empty()) {
        Step& step = steps.back();
        if (step.next < step.children.Units().size()) {
            IKVUnit* child = step.children.Units()[step.next++];
            if (child->IsEnabled() && walk->Enter(child)) steps.emplace_back(child);
            continue;
        }
        IKVUnit* unit = step.unit;
        steps.pop_back();
        serve(unit);
    }
}

} // namespace

KVInputScene::Walk::Walk(uint32_t* shared) : input(KVInput::Instance()), sharedMask(shared) {}

bool KVInputScene::Walk::Enter(IKVUnit* unit) {
    const int32_t index = unit->GetIndex();
    if (index < 0) return true;
    if (walked.size() <= size_t(index)) walked.resize(size_t(index) + 1, false);
    if (walked[size_t(index)]) return false;
    walked[size_t(index)] = true;
    return true;
}

int32_t KVInputScene::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVInputScene) return AnswerInterface(static_cast<IKVInputScene*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVInputScene::GetDrawNumber(IKVUnit* unit) {
    KVUnit* self = unit ? unit->GetUnit() : nullptr;
    return self ? self->GetDrawNumber() : -1;
}

KVInputRect KVInputScene::GetDeviceViewport() {
    const KVDeviceRect* viewport = nullptr;
    void* camera = nullptr;
    IKVUnit* current = m_scene->GetCurrentCamera();
    if (current && current->QueryInterface(IID_IKVUnitCamera, &camera) == KV_OK && camera)
        viewport = static_cast<IKVUnitCamera*>(camera)->GetViewport();
    if (!viewport) viewport = m_scene->GetMainViewport();
    KVInputRect rect;
    if (viewport) rect = KVInputRect{viewport->left, viewport->top, viewport->right, viewport->bottom};
    return rect;
}

IKVUnit* KVInputScene::CameraAt(int32_t x, int32_t y) { return m_scene->CameraAt(x, y); }

bool KVInputScene::IsInside(IKVUnit* unit, int32_t x, int32_t y, IKVUnit* camera) {
    KVScreenPoint point;
    point.x = x;
    point.y = y;
    return m_scene->IsPointInside(unit, point, false, nullptr, camera);
}

bool KVInputScene::Call(Walk* walk, IKVUnit* unit, const char* handler, const int32_t* values, int32_t count,
                        uint32_t bit) {
    if (!walk->input || std::find(walk->stopped.begin(), walk->stopped.end(), unit) != walk->stopped.end())
        return false;
    uint8_t stillEnabled = 1;
    if (walk->input->CallUnitHandler(unit, handler, values, count, &stillEnabled)) *walk->sharedMask &= ~bit;
    if (!stillEnabled) walk->stopped.push_back(unit);
    return true;
}

void KVInputScene::DispatchPointerToUnit(const KVPointerDispatch& dispatch) {
    if (!dispatch.unit || !dispatch.sharedMask) return;
    Walk walk(dispatch.sharedMask);
    WalkPointer(dispatch.unit, dispatch, &walk);
}

void KVInputScene::WalkPointer(IKVUnit* root, const KVPointerDispatch& dispatch, Walk* walk) {
    WalkTree(root, walk, [&](IKVUnit* unit) {
        const uint32_t f = dispatch.entryMask & *dispatch.sharedMask;
        if (!f) return;
        IKVUnit* handlerUnit = dispatch.target ? dispatch.target : unit;
        const int32_t point[3] = {dispatch.x, dispatch.y, 0};
        if (f & KVINPUT_MOUSE_MOVE) Call(walk, handlerUnit, "OnMouseMove", point, 2, KVINPUT_MOUSE_MOVE);
        if (!IsInside(unit, dispatch.x, dispatch.y, dispatch.camera) && !(unit->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT))
                return;

        const int32_t wheel[3] = {dispatch.wheel, dispatch.x, dispatch.y};
        for (const PointerHandler& h : kPointerHandlers) {
            if (!(f & h.bit)) continue;
            const bool isWheel = h.bit == KVINPUT_MOUSE_WHEEL;
            bool called = Call(walk, handlerUnit, h.name, isWheel ? wheel : point, isWheel ? 3 : 2, h.bit);
            if (called && h.bit == KVINPUT_MOUSE_LDOWN)
                walk->input->LogLeftClick(handlerUnit->GetName(), dispatch.x, dispatch.y,
                                          !(*dispatch.sharedMask & KVINPUT_MOUSE_LDOWN));
        }
    });
}

void KVInputScene::DispatchTouchToUnit(const KVTouchDispatch& dispatch) {
    if (!dispatch.unit || !dispatch.sharedMask || !dispatch.record) return;
    Walk walk(dispatch.sharedMask);
    WalkTouch(dispatch.unit, dispatch, &walk);
}

void KVInputScene::WalkTouch(IKVUnit* root, const KVTouchDispatch& dispatch, Walk* walk) {
    WalkTree(root, walk, [&](IKVUnit* unit) {
        const uint32_t f = dispatch.entryMask & *dispatch.sharedMask;
        if (!f) return;
        const KVTouchRecord& record = *dispatch.record;
        const bool acceptsAll = (unit->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT) != 0;
        if ((f & KVINPUT_TOUCH_MOVE) && record.moved) {
            const int32_t values[5] = {dispatch.touch, record.moveX, record.moveY, dispatch.deltaX, dispatch.deltaY};
            Call(walk, dispatch.target ? dispatch.target : unit, "OnTouchMove", values, 5, KVINPUT_TOUCH_MOVE);
        }
        // Presses and releases go to the unit under the finger, whatever the
        // registration named.
        if ((f & KVINPUT_TOUCH_DOWN) &&
            (IsInside(unit, record.pressX, record.pressY, dispatch.pressCamera) || acceptsAll)) {
            const int32_t values[3] = {dispatch.touch, record.pressX, record.pressY};
            Call(walk, unit, "OnTouchDown", values, 3, KVINPUT_TOUCH_DOWN);
        }
        if ((f & KVINPUT_TOUCH_UP) &&
            (IsInside(unit, record.releaseX, record.releaseY, dispatch.releaseCamera) || acceptsAll)) {
            const int32_t values[3] = {dispatch.touch, record.releaseX, record.releaseY};
            Call(walk, unit, "OnTouchUp", values, 3, KVINPUT_TOUCH_UP);
        }
    });
}

} // namespace kvl
