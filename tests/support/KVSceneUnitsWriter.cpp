#include "KVSceneUnitsWriter.h"

#include <cstddef>
#include <cstring>

namespace kvtest {

namespace {

void Append(Bytes* out, const Bytes& part) { out->insert(out->end(), part.begin(), part.end()); }

bool IsStringType(uint32_t type) { return type == 3 || type == 4 || type == 10 || type == 15; }

} // namespace

Bytes KVStored::U32(uint32_t v) { return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes KVStored::F32(float v) {
    uint32_t word;
    std::memcpy(&word, &v, 4);
    return U32(word);
}

Bytes KVStored::U64(uint64_t v) { return Concat({U32(uint32_t(v)), U32(uint32_t(v >> 32))}); }

Bytes KVStored::String(const std::string& text, bool padded) {
    Bytes out = U32(uint32_t(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    if (padded)
        while ((out.size() - 4) % 4) out.push_back(0);
    return out;
}

Bytes KVStored::Link(uint64_t uid, bool wide) {
    Bytes out = U64(uid);
    if (wide) Append(&out, U64(0));
    return out;
}

Bytes KVStored::Links(const std::vector<uint64_t>& uids, bool wide) {
    Bytes out = U32(uint32_t(uids.size()));
    for (uint64_t uid : uids) Append(&out, Link(uid, wide));
    return out;
}

Bytes KVStored::OldValue(const Bytes& value, bool sizeWord) {
    Bytes out = sizeWord ? U32(uint32_t(value.size())) : Bytes{};
    Append(&out, value);
    return out;
}

Bytes KVStored::OldString(const std::string& text) { return String(text, false); }

Bytes KVStored::OldLink(uint64_t uid) { return Concat({U32(8), U64(uid)}); }

Bytes KVStored::OldLinks(const std::vector<uint64_t>& uids) {
    Bytes out = U32(uint32_t(uids.size() * 8));
    for (uint64_t uid : uids) Append(&out, U64(uid));
    return out;
}

Bytes KVStored::F32s(std::initializer_list<float> values) {
    Bytes out;
    for (float v : values) Append(&out, F32(v));
    return out;
}

Bytes KVStored::I32s(std::initializer_list<int32_t> values) {
    Bytes out;
    for (int32_t v : values) Append(&out, I32(v));
    return out;
}

Bytes KVStored::Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) Append(&out, part);
    return out;
}

KVSceneClassSpec KVSceneUnitsWriter::UnitClass() {
    KVSceneClassSpec recipe;
    recipe.classId = kUnitClassId;
    recipe.name = "Unit";
    recipe.attributes = {{kNameId, 4, 1}, {kFlagsId, 5, 5}, {kEnabledId, 7, 1}, {kChildrenId, 6, 1}, {kUidId, 13, 1}};
    return recipe;
}

std::vector<Bytes> KVSceneUnitsWriter::UnitValues(const std::string& name, uint64_t uid,
                                                  const std::vector<uint64_t>& children, uint32_t flags, bool enabled,
                                                  uint32_t fileVersion) {
    const bool old = fileVersion <= 0x20001;
    return {KVStored::String(name, KVStored::PadsStrings(fileVersion)), KVStored::U32(flags), KVStored::Bool(enabled), KVStored::Links(children, old),
            KVStored::U64(uid)};
}

int32_t KVSceneUnitsWriter::AddClass(const KVSceneClassSpec& recipe) {
    m_classes.push_back(recipe);
    return int32_t(m_classes.size() - 1);
}

size_t KVSceneUnitsWriter::AttributeCount(int32_t entry) const {
    if (entry < 0 || size_t(entry) >= m_classes.size()) return 0;
    const KVSceneClassSpec& recipe = m_classes[size_t(entry)];
    // A base entry must come earlier; anything else counts as none here.
    const size_t inherited = recipe.baseEntry >= 0 && recipe.baseEntry < entry ? AttributeCount(recipe.baseEntry) : 0;
    return inherited + recipe.attributes.size();
}

KVSceneUnitSpec& KVSceneUnitsWriter::AddUnit(int32_t entry, std::vector<Bytes> values) {
    KVSceneUnitSpec unit;
    unit.entry = entry;
    unit.values = std::move(values);
    unit.values.resize(AttributeCount(entry));
    m_units.push_back(std::move(unit));
    return m_units.back();
}

KVSceneUnitSpec& KVSceneUnitsWriter::AddPlainUnit(const std::string& name, uint64_t uid,
                                                  const std::vector<uint64_t>& children, uint32_t flags, bool enabled,
                                                  uint32_t fileVersion) {
    return AddUnit(UnitEntry(), UnitValues(name, uid, children, flags, enabled, fileVersion));
}

uint32_t KVSceneUnitsWriter::AddClassUnit(uint64_t classId, const std::string& className, const std::string& name,
                                          uint64_t uid, const std::vector<KVStoredValue>& values, bool enabled) {
    KVSceneClassSpec entry;
    entry.classId = classId;
    entry.name = className;
    entry.baseEntry = UnitEntry();
    std::vector<Bytes> stored = UnitValues(name, uid, {}, 0x12, enabled);
    for (const KVStoredValue& v : values) {
        entry.attributes.push_back(v.record);
        stored.push_back(v.value);
    }
    AddUnit(AddClass(entry), stored);
    return uint32_t(m_units.size() - 1);
}

std::vector<KVSceneAttributeSpec> KVSceneUnitsWriter::Records(int32_t entry) const {
    const KVSceneClassSpec& recipe = m_classes[size_t(entry)];
    std::vector<KVSceneAttributeSpec> records;
    if (recipe.baseEntry >= 0 && recipe.baseEntry < entry) records = Records(recipe.baseEntry);
    records.insert(records.end(), recipe.attributes.begin(), recipe.attributes.end());
    return records;
}

std::vector<uint32_t> KVSceneUnitsWriter::Order(int32_t entry, uint32_t fileVersion) const {
    const KVSceneClassSpec& recipe = m_classes[size_t(entry)];
    const size_t count = AttributeCount(entry);
    std::vector<uint32_t> order;
    // Files up to 0x20002 store no order: their values follow the records.
    if (recipe.valueOrder.empty() || fileVersion <= 0x20002) {
        for (size_t i = 0; i < count; ++i) order.push_back(uint32_t(i));
    } else {
        order.assign(recipe.valueOrder.begin(), recipe.valueOrder.end());
    }
    return order;
}

void KVSceneUnitsWriter::WriteEntry(KVSceneFileWriter& scene, const KVSceneClassSpec& recipe, uint32_t v) const {
    const size_t index = size_t(&recipe - m_classes.data());
    const size_t count = AttributeCount(int32_t(index));
    scene.RawU64(recipe.classId);
    scene.RawU32(recipe.attributeCountOverride >= 0 ? uint32_t(recipe.attributeCountOverride) : uint32_t(count));
    scene.RawU32(v >= 0x20000 ? uint32_t(recipe.baseEntry) : 0u);
    if (v > 0x10001) scene.String(recipe.name);
    if (v <= 0x2FFFF) {
        scene.String("");
        if (v > 0x10002) scene.Raw(Bytes{0});
    }
    // Sections before 0x20000 know no base entries: every record is stored.
    std::vector<KVSceneAttributeSpec> records;
    if (v < 0x20000) records = Records(int32_t(index));
    else records = recipe.attributes;
    for (const KVSceneAttributeSpec& a : records) {
        scene.RawU64(a.id);
        if (v >= 0x20000) scene.RawU32(a.type);
        if (v == 0x20000) scene.Raw(Bytes{0});
        if (v > 0x20000) scene.RawU32(a.count);
    }
    if (scene.Version() > 0x20002) {
        std::vector<uint32_t> order = Order(int32_t(index), scene.Version());
        Bytes bytes;
        for (uint32_t r : order) bytes.push_back(uint8_t(r));
        while (bytes.size() % 4) bytes.push_back(0);
        scene.Raw(bytes);
    }
}

Bytes KVSceneUnitsWriter::BlockString(const Bytes& value, uint32_t fileVersion) const {
    if (m_padding == KVStringPadding::AsGiven || value.size() < 4) return value;
    const uint32_t length = uint32_t(value[0]) | uint32_t(value[1]) << 8 | uint32_t(value[2]) << 16 |
                            uint32_t(value[3]) << 24;
    const uint64_t padded = (uint64_t(length) + 3u) & ~uint64_t(3u);
    if (value.size() != 4 + uint64_t(length) && value.size() != 4 + padded) return value;
    const bool pad = m_padding == KVStringPadding::Padded ||
                     (m_padding == KVStringPadding::Format && KVStored::PadsStrings(fileVersion));
    Bytes out(value.begin(), value.begin() + 4 + std::ptrdiff_t(length));
    if (pad) out.resize(size_t(4 + padded), 0);
    return out;
}

void KVSceneUnitsWriter::WriteUnit(KVSceneFileWriter& scene, const KVSceneUnitSpec& unit) const {
    const uint32_t w = scene.OldChunkHeader() ? unit.version : 0x30003;
    scene.BeginChunk(unit.tag, unit.version);
    if (w >= 0x20000) {
        Bytes block;
        if (unit.entry >= 0 && size_t(unit.entry) < m_classes.size()) {
            const std::vector<KVSceneAttributeSpec> records = Records(unit.entry);
            for (uint32_t r : Order(unit.entry, scene.Version())) {
                if (r >= unit.values.size()) continue;
                const bool text = r < records.size() && IsStringType(records[r].type);
                Append(&block, text ? BlockString(unit.values[r], scene.Version()) : unit.values[r]);
            }
        }
        scene.RawU32(unit.blockSizeOverride >= 0 ? uint32_t(unit.blockSizeOverride) : uint32_t(block.size()));
        scene.Raw(block);
    } else {
        for (const Bytes& value : unit.values) scene.Raw(value);
    }
    if (w > 0x20000) {
        scene.RawU32(unit.parameterCountOverride >= 0 ? uint32_t(unit.parameterCountOverride)
                                                      : uint32_t(unit.parameters.size()));
        scene.RawU32(0);
        for (const KVSceneParameter& p : unit.parameters) {
            scene.RawU32(p.kind).RawU32(uint32_t(p.words.size())).RawU32(uint32_t(p.name.size())).RawU32(0);
            scene.Raw(p.name.data(), p.name.size());
            for (uint32_t word : p.words) scene.RawU32(word);
        }
    }
    scene.Raw(unit.trailing);
    scene.EndChunk();
}

void KVSceneUnitsWriter::WriteTo(KVSceneFileWriter& scene) const {
    const uint32_t v = SectionVersion(scene.Version());
    const bool chunked = scene.Version() <= 0x20000;
    if (chunked) scene.BeginChunk(1, v);
    scene.RawU32(m_unitCountSet ? m_unitCount : uint32_t(m_units.size())).RawU32(0);
    scene.RawU32(m_entryCountSet ? m_entryCount : uint32_t(m_classes.size())).RawU32(0);
    for (const KVSceneClassSpec& recipe : m_classes) WriteEntry(scene, recipe, v);
    if (m_classTableSet) {
        for (uint32_t entry : m_classTable) scene.RawU32(entry);
    } else {
        for (const KVSceneUnitSpec& unit : m_units) scene.RawU32(uint32_t(unit.entry));
    }
    for (const KVSceneUnitSpec& unit : m_units) WriteUnit(scene, unit);
    if (chunked) scene.EndChunk();
}

Bytes KVSceneUnitsWriter::Scene(uint32_t fileVersion, uint64_t projectId, bool oldValueEncoding) const {
    KVSceneFileWriter scene(fileVersion, projectId, oldValueEncoding);
    if (fileVersion < 0x20000) {
        scene.BeginChunk(5, 0x10000).ValueU32(0).EndChunk();
        scene.BeginChunk(6, 0x10000).String("passed over").EndChunk();
    }
    WriteTo(scene);
    return scene.Data();
}

} // namespace kvtest
