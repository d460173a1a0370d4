#include "KVAttributeManipulatorPositions.h"

#include <algorithm>

#include "../KVLua/IKVLua.h"
#include "../kernel/KVFormat.h"
#include "KVAttributeLua.h"
#include "KVChunkReader.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// What one pushed pair proxy stands for.
struct PairBinding {
    int32_t unit;
    int32_t position;
    int32_t element;
};

int32_t ReadOldPositions(KVChunkReader& reader, void* holder, int32_t) {
    std::vector<KVPoint32> points;
    int32_t result = reader.ReadPointArray(&points);
    if (result != KV_OK) return result;
    auto& list = *static_cast<KVPositionList*>(holder);
    list.resize(points.size());
    for (size_t i = 0; i < points.size(); ++i) list[i] = KV2DTempl<int32_t>{points[i].x, points[i].y};
    return KV_OK;
}

// The pair a proxy stands for, or null when the unit, the attribute or the
// pair is gone.
KV2DTempl<int32_t>* BoundPair(const PairBinding& binding) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    auto* list = factory ? static_cast<KVPositionList*>(factory->GetHolderAt(binding.unit, binding.position, KVATTR_ARRAY_KVPOS2D)) : nullptr;
    if (!list) return nullptr;
    if (binding.element < 0 || size_t(binding.element) >= list->size()) return nullptr;
    return &(*list)[size_t(binding.element)];
}

// The coordinate a field name selects by its first character.
int32_t* Coordinate(KV2DTempl<int32_t>* pair, const char* name) {
    if (!pair || !name) return nullptr;
    if (name[0] == 'x') return &pair->x;
    if (name[0] == 'y') return &pair->y;
    return nullptr;
}

int PairGet() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    auto* binding = static_cast<PairBinding*>(lua->GetUpvalueObject2());
    const char* name = lua->ToString(2);
    int32_t* coordinate = binding ? Coordinate(BoundPair(*binding), name) : nullptr;
    if (coordinate)
        lua->PushInteger(*coordinate);
    else
        lua->PushNil();
    return 1;
}

int PairSet() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    auto* binding = static_cast<PairBinding*>(lua->GetUpvalueObject2());
    const char* name = lua->ToString(2);
    if (!name || (name[0] != 'x' && name[0] != 'y')) {
        lua->ReportError(Format("{0}: invalid name", "").c_str());
        return 0;
    }
    if (int32_t* coordinate = binding ? Coordinate(BoundPair(*binding), name) : nullptr)
        *coordinate = lua->ToInteger(3);
    return 0;
}

// Optional '-' and decimal digits, wrapping in 32 bits.
int32_t ParseCoordinate(const std::string& text, size_t begin, size_t end) {
    bool negative = begin < end && text[begin] == '-';
    uint32_t value = 0;
    for (size_t i = negative ? begin + 1 : begin; i < end && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + uint32_t(text[i] - '0');
    if (negative) value = 0u - value;
    int32_t result;
    std::memcpy(&result, &value, 4);
    return result;
}

} // namespace

void KVAttributeManipulator_array_kvpos2d::Init(KVAttributeDesc* desc) {
    desc->byteSize = desc->elementCount;
    desc->oldFormatReader = &ReadOldPositions;
    desc->elementCountCopy = desc->elementCount;
    Adopt(*desc);
}

// No text form: the text stays as it was and texts are ignored.
void KVAttributeManipulator_array_kvpos2d::FormatElement(std::string*, const void*, int32_t) {}

void KVAttributeManipulator_array_kvpos2d::ParseElement(void*, const std::string&, int32_t) {}

uint32_t KVAttributeManipulator_array_kvpos2d::GetSize(const void* value) {
    return uint32_t(4 + 8 * static_cast<const KVPositionList*>(value)->size());
}

