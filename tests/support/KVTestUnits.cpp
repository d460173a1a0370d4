#include "KVTestUnits.h"

namespace kvtest {

using namespace kvl;

KVTestUnits::KVTestUnits() : m_factory(new KVUnitFactory) {
    m_factory->Init(0);
    m_factory->Init(2);
}

KVTestUnits::~KVTestUnits() { m_factory->Release(4); }

KVUnit* KVTestUnits::Create(const char* className, int32_t options) {
    KVUnit* unit = nullptr;
    m_factory->CreateUnit(m_factory->FindClassByName(className), &unit, options, -1, 0);
    return unit;
}

int32_t KVTestUnits::RegisterClass(const char* name, uint64_t id, KVUnitCreateFunction create,
                                   KVUnitCreateExtraFunction extra) {
    KVUnitClassDesc desc;
    desc.name = name;
    desc.id = id;
    desc.create = create;
    desc.createExtra = extra;
    desc.baseClass = KVUnit::GetUnitClassIndex();
    int32_t index = -1;
    return m_factory->RegisterClass(desc, &index) == KV_OK ? index : -1;
}

KVAttributeDesc KVTestUnits::Attribute(int32_t classIndex, int32_t type, const std::string& name, uint64_t id,
                                       int32_t count) {
    KVAttributeDesc desc;
    desc.classIndex = classIndex;
    desc.typeCode = type;
    desc.name = name;
    desc.id = id;
    desc.elementCount = count;
    return desc;
}

KVAttributeDesc KVTestUnits::Describe(int32_t type, const std::string& name, int32_t count, int32_t bit) {
    KVAttributeDesc desc = Attribute(-1, type, name, 0, count);
    desc.bitNumber = bit;
    desc.byteSize = count;
    KVUnitFactory::CreateManipulator(&desc);
    return desc;
}

std::shared_ptr<KVAttributeManipulator> KVTestUnits::Manipulator(int32_t type, const std::string& name, int32_t count,
                                                                 int32_t bit) {
    return Describe(type, name, count, bit).manipulator;
}

} // namespace kvtest
