#pragma once
// A shader unit for 3D unit tests: class "TestShader" whose
// units answer IKVUnitShader with a material record that the test sets
// (based on "Unit": the engine's "Shader" units are of another kind).
#include "units/KVUnit.h"
#include "units3d/IKVUnitShader.h"

namespace kvtest {

class KVTestShaderUnit : public kvl::KVUnit, public kvl::IKVUnitShader {
public:
    static kvl::KVUnit* Create() { return new KVTestShaderUnit; }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    const kvl::KV3DMaterial* GetMaterial() override { return &material; }

    kvl::KV3DMaterial material;
};

// Registers "TestShader"; its class index.
int32_t RegisterTestShaderClass();

} // namespace kvtest
