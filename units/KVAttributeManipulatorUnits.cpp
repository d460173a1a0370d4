#include "KVAttributeManipulatorUnits.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVFormat.h"
#include "KVAttributeLua.h"
#include "KVAttributeText.h"
#include "KVChunkReader.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"
#include "KVUnitRefArray.h"

namespace kvl {

namespace {

constexpr uint32_t kLastWideUidVersion = 0x20001;

uint32_t SceneUidSize() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory && factory->GetKvlVersion() <= kLastWideUidVersion ? 16u : 8u;
}

int32_t IndexOf(IKVUnitRef* ref) { return ref ? ref->GetIndex() : -1; }

// Optional '-' and decimal digits, in 32-bit arithmetic that wraps.
int32_t ParseUnitIndex(const std::string& text) {
    if (text.empty()) return -1;
    size_t i = text[0] == '-' ? 1 : 0;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + uint32_t(text[i] - '0');
    if (text[0] == '-') value = 0u - value;
    int32_t index;
    std::memcpy(&index, &value, 4);
    return index;
}

// The uid of the unit at that index, 0 when there is none.
uint64_t UidOfUnit(int32_t index) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory || !factory->IsValidUnit(index)) return 0;
    return factory->GetUnit(index)->GetUnit()->GetUid();
}

int32_t ReadOldUnitRef(KVChunkReader& reader, void* holder, int32_t) {
    uint64_t uid = 0;
    int32_t result = reader.ReadUnitRef(&uid);
    if (result != KV_OK) return result;
    IKVUnitRef* ref = *static_cast<IKVUnitRef**>(holder);
    if (uid != 0 && ref) ref->RegisterLink(&uid);
    return KV_OK;
}

int32_t ReadOldUnitRefArray(KVChunkReader& reader, void* holder, int32_t) {
    std::vector<uint64_t> uids;
    int32_t result = reader.ReadUnitRefArray(&uids);
    if (result != KV_OK) return result;
    auto& array = *static_cast<KVUnitRefArray*>(holder);
    array.ReleaseAll();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    for (uint64_t uid : uids) {
        IKVUnitRef* ref = factory ? factory->MakeUnitRef(array.GetOwner(), array.GetAttributeId()) : nullptr;
        if (!ref) break;
        ref->RegisterLink(&uid);
        array.Append(ref);
    }
    return KV_OK;
}

} // namespace

// ---- unit

void KVAttributeManipulator_unit::Init(KVAttributeDesc* desc) {
    desc->byteSize = desc->elementCount * int32_t(sizeof(IKVUnitRef*));
    desc->oldFormatReader = &ReadOldUnitRef;
    desc->elementCountCopy = desc->elementCount;
    Adopt(*desc);
}

void* KVAttributeManipulator_unit::GetElement(void* value, int32_t element) {
    if (element < 0 || size_t(element) >= Count()) return nullptr;
    return static_cast<IKVUnitRef**>(value) + element;
}

void KVAttributeManipulator_unit::FormatElement(std::string* out, const void* value, int32_t element) {
    if (auto* ref = static_cast<IKVUnitRef**>(GetElement(const_cast<void*>(value), element)))
        *out = Format("{0}", FormatValue(uint32_t(IndexOf(*ref))));
}

void KVAttributeManipulator_unit::ParseElement(void* value, const std::string& text, int32_t element) {
    auto* ref = static_cast<IKVUnitRef**>(GetElement(value, element));
    if (ref && *ref) (*ref)->SetIndex(ParseUnitIndex(text));
}

uint32_t KVAttributeManipulator_unit::GetSize(const void*) { return 4; }

uint32_t KVAttributeManipulator_unit::GetStoredSize(const KVReadCursor&) {
    return InSceneFile() ? SceneUidSize() : 4u;
}

void KVAttributeManipulator_unit::Write(const void* value, std::vector<uint8_t>* out) {
    AppendU32(out, uint32_t(IndexOf(*static_cast<IKVUnitRef* const*>(value))));
}

bool KVAttributeManipulator_unit::Read(void* value, KVReadCursor* cursor, bool compareOnly) {
    IKVUnitRef* ref = *static_cast<IKVUnitRef**>(value);
    if (InSceneFile()) {
        uint32_t size = SceneUidSize();
        if (!cursor->Need(size, m_desc.name)) return true;
        uint64_t uid = LoadAt<uint64_t>(cursor->pos);
        cursor->pos += size;
        if (!compareOnly && ref) ref->RegisterLink(&uid);
        return false;
    }
    int32_t index = 0;
    if (!Take(cursor, &index, 4)) return true;
    bool same = index == IndexOf(ref);
    if (!compareOnly && !same && ref) ref->SetIndex(index);
    return same;
}

