#pragma once
// What other units and modules ask of a 2D unit: its placement. Every unit
// of class "Unit2D" or a derived class answers this id from its
// QueryInterface. Each setter stores the value and brings the unit's caches
// up to date: Position, Rotation and NoOffset its transforms (and those of
// its 2D children), Dimension its bounds, Window its clip window (and its
// 2D children's).
#include <cstdint>

#include "../graphics/IKVGraphicDevice.h"
#include "IKVUnit.h"
#include "KV2DTempl.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnit2D = MakeId(0x0041BA24, 0x1814D83C);

class IKVUnit2D : public virtual IKVUnit {
public:
    virtual KV2DTempl<float>* GetPosition() = 0;
    virtual void SetPosition(float x, float y) = 0;
    virtual KV2DTempl<int32_t>* GetDimension() = 0;
    virtual void SetDimension(int32_t width, int32_t height) = 0;
    // Radians.
    virtual float GetRotation() = 0;
    virtual void SetRotation(float radians) = 0;
    virtual bool GetNoOffset() = 0;
    virtual void SetNoOffset(bool noOffset) = 0;
    // The "Window" attribute {left, top, right, bottom}; an empty rectangle
    // (left >= right or top >= bottom) adds no clipping of its own.
    virtual KVDeviceRect* GetWindow() = 0;
    virtual void SetWindow(const KVDeviceRect& window) = 0;

protected:
    ~IKVUnit2D() override = default;
};

} // namespace kvl
