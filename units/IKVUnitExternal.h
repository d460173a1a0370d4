#pragma once
// The implementation that a unit of a plug-in type attaches to its unit
// (video sprites, movies): the unit forwards its life-cycle operations and
// hooks to it. Every operation of this default does nothing and answers 0.
#include "../kernel/IKVUnknown.h"
#include "KV2DTempl.h"

namespace kvl {

class IKVUnit;
class IKVUnitRef;

constexpr KVInterfaceId IID_IKVUnitExternal = MakeId(0x0062457A, 0xC65DC250);

class IKVUnitExternal {
public:
    virtual int32_t Play() { return KV_OK; }
    virtual int32_t Pause() { return KV_OK; }
    virtual int32_t Stop() { return KV_OK; }
    virtual int32_t Update(float dt) {
        (void)dt;
        return KV_OK;
    }
    virtual int32_t Draw() { return KV_OK; }
    // After the scene manager drew the unit.
    virtual int32_t AfterDraw(int32_t value) {
        (void)value;
        return KV_OK;
    }
    // True when it draws the unit itself, so the unit is not queued.
    virtual bool TakesOverDrawing() { return false; }
    virtual int32_t SetEnabledState(bool enabled) {
        (void)enabled;
        return KV_OK;
    }
    virtual int32_t PreUpdate() { return KV_OK; }
    virtual int32_t OnAttributesRead() { return KV_OK; }
    virtual int32_t OnReferenceDropped(IKVUnitRef* ref) {
        (void)ref;
        return KV_OK;
    }
    virtual int32_t OnReferenceChanged(IKVUnitRef* ref) {
        (void)ref;
        return KV_OK;
    }

    // The unit's point test: true when the point lies on it.
    virtual bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
        (void)point;
        (void)depth;
        (void)camera;
        return false;
    }
    virtual int32_t Signal(int32_t first, int32_t second) {
        (void)first;
        (void)second;
        return KV_OK;
    }

protected:
    virtual ~IKVUnitExternal() = default;
};

} // namespace kvl
