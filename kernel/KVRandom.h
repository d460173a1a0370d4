#pragma once
// Random numbers from the system generator, and a fixed table of 256 values
// in [0, 1) that effects walk through cheaply.
#include "IKVModule.h"
#include "IKVRandom.h"
#include "Singleton.h"

namespace kvl {

class KVRandom : public Singleton<KVRandom>, public IKVModule, public IKVRandom {
public:
    static constexpr int32_t kTableSize = 256;

    KVRandom() = default;
    ~KVRandom() override = default;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    uint32_t RandomInt(uint32_t n) override;
    uint32_t RandomByte() override;
    float RandomFloat() override;

    // Steps the cursor (wrapping from 255 to 0) and answers the entry there.
    float NextTableValue();
    static float TableValue(int32_t index);
    int32_t GetTableCursor() const { return m_cursor; }
    void SetTableCursor(int32_t cursor) { m_cursor = cursor & (kTableSize - 1); }

private:
    int32_t m_cursor = 0;
};

} // namespace kvl
