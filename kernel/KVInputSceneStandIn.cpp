#include "KVInputSceneStandIn.h"

#include "../graphics/IKVGraphicDevice.h"
#include "../graphics/IKVGraphic.h"
#include "../units/IKVUnit.h"
#include "KVCore.h"

namespace kvl {
namespace {

// The graphic module once it drives a device; before that device pixels
// are game coordinates.
IKVGraphic* GraphicWithDevice() {
    IKVGraphic* graphic = GetGraphicModule();
    return graphic && graphic->GetDevice2D() ? graphic : nullptr;
}

} // namespace

bool KVInputSceneStandIn::IsVisible(IKVUnit* unit) { return unit && unit->IsVisible(); }

int32_t KVInputSceneStandIn::GetDrawNumber(IKVUnit*) { return -1; }

void KVInputSceneStandIn::PointToGame(int32_t x, int32_t y, int32_t* gameX, int32_t* gameY) {
    KVIntPoint point = {x, y};
    if (IKVGraphic* graphic = GraphicWithDevice()) graphic->PointToGame(&point, x, y);
    if (gameX) *gameX = point.x;
    if (gameY) *gameY = point.y;
}

KVInputRect KVInputSceneStandIn::GetGameArea() {
    IKVGraphic* graphic = GraphicWithDevice();
    if (!graphic) return GetScreen();
    const KVDeviceRect* rect = graphic->GetGameRect();
    KVInputRect area;
    area.left = rect->left;
    area.top = rect->top;
    area.right = rect->right;
    area.bottom = rect->bottom;
    return area;
}

KVInputRect KVInputSceneStandIn::GetDeviceViewport() { return GetScreen(); }

KVInputRect KVInputSceneStandIn::GetScreen() {
    KVInputRect rect;
    // A device that came after the scene was set up is found when asked.
    if (!m_device) m_device = QueryCoreInterface<IKVGraphicDevice>(IID_IKVGraphicDevice);
    const KVDisplayMode* mode = m_device ? m_device->GetScreenSize() : nullptr;
    if (mode) {
        rect.right = mode->width;
        rect.bottom = mode->height;
    }
    return rect;
}

void KVInputSceneStandIn::DispatchPointerToUnit(const KVPointerDispatch&) {}

void KVInputSceneStandIn::DispatchTouchToUnit(const KVTouchDispatch&) {}

} // namespace kvl
