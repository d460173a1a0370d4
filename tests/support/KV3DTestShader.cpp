#include "KV3DTestShader.h"

#include "units/KVUnitFactory.h"

namespace kvtest {

using namespace kvl;

int32_t KVTestShaderUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitShader) return AnswerInterface(static_cast<IKVUnitShader*>(this), out);
    return KVUnit::QueryInterface(id, out);
}

int32_t RegisterTestShaderClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return -1;
    KVUnitClassDesc desc;
    desc.name = "TestShader";
    desc.id = 0x7E573D02ull;
    desc.create = &KVTestShaderUnit::Create;
    desc.baseClass = KVUnit::GetUnitClassIndex();
    int32_t index = -1;
    factory->RegisterClass(desc, &index);
    return index;
}

} // namespace kvtest
