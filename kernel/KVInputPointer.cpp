// Pointer and touch events of the input module: event bits from the device's
// pointer state and touch records, the parties that want them, and the hand-
// over of each registered unit to the scene's walk through its subtree.
#include "../KVLua/KVLua.h"
#include "../graphics/IKVGraphicDevice.h"
#include "../graphics/IKVGraphic.h"
#include "../units/IKVUnit.h"
#include "KVInput.h"
#include "KVInputEvents.h"

namespace kvl {
namespace {

int32_t Difference(int32_t a, int32_t b) {
    int64_t d = int64_t(a) - int64_t(b);
    if (d > INT32_MAX) return INT32_MAX;
    if (d < INT32_MIN) return INT32_MIN;
    return int32_t(d);
}

// The last position inside a bound that excludes it.
int32_t Below(int32_t bound) { return bound > INT32_MIN ? bound - 1 : bound; }

// The camera a device position is seen through (none when there is no
// such position), held while the delivery runs: a handler may close it.
class HeldCamera {
public:
    HeldCamera(IKVInputScene* scene, bool there, int32_t x, int32_t y)
        : m_camera(there ? scene->CameraAt(x, y) : nullptr) {
        if (m_camera && m_camera->Retain() == 0) m_camera = nullptr;
    }
    ~HeldCamera() {
        if (m_camera) m_camera->Release();
    }
    HeldCamera(const HeldCamera&) = delete;
    HeldCamera& operator=(const HeldCamera&) = delete;

