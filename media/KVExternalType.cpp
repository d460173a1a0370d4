#include "KVExternalType.h"

#include "../units/IKVUnitFactory.h"

namespace kvl {

int32_t RegisterExternalType(IKVUnknown* core, const KVExternalType& type) {
    IKVUnitFactory* factory = QueryInterfaceOf<IKVUnitFactory>(core, IID_IKVUnitFactory);
    if (!factory || !type.className) return -1;
    IKVLua* lua = QueryInterfaceOf<IKVLua>(core, IID_IKVLua);

    KVUnitClassDesc desc;
    desc.name = type.className;
    desc.createExtra = type.factory;
    desc.baseClass = factory->FindClassByName("Embeddable");
    desc.id = type.classId;
    desc.description = type.description ? type.description : "";
    int32_t classIndex = -1;
    if (factory->RegisterClass(desc, &classIndex) != KV_OK) return -1;

    for (int32_t i = 0; type.attributes && i < type.attributeCount; ++i) {
        const KVExternalAttribute& row = type.attributes[i];
        KVAttributeDesc attribute;
        attribute.classIndex = classIndex;
        attribute.typeCode = row.typeCode;
        attribute.name = row.name ? row.name : "";
        attribute.offset = row.offset;
        attribute.changedHook = row.changed;
        attribute.elementCount = row.count;
        attribute.storageKind = KVSTORE_EXTRA;
        attribute.id = row.id;
        // An attribute of the base with the same id and type (a sprite's
        // "Frame") is replaced in this class: appended, it would never be
        // found, since lookups by id and by name find the base's first.
        const KVAttributeDesc* inherited = factory->FindAttributeById(classIndex, row.id);
        if (inherited && inherited->typeCode == row.typeCode && inherited->elementCount == row.count) {
            attribute.position = inherited->position;
            factory->UpdateAttribute(attribute, nullptr);
        } else {
            factory->AddAttribute(attribute);
        }
    }
    for (int32_t i = 0; lua && type.methods && i < type.methodCount; ++i)
        lua->AddClassValue(classIndex, type.methods[i].name, type.methods[i].function);
    return classIndex;
}

} // namespace kvl
