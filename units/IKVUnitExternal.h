#pragma once
// The run-time operations that a unit forwards to the external object of
// its plug-in type (video sprites, movies). Every operation of this default
// does nothing and answers 0; an external type overrides what it needs.
// The order of the eighteen operations is fixed; the hooks keep their
// places whether or not a host operation reaches them.
#include "../kernel/IKVUnknown.h"
#include "KV2DTempl.h"

namespace kvl {

class IKVUnit;
class IKVUnitRef;

constexpr KVInterfaceId IID_IKVUnitExternal = MakeId(0x0062457A, 0xC65DC250);

class IKVUnitExternal : public virtual IKVUnknownRef {
public:
    // 1-3: from the unit's Play, Pause and ResetState (after the unit
    // reset its own run-time state): start or resume, pause, stop and
    // rewind.
    virtual int32_t Play() { return KV_OK; }
    virtual int32_t Pause() { return KV_OK; }
    virtual int32_t Stop() { return KV_OK; }
    // 4: the unit factory's pre-update sweep.
    virtual int32_t PreUpdate() { return KV_OK; }
    // 5: from the unit's UpdateExternal, with the frame time in seconds.
    virtual int32_t Update(float dt) {
        (void)dt;
        return KV_OK;
    }
    // 6, 7: the unit was drawn; the scene manager's call after drawing it.
    virtual int32_t Draw() { return KV_OK; }
    virtual int32_t AfterDraw(int32_t value) {
        (void)value;
        return KV_OK;
    }
    // 8: from the unit's QueryVisible: writing non-zero keeps the visible
    // unit out of the drawing queue.
    virtual int32_t SuppressDraw(uint8_t* out) {
        (void)out;
        return KV_OK;
    }
    // 9: stop when the flag is set. The base unit does not call it.
    virtual int32_t StopIfSet(int32_t flag) {
        (void)flag;
        return KV_OK;
    }
    // 10: the unit's attribute values were read from a scene record.
    virtual int32_t OnAttributesRead() { return KV_OK; }
    // 11: the unit's effective enabled state after each change.
    virtual int32_t SetEnabledState(bool enabled) {
        (void)enabled;
        return KV_OK;
    }
    // 12, 13: a reference of the unit lost its target, or its target changed.
    virtual int32_t OnReferenceDropped(IKVUnitRef* ref) {
        (void)ref;
        return KV_OK;
    }
    virtual int32_t OnReferenceChanged(IKVUnitRef* ref) {
        (void)ref;
        return KV_OK;
    }
    // 14-16: hooks that no operation of the unit reaches yet.
    virtual int32_t Reserved14(int32_t first, int32_t second) {
        (void)first;
        (void)second;
        return KV_OK;
    }
    virtual int32_t Reserved15(int32_t first, int32_t second) {
        (void)first;
        (void)second;
        return KV_OK;
    }
    virtual int32_t Reserved16(int32_t first, int32_t second) {
        (void)first;
        (void)second;
        return KV_OK;
    }
    // 17: the unit's point test: true when the point lies on it.
    virtual bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
        (void)point;
        (void)depth;
        (void)camera;
        return false;
    }
    // 18: the unit's signal.
    virtual int32_t Signal(int32_t first, int32_t second) {
        (void)first;
        (void)second;
        return KV_OK;
    }

protected:
    ~IKVUnitExternal() override = default;
};

} // namespace kvl