void KVAttributeManipulator_unit::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushUnit(IndexOf(*static_cast<IKVUnitRef**>(value)));
}

void KVAttributeManipulator_unit::GetFromLua(void* value) {
    IKVLua* lua = Lua();
    IKVUnitRef* ref = *static_cast<IKVUnitRef**>(value);
    if (lua && ref) ref->SetIndex(lua->ToUnit(3));
}

IKVAttributeLua* KVAttributeManipulator_unit::NewBox() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return new KVAttributeLuaPtr<IKVUnitRef>(factory ? factory->MakeUnitRef(m_unit, &m_desc.id) : nullptr);
}

void* KVAttributeManipulator_unit::Clone(const void* value) {
    auto* copy = new IKVUnitRef*[Count() ? Count() : 1]();
    const auto* from = static_cast<IKVUnitRef* const*>(value);
    for (size_t k = 0; k < Count(); ++k) copy[k] = from[k] ? from[k]->Clone() : nullptr;
    return copy;
}

void KVAttributeManipulator_unit::Free(void* copy) {
    auto* refs = static_cast<IKVUnitRef**>(copy);
    for (size_t k = 0; k < Count(); ++k)
        if (refs[k]) refs[k]->Release();
    delete[] refs;
}

void KVAttributeManipulator_unit::CopyElement(void* value, int32_t element, const void* source) {
    auto* to = static_cast<IKVUnitRef**>(GetElement(value, element));
    if (!to) return;
    const auto* from = static_cast<IKVUnitRef* const*>(source);
    size_t count = element == 0 ? Count() : 1;
    for (size_t k = 0; k < count; ++k)
        if (to[k]) to[k]->SetIndex(IndexOf(from[k]));
}

void KVAttributeManipulator_unit::FormatStored(std::string* out, KVReadCursor* cursor) {
    int32_t index = 0;
    if (Take(cursor, &index, 4)) *out = Format("{0X}", FormatValue(UidOfUnit(index)));
}

void KVAttributeManipulator_unit::ParseStored(const std::string& text, void* value) {
    uint64_t uid = AccumulateHex(text);
    if (IKVUnitRef* ref = *static_cast<IKVUnitRef**>(value)) ref->RegisterLink(&uid);
}

// ---- array_unit

void KVAttributeManipulator_array_unit::Init(KVAttributeDesc* desc) {
    desc->byteSize = desc->elementCount;
    desc->oldFormatReader = &ReadOldUnitRefArray;
    desc->elementCountCopy = desc->elementCount;
    Adopt(*desc);
}

void* KVAttributeManipulator_array_unit::GetElement(void* value, int32_t element) {
    if (element < 0 || size_t(element) >= Count()) return nullptr;
    return static_cast<KVUnitRefArray*>(value) + element;
}

IKVUnitRef* KVAttributeManipulator_array_unit::AppendNew(KVUnitRefArray& array) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnitRef* ref = factory ? factory->MakeUnitRef(array.GetOwner(), array.GetAttributeId()) : nullptr;
    if (ref) array.Append(ref);
    return ref;
}

std::vector<int32_t> KVAttributeManipulator_array_unit::StoredIndexes(const KVUnitRefArray& array) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    std::vector<int32_t> indexes;
    for (size_t i = 0; i < array.Size(); ++i) {
        int32_t index = IndexOf(array.At(i));
        if (index != -1) {
            if (!factory || !factory->IsValidUnit(index)) continue;
            if (factory->GetUnit(index)->GetFlags() & KVUNIT_RUNTIME) continue;
        }
        indexes.push_back(index);
    }
    return indexes;
}

uint32_t KVAttributeManipulator_array_unit::EntrySize() const { return InSceneFile() ? SceneUidSize() : 4u; }

void KVAttributeManipulator_array_unit::FormatElement(std::string* out, const void* value, int32_t element) {
    auto* array = static_cast<KVUnitRefArray*>(GetElement(const_cast<void*>(value), element));
    if (!array) return;
    std::string text;
    for (size_t i = 0; i < array->Size(); ++i) {
        if (i) text += '|';
        text += Format("{0}", FormatValue(uint32_t(IndexOf(array->At(i)))));
    }
    *out = text;
}

