// Registration of class "Unit": the attributes every unit of every class
// has, with the ids under which scene files store them.
#include "../kernel/KVFormat.h"
#include "IKVUnitRef.h"
#include "KVAttributeRows.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

int32_t SetNameFrom(KVUnit* unit, void* holder, int32_t) {
    unit->SetName(*static_cast<std::string*>(holder));
    return KV_OK;
}

int32_t SetChildrenFrom(KVUnit* unit, void* holder, int32_t reason) {
    unit->SetChildren(static_cast<KVUnitRefArray*>(holder), reason);
    return KV_OK;
}

int32_t SetParentFrom(KVUnit* unit, void* holder, int32_t) {
    // Detaching in a close and the Children setter re-parent quietly.
    if (KVUnit::IsQuietReparent()) return KV_OK;
    IKVUnitRef* ref = *static_cast<IKVUnitRef**>(holder);
    unit->SetParent(ref ? ref->GetIndex() : -1);
    return KV_OK;
}

int32_t SetOwnerFrom(KVUnit* unit, void* holder, int32_t) {
    unit->SetOwner(*static_cast<IKVUnitRef**>(holder));
    return KV_OK;
}

template <class... F>
constexpr uint16_t Set(F... flags) {
    return AttributeFlags(flags...);
}

void EnabledChanged(void* unit) { static_cast<KVUnit*>(unit)->ApplyEnabledState(); }
void EditorFolderChanged(void* unit) { static_cast<KVUnit*>(unit)->FixPathSeparators(); }
void AliasNameChanged(void* unit) { static_cast<KVUnit*>(unit)->UpdateScriptFlag(); }
void VisibleChanged(void* unit) { static_cast<KVUnit*>(unit)->UpdateVisibility(); }

// "Dynamic" for a unit made at run time, else the title of its scene file.
void KvlText(KVUnit* unit, KVAttributeComputed* out) {
    out->text.clear();
    if (unit->GetFlags() & KVUNIT_RUNTIME) {
        out->text = "Dynamic";
        return;
    }
    KVSerialize* serializer = KVSerialize::Instance();
    const KVKvlRecord* kvl = serializer ? serializer->GetKvl(unit->GetKvlIndex()) : nullptr;
    if (!kvl) return;
    const std::string& path = kvl->path;
    size_t slash = path.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    size_t end = dot == std::string::npos || dot < start ? path.size() : dot;
    out->text = path.substr(start, end - start);
}

} // namespace

int32_t KVUnit::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return -1;
    KVUnitClassDesc desc;
    desc.name = "Unit";
    desc.create = &KVUnit::Create;
    desc.baseClass = -1;
    desc.id = kClassId;
    desc.description = "Base unit class";
    int32_t index = -1;
    if (factory->RegisterClass(desc, &index) != KV_OK) return -1;
    s_classIndex = index;
    RegisterAttributes(index);
    RegisterScriptMembers(index);
    return index;
}

void KVUnit::RegisterAttributes(int32_t classIndex) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    // Offsets are measured on a unit that never enters the factory.
    KVUnit probe;
    const KVAttributeRow rows[] = {
        {"Name", KVATTR_STRING, &probe.m_name, 1, kNameId, Set(0, 1, 2, 8), 0, SetNameFrom, nullptr, nullptr, "", 0},
        {"Flags~CloseOnDisable~Visible~InvisibleWhenStopped~AcceptAllInput~Update", KVATTR_FLAGS, &probe.m_flags, 5,
         kFlagsId, Set(0, 1, 2), 1, nullptr, nullptr, nullptr, "", 0},
        {"Enabled", KVATTR_BOOLEAN, &probe.m_wantedEnabled, 1, kEnabledId, Set(0, 1, 2, 5), 3, nullptr, EnabledChanged,
         nullptr, "", 0},
        {"Children", KVATTR_ARRAY_UNIT, &probe.m_children, 1, kChildrenId, Set(0, 1, 2, 5, 8), 0, SetChildrenFrom,
         nullptr, nullptr, "", 0},
        {"Uid", KVATTR_UID, &probe.m_uid, 1, kUidId, Set(1, 2, 6, 7, 8), 0, nullptr, nullptr, nullptr, "", 0},
        {"Index", KVATTR_U32, &probe.m_index, 1, kIndexId, Set(0, 1, 6, 7, 8), 0, nullptr, nullptr, nullptr, "", 0},
        {"Class", KVATTR_STRING, &probe.m_className, 1, kClassNameId, Set(0, 1, 6, 7, 8), 0, nullptr, nullptr, nullptr,
         "", 0},
        {"Parent", KVATTR_UNIT, &probe.m_parent, 1, kParentId, Set(0, 1, 5, 6, 8), 0, SetParentFrom, nullptr, nullptr,
         "", 0},
        {"Kvl", KVATTR_STRING, nullptr, 1, kKvlId, Set(0, 1, 6, 7), 0, nullptr, nullptr, KvlText, "", 0},
        {"Layer", KVATTR_UNIT, &probe.m_layer, 1, kLayerId, Set(0, 1, 2), 0, nullptr, nullptr, nullptr, "Layer", 0},
        {"ParentEnabled", KVATTR_BOOLEAN, &probe.m_enabled, 1, kParentEnabledId, Set(1, 6, 7, 8), 0, nullptr, nullptr,
         nullptr, "", 0},
        {"Cameras", KVATTR_ARRAY_UNIT, &probe.m_cameras, 1, kCamerasId, Set(0, 1, 2), 0, nullptr, nullptr, nullptr,
         "Camera", 0},
        {"EditorFolder", KVATTR_STRING, &probe.m_editorFolder, 1, kEditorFolderId, Set(1, 2, 5), 0, nullptr,
         EditorFolderChanged, nullptr, "", 0},
        {"AliasName", KVATTR_STRING, &probe.m_aliasNames, 1, kAliasNameId, Set(0, 1, 2, 5), 0, nullptr,
         AliasNameChanged, nullptr, "", 0},
        {"Owner", KVATTR_UNIT, &probe.m_owner, 1, kOwnerId, Set(0, 1, 2), 0, SetOwnerFrom, nullptr, nullptr, "", 0},
        {"Visible", KVATTR_BOOLEAN_COMPACT, &probe.m_flags, 1, kVisibleId, Set(0, 1, 5, 11), 0, nullptr, VisibleChanged,
         nullptr, "", 1},
        {"CloseOnDisable", KVATTR_BOOLEAN_COMPACT, &probe.m_flags, 1, kCloseOnDisableId, Set(0, 1, 11), 0, nullptr,
         nullptr, nullptr, "", 0},
        {"AcceptAllInput", KVATTR_BOOLEAN_COMPACT, &probe.m_flags, 1, kAcceptAllInputId, Set(0, 1, 11), 0, nullptr,
         nullptr, nullptr, "", 3},
        {"Update", KVATTR_BOOLEAN_COMPACT, &probe.m_flags, 1, kUpdateId, Set(0, 1, 11), 0, nullptr, nullptr, nullptr, "",
         4},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
}

} // namespace kvl
