#pragma once
// A counted reference to a unit by index. While it points at a live unit it
// sits in that unit's listener list, so that it drops to "no unit" by itself
// when the unit goes away; inside an array it then leaves the array.
#include "IKVLinker.h"
#include "IKVUnitRef.h"

namespace kvl {

class KVUnit;

class KVUnitRef : public IKVUnitRef, public IKVLinker {
public:
    KVUnitRef(IKVUnit* owner, uint64_t attributeId);

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Retain() override { return ++m_refCount; }
    int32_t Release() override;

    // IKVUnitRef
    int32_t GetIndex() override { return m_index; }
    int32_t SetIndex(int32_t index) override {
        Repoint(index, false);
        return KV_OK;
    }
    const uint64_t* GetUnitUid() override { return &m_uid; }
    IKVUnitRef* Clone() override;
    void SetArraySlot(KVUnitRefArray* array, int32_t position) override {
        m_array = array;
        m_position = position;
    }
    void Init(IKVUnit* owner, const uint64_t* attributeId) override;
    IKVUnit* GetOwner() override { return m_owner; }
    const uint64_t* GetAttributeId() override { return &m_attributeId; }
    int32_t RegisterLink(const uint64_t* uid) override;

    // Registers a reference whose index was set without registration.
    void Rebind() {
        if (!m_registered) Repoint(m_index, true);
    }
    // Points the reference at its unit again, taking the unit's uid now.
    void RefreshUid() { Repoint(m_index, true); }
    KVUnitRefArray* GetArray() const { return m_array; }
    int32_t GetArrayPosition() const { return m_position; }
    bool IsRegistered() const { return m_registered; }
    // The owner while it is still the unit at its index, or null.
    KVUnit* GetLiveOwner() { return LiveOwner(); }

    // IKVLinker
    int32_t UnlinkUnit(IKVUnit* unit, int32_t code) override;
    int32_t OnUnitChanged(IKVUnit* unit, int32_t code) override;

private:
    ~KVUnitRef() override;
    void Repoint(int32_t index, bool force);
    void Unregister();
    // The owner while it is still the unit at its index: the owner is not
    // counted, so a reference that outlives it must not reach it.
    KVUnit* LiveOwner();

    int32_t m_refCount = 1;
    IKVUnit* m_owner = nullptr;
    int32_t m_ownerIndex = -1;
    KVUnitRefArray* m_array = nullptr;
    int32_t m_position = -1;
    uint64_t m_attributeId = 0;
    uint64_t m_uid = 0;
    int32_t m_index = -1;
    bool m_registered = false;
};

} // namespace kvl