void KVAttributeManipulator_array_unit::ParseElement(void* value, const std::string& text, int32_t element) {
    auto* array = static_cast<KVUnitRefArray*>(GetElement(value, element));
    if (!array) return;
    array->ReleaseAll();
    if (text.empty()) return;
    for (const std::string& piece : SplitText(text, '|')) {
        int32_t index = int32_t(uint32_t(ParseDecimalClamped(piece, INT32_MIN, UINT32_MAX)));
        IKVUnitRef* ref = AppendNew(*array);
        if (ref) ref->SetIndex(index);
    }
}

uint32_t KVAttributeManipulator_array_unit::GetSize(const void* value) {
    return uint32_t(4 + 4 * StoredIndexes(*static_cast<const KVUnitRefArray*>(value)).size());
}

uint32_t KVAttributeManipulator_array_unit::GetStoredSize(const KVReadCursor& cursor) {
    uint64_t size = 4 + uint64_t(cursor.PeekU32()) * EntrySize();
    return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

void KVAttributeManipulator_array_unit::Write(const void* value, std::vector<uint8_t>* out) {
    std::vector<int32_t> indexes = StoredIndexes(*static_cast<const KVUnitRefArray*>(value));
    AppendU32(out, uint32_t(indexes.size()));
    for (int32_t index : indexes) AppendU32(out, uint32_t(index));
}

bool KVAttributeManipulator_array_unit::Read(void* value, KVReadCursor* cursor, bool compareOnly) {
    if (!cursor->Need(4, m_desc.name)) return true;
    uint32_t count = cursor->PeekU32();
    uint32_t entry = EntrySize();
    if (!cursor->Need(4 + uint64_t(count) * entry, m_desc.name)) return true;
    const uint8_t* entries = cursor->pos + 4;
    cursor->pos += 4 + uint64_t(count) * entry;
    if (compareOnly) return false;
    auto& array = *static_cast<KVUnitRefArray*>(value);
    array.ReleaseAll();
    bool scene = InSceneFile();
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* at = entries + uint64_t(i) * entry;
        IKVUnitRef* ref = AppendNew(array);
        if (!ref) break;
        if (scene) {
            uint64_t uid = LoadAt<uint64_t>(at);
            ref->RegisterLink(&uid);
        } else {
            ref->SetIndex(LoadAt<int32_t>(at));
        }
    }
    return false;
}

void KVAttributeManipulator_array_unit::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushUnitArray(static_cast<KVUnitRefArray*>(value), m_unit, m_desc.id);
}

void KVAttributeManipulator_array_unit::GetFromLua(void*) {}

IKVAttributeLua* KVAttributeManipulator_array_unit::NewBox() {
    auto* box = new KVAttributeLua<KVUnitRefArray>;
    static_cast<KVUnitRefArray*>(box->GetValue())->SetOwner(m_unit, m_desc.id);
    return box;
}

void* KVAttributeManipulator_array_unit::Clone(const void* value) {
    auto* copy = new KVUnitRefArray[Count() ? Count() : 1];
    const auto* from = static_cast<const KVUnitRefArray*>(value);
    for (size_t k = 0; k < Count(); ++k) copy[k].CloneFrom(from[k]);
    return copy;
}

void KVAttributeManipulator_array_unit::Free(void* copy) { delete[] static_cast<KVUnitRefArray*>(copy); }

void KVAttributeManipulator_array_unit::CopyElement(void* value, int32_t element, const void* source) {
    auto* to = static_cast<KVUnitRefArray*>(GetElement(value, element));
    if (to) to->CloneFrom(*static_cast<const KVUnitRefArray*>(source));
}

void KVAttributeManipulator_array_unit::FormatStored(std::string* out, KVReadCursor* cursor) {
    if (!cursor->Need(4, m_desc.name)) return;
    uint32_t count = cursor->PeekU32();
    if (!cursor->Need(4 + uint64_t(count) * 4, m_desc.name)) return;
    std::string text;
    for (uint32_t i = 0; i < count; ++i) {
        if (i) text += ';';
        text += Format("{0X}", FormatValue(UidOfUnit(LoadAt<int32_t>(cursor->pos + 4 + uint64_t(i) * 4))));
    }
    cursor->pos += 4 + uint64_t(count) * 4;
    *out = text;
}

void KVAttributeManipulator_array_unit::ParseStored(const std::string& text, void* value) {
    auto& array = *static_cast<KVUnitRefArray*>(value);
    array.ReleaseAll();
    if (text.empty()) return;
    for (const std::string& piece : SplitText(text, ';')) {
        uint64_t uid = AccumulateHex(piece);
        if (IKVUnitRef* ref = AppendNew(array)) ref->RegisterLink(&uid);
    }
}

} // namespace kvl
