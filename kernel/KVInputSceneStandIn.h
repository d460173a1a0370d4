#pragma once
// What the input module uses of the scene until the scene side answers
// IID_IKVInputScene: the graphic module turns device points into game
// coordinates and gives the game area (without a graphic module that drives
// a device, device pixels are game coordinates and the area is the screen),
// the viewport is the device's screen, units tell their own visibility, no
// unit has a draw number, and the walk through units does nothing. The
// scene side keeps the coordinates part.
#include "../kernel/IKVInputScene.h"

namespace kvl {

class IKVGraphicDevice;

class KVInputSceneStandIn : public IKVInputScene {
public:
    void SetGraphicDevice(IKVGraphicDevice* device) { m_device = device; }

    bool IsVisible(IKVUnit* unit) override;
    int32_t GetDrawNumber(IKVUnit* unit) override;
    void PointToGame(int32_t x, int32_t y, int32_t* gameX, int32_t* gameY) override;
    IKVUnit* CameraAt(int32_t, int32_t) override { return nullptr; }
    KVInputRect GetGameArea() override;
    KVInputRect GetDeviceViewport() override;
    void DispatchPointerToUnit(const KVPointerDispatch& dispatch) override;
    void DispatchTouchToUnit(const KVTouchDispatch& dispatch) override;

protected:
    // The device's screen in device pixels, empty without a device.
    KVInputRect GetScreen();

private:
    IKVGraphicDevice* m_device = nullptr;
};

} // namespace kvl