uint32_t KVAttributeManipulator_array_kvpos2d::GetStoredSize(const KVReadCursor& cursor) {
    uint64_t size = 4 + uint64_t(cursor.PeekU32()) * 8;
    return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

void KVAttributeManipulator_array_kvpos2d::Write(const void* value, std::vector<uint8_t>* out) {
    const auto& list = *static_cast<const KVPositionList*>(value);
    AppendU32(out, uint32_t(list.size()));
    for (const auto& pair : list) {
        AppendU32(out, uint32_t(pair.x));
        AppendU32(out, uint32_t(pair.y));
    }
}

bool KVAttributeManipulator_array_kvpos2d::Read(void* value, KVReadCursor* cursor, bool compareOnly) {
    if (!cursor->Need(4, m_desc.name)) return true;
    uint32_t count = cursor->PeekU32();
    if (!cursor->Need(4 + uint64_t(count) * 8, m_desc.name)) return true;
    const uint8_t* pairs = cursor->pos + 4;
    cursor->pos += 4 + uint64_t(count) * 8;
    auto& list = *static_cast<KVPositionList*>(value);
    bool same = list.size() == count;
    for (uint32_t i = 0; same && i < count; ++i)
        same = list[i].x == LoadAt<int32_t>(pairs + 8 * uint64_t(i)) && list[i].y == LoadAt<int32_t>(pairs + 8 * uint64_t(i) + 4);
    if (!compareOnly && !same) {
        list.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            list[i] = KV2DTempl<int32_t>{LoadAt<int32_t>(pairs + 8 * uint64_t(i)), LoadAt<int32_t>(pairs + 8 * uint64_t(i) + 4)};
    }
    return same;
}

void KVAttributeManipulator_array_kvpos2d::PushToLua(void* value) {
    IKVLua* lua = Lua();
    if (!lua) return;
    const auto& list = *static_cast<const KVPositionList*>(value);
    lua->NewTable();
    for (size_t i = 0; i < list.size(); ++i) {
        lua->PushInteger(int32_t(i + 1));
        PairBinding binding{m_unit, m_desc.position, int32_t(i)};
        lua->PushUserdataProxy(PairGet, PairSet, &binding, int32_t(sizeof(binding)));
        lua->SetTable();
    }
}

void KVAttributeManipulator_array_kvpos2d::GetFromLua(void*) {}

void* KVAttributeManipulator_array_kvpos2d::GetElement(void* value, int32_t element) {
    if (element < 0 || size_t(element) >= Count()) return nullptr;
    return static_cast<KVPositionList*>(value) + element;
}

IKVAttributeLua* KVAttributeManipulator_array_kvpos2d::NewBox() { return new KVAttributeLua<KVPositionList>; }

void* KVAttributeManipulator_array_kvpos2d::Clone(const void* value) {
    auto* copy = new KVPositionList[Count() ? Count() : 1];
    for (size_t k = 0; k < Count(); ++k) copy[k] = static_cast<const KVPositionList*>(value)[k];
    return copy;
}

void KVAttributeManipulator_array_kvpos2d::Free(void* copy) { delete[] static_cast<KVPositionList*>(copy); }

void KVAttributeManipulator_array_kvpos2d::CopyElement(void* value, int32_t element, const void* source) {
    if (auto* to = static_cast<KVPositionList*>(GetElement(value, element)))
        *to = *static_cast<const KVPositionList*>(source);
}

void KVAttributeManipulator_array_kvpos2d::FormatStored(std::string* out, KVReadCursor* cursor) {
    if (!cursor->Need(4, m_desc.name)) return;
    uint32_t count = cursor->PeekU32();
    if (!cursor->Need(4 + uint64_t(count) * 8, m_desc.name)) return;
    std::string text;
    for (uint64_t i = 0; i < uint64_t(count) * 2; ++i) {
        if (i) text += ';';
        text += Format("{0}", FormatValue(LoadAt<int32_t>(cursor->pos + 4 + 4 * i)));
    }
    cursor->pos += 4 + uint64_t(count) * 8;
    *out = text;
}

void KVAttributeManipulator_array_kvpos2d::ParseStored(const std::string& text, void* value) {
    auto& list = *static_cast<KVPositionList*>(value);
    list.clear();
    size_t at = 0;
    while (at < text.size()) {
        size_t xEnd = std::min(text.find(';', at), text.size());
        size_t yBegin = xEnd < text.size() ? xEnd + 1 : xEnd;
        size_t yEnd = std::min(text.find(';', yBegin), text.size());
        list.push_back(KV2DTempl<int32_t>{ParseCoordinate(text, at, xEnd), ParseCoordinate(text, yBegin, yEnd)});
        at = yEnd < text.size() ? yEnd + 1 : yEnd;
    }
}

} // namespace kvl
