#include "KVInputSceneStandIn.h"

#include "../KVLua/KVLua.h"
#include "../graphics/IKVGraphicDevice.h"
#include "../graphics/KVGraphic.h"
#include "../units/IKVUnit.h"
#include "KVCore.h"

namespace kvl {

bool KVInputSceneStandIn::IsVisible(IKVUnit* unit) { return unit && unit->IsVisible(); }

int32_t KVInputSceneStandIn::GetDrawNumber(IKVUnit*) { return -1; }

void KVInputSceneStandIn::PointToGame(int32_t x, int32_t y, int32_t* gameX, int32_t* gameY) {
    if (gameX) *gameX = x;
    if (gameY) *gameY = y;
}

KVInputRect KVInputSceneStandIn::GetGameArea() {
    KVInputRect area = GetScreen();
    const float* scale = KVGraphic::Instance() ? KVGraphic::Instance()->Get2DScale() : nullptr;
    if (scale && scale[0] != 0.0f && scale[1] != 0.0f) {
        area.right = NumberToInt32(double(area.right) / double(scale[0]) + 0.5);
        area.bottom = NumberToInt32(double(area.bottom) / double(scale[1]) + 0.5);
    }
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
