#include "KVAttributeRows.h"

#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

int32_t RegisterClassOn(KVUnitFactory* factory, const char* name, KVUnitCreateFunction create, const char* base,
                        uint64_t id, const char* description) {
    if (!factory) return -1;
    KVUnitClassDesc desc;
    desc.name = name;
    desc.create = create;
    desc.baseClass = factory->FindClassByName(base);
    desc.id = id;
    desc.description = description;
    int32_t classIndex = -1;
    return factory->RegisterClass(desc, &classIndex) == KV_OK ? classIndex : -1;
}

void AddAttributeRows(KVUnitFactory* factory, int32_t classIndex, const KVUnit* probe, const KVAttributeRow* rows,
                      size_t count) {
    if (!factory || !rows) return;
    for (size_t i = 0; i < count; ++i) {
        const KVAttributeRow& row = rows[i];
        KVAttributeDesc desc;
        desc.classIndex = classIndex;
        desc.typeCode = row.type;
        desc.name = row.name;
        desc.offset = row.field ? KVUnit::OffsetInUnit(probe, row.field) : 0;
        desc.setter = row.setter;
        desc.changedHook = row.changed;
        desc.elementCount = row.count;
        for (int32_t f = 0; f < KVAF_COUNT; ++f) desc.flags[f] = uint8_t((row.flags >> f) & 1u);
        desc.flags[KVAF_PHASE] = uint8_t(row.phase);
        desc.id = row.id;
        desc.referencedClass = row.filter ? row.filter : "";
        desc.bitNumber = row.bit;
        desc.getter = row.getter;
        factory->AddAttribute(desc);
    }
}

} // namespace kvl
