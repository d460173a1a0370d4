#include "KVUnitRecordsWriter.h"

#include <cstdio>

#include "units/KVAttributeDesc.h"
#include "units/KVUnit.h"
#include "units/KVUnit2D.h"

namespace kvtest {

using namespace kvl;

namespace {

KVStoredAttribute Make(uint64_t id, int32_t type, uint32_t count, Bytes value) {
    KVStoredAttribute a;
    a.id = id;
    a.type = uint32_t(type);
    a.count = count;
    a.value = std::move(value);
    return a;
}

} // namespace

KVStoredAttribute KVStoredAttribute::Floats(uint64_t id, std::initializer_list<float> values) {
    Bytes bytes;
    for (float v : values) {
        const Bytes one = KVStored::F32(v);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return Make(id, KVATTR_F32, uint32_t(values.size()), bytes);
}

KVStoredAttribute KVStoredAttribute::Ints(uint64_t id, std::initializer_list<int32_t> values) {
    Bytes bytes;
    for (int32_t v : values) {
        const Bytes one = KVStored::I32(v);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return Make(id, KVATTR_S32, uint32_t(values.size()), bytes);
}

KVStoredAttribute KVStoredAttribute::U32(uint64_t id, uint32_t value) {
    return Make(id, KVATTR_U32, 1, KVStored::U32(value));
}

KVStoredAttribute KVStoredAttribute::Enum(uint64_t id, uint32_t value) {
    return Make(id, KVATTR_ENUM, 1, KVStored::U32(value));
}

KVStoredAttribute KVStoredAttribute::Color(uint64_t id, uint32_t argb) {
    return Make(id, KVATTR_COLOR, 1, KVStored::U32(argb));
}

KVStoredAttribute KVStoredAttribute::Bools(uint64_t id, std::initializer_list<bool> values) {
    Bytes bytes;
    for (bool v : values) bytes.push_back(v ? 1 : 0);
    return Make(id, KVATTR_BOOLEAN, uint32_t(values.size()), bytes);
}

KVStoredAttribute KVStoredAttribute::Paths(uint64_t id, const std::string& paths) {
    return Make(id, KVATTR_PATHS, 1, KVStored::String(paths));
}

KVStoredAttribute KVStoredAttribute::Path(uint64_t id, const std::string& path) {
    return Make(id, KVATTR_PATH, 1, KVStored::String(path));
}

KVStoredAttribute KVStoredAttribute::String(uint64_t id, const std::string& text) {
    return Make(id, KVATTR_STRING, 1, KVStored::String(text));
}

KVStoredAttribute KVStoredAttribute::Points(uint64_t id, const std::vector<std::pair<int32_t, int32_t>>& points) {
    Bytes bytes = KVStored::U32(uint32_t(points.size()));
    for (const auto& point : points) {
        const Bytes xy = KVStored::Concat({KVStored::I32(point.first), KVStored::I32(point.second)});
        bytes.insert(bytes.end(), xy.begin(), xy.end());
    }
    return Make(id, KVATTR_ARRAY_KVPOS2D, 1, bytes);
}

KVStoredAttribute KVStoredAttribute::Link(uint64_t id, uint64_t target) {
    return Make(id, KVATTR_UNIT, 1, KVStored::Link(target));
}

KVStoredAttribute KVStoredAttribute::Links(uint64_t id, const std::vector<uint64_t>& targets) {
    return Make(id, KVATTR_ARRAY_UNIT, 1, KVStored::Links(targets));
}

KVStoredAttribute KVStoredAttribute::Position(float x, float y) { return Floats(KVUnit2D::kPositionId, {x, y}); }

KVStoredAttribute KVStoredAttribute::Dimension(int32_t width, int32_t height) {
    return Ints(KVUnit2D::kDimensionId, {width, height});
}

KVStoredAttribute KVStoredAttribute::Layer(uint64_t target) { return Link(KVUnit::kLayerId, target); }

int32_t KVUnitRecordsWriter::EntryFor(const KVUnitRecord& record) {
    // Units of one class that store the same attributes share an entry.
    std::string key = record.className;
    for (const KVStoredAttribute& a : record.attributes) {
        char part[64];
        std::snprintf(part, sizeof part, "|%llx:%u:%u", static_cast<unsigned long long>(a.id), a.type, a.count);
        key += part;
    }
    auto found = m_entries.find(key);
    if (found != m_entries.end()) return found->second;
    KVSceneClassSpec recipe;
    recipe.classId = record.classId;
    recipe.name = record.className;
    recipe.baseEntry = m_units->UnitEntry();
    for (const KVStoredAttribute& a : record.attributes) recipe.attributes.push_back({a.id, a.type, a.count});
    const int32_t entry = m_units->AddClass(recipe);
    m_entries[key] = entry;
    return entry;
}

uint32_t KVUnitRecordsWriter::Add(const KVUnitRecord& record) {
    const int32_t entry = EntryFor(record);
    std::vector<Bytes> values =
        KVSceneUnitsWriter::UnitValues(record.name, record.uid, record.children, record.flags, record.enabled);
    for (const KVStoredAttribute& a : record.attributes) values.push_back(a.value);
    const uint32_t position = uint32_t(m_units->UnitCount());
    m_units->AddUnit(entry, std::move(values));
    return position;
}

} // namespace kvtest