    IKVUnit* Get() const { return m_camera; }

private:
    IKVUnit* m_camera;
};

} // namespace

void KVInput::UpdatePointer() {
    KVPointerState pointer;
    if (!m_device->GetPointerState(&pointer)) return;
    m_pointerOutside = pointer.outside;
    int32_t x = 0;
    int32_t y = 0;
    const HeldCamera camera(m_scene, true, pointer.x, pointer.y);
    m_scene->PointToGame(pointer.x, pointer.y, &x, &y);

    // The stored position is held inside the game area on the left and top
    // only; the event point on all four sides.
    KVInputRect area = m_scene->GetGameArea();
    bool outside = false;
    if (x < area.left) {
        x = area.left;
        outside = true;
    }
    if (y < area.top) {
        y = area.top;
        outside = true;
    }
    m_state.x = x;
    m_state.y = y;
    if (x >= area.right) {
        x = Below(area.right);
        outside = true;
    }
    if (y >= area.bottom) {
        y = Below(area.bottom);
        outside = true;
    }

    uint32_t mask = 0;
    if (pointer.dx != 0 || pointer.dy != 0) mask |= KVINPUT_MOUSE_MOVE;
    if (pointer.wheel != 0) mask |= KVINPUT_MOUSE_WHEEL;
    struct Button {
        uint8_t press;
        uint8_t release;
        uint32_t bit;
        uint32_t down;
        uint32_t up;
    };
    const Button buttons[] = {
        {pointer.leftPress, pointer.leftRelease, 1, KVINPUT_MOUSE_LDOWN, KVINPUT_MOUSE_LUP},
        {pointer.rightPress, pointer.rightRelease, 2, KVINPUT_MOUSE_RDOWN, KVINPUT_MOUSE_RUP},
        {pointer.middlePress, pointer.middleRelease, 4, KVINPUT_MOUSE_MDOWN, KVINPUT_MOUSE_MUP},
    };
    for (const Button& b : buttons) {
        if (b.press && !outside) {
            mask |= b.down;
            m_buttons |= b.bit;
        }
    }
    // A release outside counts only for a press that was seen.
    for (const Button& b : buttons) {
        if (b.release && (!outside || (m_buttons & b.bit))) {
            mask |= b.up;
            m_buttons &= ~b.bit;
        }
    }
    if (!outside) {
        if (pointer.leftDoublePress) mask |= KVINPUT_MOUSE_LDBLDOWN;
        if (pointer.rightDoublePress) mask |= KVINPUT_MOUSE_RDBLDOWN;
    }
    if (!mask) return;

    ServeTargets(mask, x, y, [&](const Target& t, uint32_t* shared) {
        KVPointerDispatch dispatch;
        dispatch.unit = t.unit;
        dispatch.target = t.target;
        dispatch.sharedMask = shared;
        dispatch.entryMask = t.entryMask;
        dispatch.x = x;
        dispatch.y = y;
        dispatch.wheel = pointer.wheel;
        dispatch.camera = camera.Get();
        m_scene->DispatchPointerToUnit(dispatch);
    });
}

void KVInput::UpdateTouches() {
    std::vector<KVTouchRecord> touches;
    if (!m_device->GetTouches(&touches)) return;
    if (m_previousTouches.size() < touches.size()) m_previousTouches.resize(touches.size());
    for (size_t k = 0; k < touches.size(); ++k) {
        KVTouchRecord record = touches[k];
        const HeldCamera pressCamera(m_scene, record.pressed, record.pressX, record.pressY);
        const HeldCamera releaseCamera(m_scene, record.released, record.releaseX, record.releaseY);
        uint32_t mask = 0;
        if (record.pressed) {
            m_scene->PointToGame(record.pressX, record.pressY, &record.pressX, &record.pressY);
            mask |= KVINPUT_TOUCH_DOWN;
        }
        if (record.moved) {
            m_scene->PointToGame(record.moveX, record.moveY, &record.moveX, &record.moveY);
            mask |= KVINPUT_TOUCH_MOVE;
        }
        if (record.released) {
            m_scene->PointToGame(record.releaseX, record.releaseY, &record.releaseX, &record.releaseY);
            mask |= KVINPUT_TOUCH_UP;
        }
        if (!mask) continue;

        // The previous position follows each press and each move, so a move
        // reports how far the finger went since it was last seen.
        TouchPoint& previous = m_previousTouches[k];
        if (record.pressed) previous = TouchPoint{record.pressX, record.pressY};
        int32_t deltaX = 0;
        int32_t deltaY = 0;
        if (record.moved) {
            deltaX = Difference(record.moveX, previous.x);
            deltaY = Difference(record.moveY, previous.y);
            previous = TouchPoint{record.moveX, record.moveY};
        }

        int32_t x = record.pressX;
        int32_t y = record.pressY;
        if (record.released) {
            x = record.releaseX;
            y = record.releaseY;
        } else if (record.moved) {
            x = record.moveX;
            y = record.moveY;
        }
        ServeTargets(mask, x, y, [&](const Target& t, uint32_t* shared) {
            KVTouchDispatch dispatch;
            dispatch.unit = t.unit;
            dispatch.target = t.target;
            dispatch.sharedMask = shared;
            dispatch.entryMask = t.entryMask;
            dispatch.record = &record;
            dispatch.touch = int32_t(k);
            dispatch.deltaX = deltaX;
            dispatch.deltaY = deltaY;
            dispatch.pressCamera = pressCamera.Get();
            dispatch.releaseCamera = releaseCamera.Get();
            m_scene->DispatchTouchToUnit(dispatch);
        });
    }
}

void KVInput::ServeTargets(uint32_t mask, int32_t x, int32_t y,
                           const std::function<void(const Target&, uint32_t*)>& walk) {
    std::vector<Target> targets = CollectTargets(mask, x, y);
    uint32_t shared = mask;
    for (const Target& t : targets) {
        // What a party consumed is withheld from every party after it: a
        // button's press does not reach a unit's handler as well.
        uint32_t e = shared & t.entryMask;
        if (!e) continue;
        if (t.listener) {
            const uint32_t offered = e;
            t.listener->OnInput(&e, x, y);
            shared &= ~(offered & ~e);
        } else {
            walk(t, &shared);
        }
    }
    ReleaseTargets(&targets);
}

std::vector<KVInput::Target> KVInput::CollectTargets(uint32_t mask, int32_t x, int32_t y) {
    std::vector<Target> targets;
    for (const EntryPtr& entry : Snapshot()) {
        if (entry->removed || !EntryAccepts(*entry) || !(entry->mask & mask)) continue;
        if (entry->listener && entry->listener->GetUnitIndex() == -1) {
            uint32_t e = mask & entry->mask;
            entry->listener->OnInput(&e, x, y);
            continue;
        }
        Target t;
        t.listener = entry->listener;
        t.unit = entry->unit;
        t.entryMask = entry->mask;
        if (!entry->listener) {
            IKVUnit* target = LiveTarget(*entry);
            if (!target) continue;
            if (target != entry->unit) t.target = target;
        }
        if (t.unit) t.unit->Retain();
        if (t.target) t.target->Retain();
        targets.push_back(t);
    }
    // Drawn last first: the first of the highest draw numbers moves forward.
    for (size_t i = 0; i < targets.size(); ++i) {
        size_t best = i;
        int32_t bestNumber = targets[i].unit ? m_scene->GetDrawNumber(targets[i].unit) : -1;
        for (size_t j = i + 1; j < targets.size(); ++j) {
            int32_t number = targets[j].unit ? m_scene->GetDrawNumber(targets[j].unit) : -1;
            if (number > bestNumber) {
                best = j;
                bestNumber = number;
            }
        }
        if (best != i) std::swap(targets[i], targets[best]);
    }
    return targets;
}

void KVInput::ReleaseTargets(std::vector<Target>* targets) {
    for (Target& t : *targets) {
        if (t.unit) t.unit->Release();
        if (t.target) t.target->Release();
    }
    targets->clear();
}

int32_t KVInput::SetMousePosition(double x, double y) {
    if (!m_device) return KV_FAILED;
    double width = 0.0;
    double height = 0.0;
    if (const KVDisplayMode* mode = m_graphic ? m_graphic->GetScreenSize() : nullptr) {
        width = double(mode->width);
        height = double(mode->height);
    }
    double scaleX = 1.0;
    double scaleY = 1.0;
    if (IKVGraphic* graphic = GetGraphicModule()) {
        scaleX = double(graphic->GetEffectiveScale()[0]);
        scaleY = double(graphic->GetEffectiveScale()[1]);
    }
    KVInputRect viewport = m_scene->GetDeviceViewport();
    // Without a screen size there is nothing to place the point against.
    if (width <= 0.0 || height <= 0.0) return KV_FAILED;
    double deviceX = double(viewport.left) +
                     double(NumberToInt32(x * double(viewport.right - int64_t(viewport.left)) * scaleX / width + 0.5));
    double deviceY = double(viewport.top) +
                     double(NumberToInt32(y * double(viewport.bottom - int64_t(viewport.top)) * scaleY / height + 0.5));
    return m_device->SetPointerPosition(NumberToInt32(deviceX), NumberToInt32(deviceY));
}

} // namespace kvl
