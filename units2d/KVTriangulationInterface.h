#pragma once
// The extension module that offers the triangulator. Start-up does not
// register its creator, so nothing makes it unless a caller does.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
#include "IKVTriangulation.h"

namespace kvl {

class KVTriangulationInterface : public Singleton<KVTriangulationInterface>,
                                 public IKVModuleExt,
                                 public IKVTriangulation {
public:
    static constexpr uint64_t kModuleId = 0x004245b444b7760cull;

    KVTriangulationInterface();
    ~KVTriangulationInterface() override = default;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float dt) override;
    uint64_t GetId() override { return kModuleId; }
    int32_t GetPriority() override { return 0; }

    int32_t Triangulate(const std::vector<KV2DTempl<int32_t>>& polygon,
                        std::vector<KV2DTempl<int32_t>>& triangles) override;

    IKVUnknown* GetHost() const { return m_host; }
    void SetHost(IKVUnknown* host) { m_host = host; }

private:
    IKVUnknown* m_host = nullptr;
    // Seeds of the insertion orders: a sequence of its own, started from
    // the processor clock, so the shared random numbers are never reseeded.
    uint32_t m_orderSeed = 0;
};

// Makes the module on the first call and answers the same one afterwards.
IKVModuleExt* CreateTriangulationInterface(const KVModuleCreateInfo* info);
// Deletes the module if there is one.
void DestroyTriangulationInterface();

} // namespace kvl
