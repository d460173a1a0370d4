#include "KV3DTestShader.h"

#include "units/KVAttributeRows.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

using namespace kvl;

int32_t KVTestShaderUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitShader) return AnswerInterface(static_cast<IKVUnitShader*>(this), out);
    return KVUnit::QueryInterface(id, out);
}

int32_t RegisterTestShaderClass() {
    return RegisterClassOn(KVUnitFactory::Instance(), "TestShader", &KVTestShaderUnit::Create, "Unit", 0x7E573D02ull,
                           "");
}

} // namespace kvtest
