// The units section of scene files: the classes a file names and what they
// match here, the creation of the units in file order, the values of each
// unit's record and the sorting out of the links made while reading.
#include <cstring>
#include <string>

#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "IKVUnitRef.h"
#include "KVAttributeManipulator.h"
#include "KVSceneUnits.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"
#include "KVUnitRef.h"

namespace kvl {

namespace {

// The bytes of the section left before its end; none once the reading has
// gone past it (the reads are bounded by the file, not by the section).
uint64_t LeftBefore(uint32_t limit, const KVSerialize* serializer) {
    const uint32_t position = serializer->GetPosition();
    return position < limit ? uint64_t(limit - position) : 0;
}

constexpr uint32_t kUnitsTag = 1;
constexpr uint32_t kUnitsVersion = 0x30000;
constexpr uint32_t kLastChunkedSceneVersion = 0x20000;
constexpr uint32_t kFirstValueOrderVersion = 0x20003;
constexpr uint32_t kFirstIntegerlessPositionVersion = 0x20004;
constexpr uint32_t kFirstBlockRecordVersion = 0x20000;
constexpr uint32_t kFirstUnprefixedPathVersion = 0x30000;
constexpr uint32_t kLastLowerCasedPathVersion = 0x30001;
constexpr uint64_t kUnit2DClassId = 0x00379C696A716AA0ull;
constexpr uint64_t kPositionId = 0x001299DD27CDA4E8ull;
// Element counts beyond this are not a sound file's: no manipulator is
// made to measure them.
constexpr uint32_t kMaxElementCount = 0xFFFF;

// The section is refused as a whole: nothing of it can be found reliably.
int32_t Corrupted(KVSerialize* serializer, const std::string& what) {
    KVUnitFactory::LogError(serializer->GetCurrentFilePath() + ": units section: " + what);
    return KV_WRONG_SIZE;
}

std::string Hex(uint64_t value) { return Format("0x{0x16}", FormatValue(value)); }

} // namespace

int32_t KVUnitFactory::CreateSceneUnits(int32_t kvlIndex) {
    (void)kvlIndex;  // the units belong to the serializer's current kvl
    KVSerialize* serializer = KVSerialize::Instance();
    if (!serializer || !serializer->IsFileOpen()) return KV_NO_FILE;
    KVSceneLoad load;
    const uint32_t fileVersion = serializer->GetFileVersion();
    if (fileVersion > kLastChunkedSceneVersion) {
        load.sectionVersion = kUnitsVersion;
    } else {
        int32_t result = serializer->BeginChunk(kUnitsTag, kUnitsVersion, &load.sectionVersion);
        if (result != KV_OK) return result;
    }
    const std::string& path = serializer->GetCurrentFilePath();
    const size_t slash = path.rfind('/');
    load.kvlDirectory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

    SetLoading(true, fileVersion);
    m_rootsSuspended = true;
    m_sceneLoad = &load;
    int32_t result = ReadSectionHead(load);
    m_sceneLoad = nullptr;
    SetLoading(false, 0);
    m_rootsSuspended = false;
    return result;
}

int32_t KVUnitFactory::ReadSectionHead(KVSceneLoad& load) {
    KVSerialize* serializer = KVSerialize::Instance();
    const uint32_t limit = serializer->GetChunkEnd();
    uint8_t head[16];
    int32_t result = serializer->ReadBytes(head, sizeof head);
    if (result != KV_OK) return result;
    const uint32_t unitCount = KVChunkReader::LoadU32(head);
    const uint32_t entryCount = KVChunkReader::LoadU32(head + 8);
    // Each entry takes at least 16 bytes, each unit a class-table word and
    // a record header.
    const uint64_t least = uint64_t(entryCount) * 16 + uint64_t(unitCount) * 8;
    if (least > LeftBefore(limit, serializer))
        return Corrupted(serializer, Format("{0} classes and {1} units do not fit in the section", entryCount,
                                            unitCount));
    load.entries.resize(entryCount);
    for (size_t e = 0; e < load.entries.size(); ++e) {
        result = ReadClassEntry(load, e, limit);
        if (result != KV_OK) return result;
    }
    MatchClasses(load);

    std::vector<uint32_t> classTable(unitCount);
    for (uint32_t& entry : classTable) {
        uint8_t word[4];
        result = serializer->ReadBytes(word, sizeof word);
        if (result != KV_OK) return result;
        entry = KVChunkReader::LoadU32(word);
        if (entry >= entryCount)
            return Corrupted(serializer, Format("a unit names class entry {0} of {1}", entry, entryCount));
    }
    result = CreateSectionUnits(load, classTable);
    SortOutLinks(load);
    for (const KVSceneClassEntry& entry : load.entries) {
        if (entry.skipped == 0) continue;
        LogError(Format("{0} unit(s) of class {1} could not be created as this class does not exist", entry.skipped,
                        entry.name));
    }
    if (serializer->GetFileVersion() < kFirstIntegerlessPositionVersion) ConvertOldPositions(load);
    return result;
}

int32_t KVUnitFactory::ReadClassEntry(KVSceneLoad& load, size_t entryIndex, uint32_t limit) {
    KVSerialize* serializer = KVSerialize::Instance();
    const uint32_t v = load.sectionVersion;
    KVSceneClassEntry& entry = load.entries[entryIndex];
    uint8_t head[16];
    int32_t result = serializer->ReadBytes(head, sizeof head);
    if (result != KV_OK) return result;
    entry.classId = KVChunkReader::LoadU64(head);
    entry.attributeCount = KVChunkReader::LoadU32(head + 8);
    if (v >= 0x20000) entry.baseEntry = int32_t(KVChunkReader::LoadU32(head + 12));
    if (v > 0x10001 && (result = serializer->ReadString(&entry.name)) != KV_OK) return result;
    if (v <= 0x2FFFF) {
        std::string ignored;
        if ((result = serializer->ReadString(&ignored)) != KV_OK) return result;
        uint8_t byte = 0;
        if (v > 0x10002 && (result = serializer->ReadBytes(&byte, 1)) != KV_OK) return result;
    }
    // A base entry is an earlier entry of this table.
    uint32_t inherited = 0;
    if (entry.baseEntry != -1) {
        if (entry.baseEntry < 0 || size_t(entry.baseEntry) >= entryIndex)
            return Corrupted(serializer, Format("class {0} names base entry {1} at entry {2}", entry.name,
                                                entry.baseEntry, uint64_t(entryIndex)));
        inherited = load.entries[size_t(entry.baseEntry)].attributeCount;
    }
    if (entry.attributeCount < inherited)
        return Corrupted(serializer, Format("class {0} has {1} attributes but its base has {2}", entry.name,
                                            entry.attributeCount, inherited));
    const uint32_t own = entry.attributeCount - inherited;
    const uint32_t recordSize = 8 + (v >= 0x20000 ? 4 : 0) + (v == 0x20000 ? 1 : (v > 0x20000 ? 4 : 0));
    if (uint64_t(own) * recordSize > LeftBefore(limit, serializer))
        return Corrupted(serializer, Format("the {0} attributes of class {1} do not fit in the section", own,
                                            entry.name));
    if (inherited) {
        const auto& base = load.entries[size_t(entry.baseEntry)].attributes;
        entry.attributes.assign(base.begin(), base.end());
    }
    entry.attributes.reserve(entry.attributeCount);
    for (uint32_t i = 0; i < own; ++i) {
        uint8_t bytes[17];
        if ((result = serializer->ReadBytes(bytes, recordSize)) != KV_OK) return result;
        KVSceneAttributeRecord record;
        record.id = KVChunkReader::LoadU64(bytes);
        if (v >= 0x20000) record.typeCode = int32_t(KVChunkReader::LoadU32(bytes + 8));
        if (v > 0x20000) record.elementCount = KVChunkReader::LoadU32(bytes + 12);
        if (record.typeCode >= 0 && record.typeCode < KVATTR_TYPE_COUNT && record.elementCount <= kMaxElementCount) {
            KVAttributeDesc desc;
            desc.typeCode = record.typeCode;
            desc.elementCount = int32_t(record.elementCount);
            desc.name = Hex(record.id);
            record.measure = CreateManipulator(&desc);
            record.byteSize = desc.byteSize;
        }
        entry.attributes.push_back(std::move(record));
    }
    if (serializer->GetFileVersion() >= kFirstValueOrderVersion) {
        const uint32_t padded = (entry.attributeCount + 3u) & ~3u;
        if (padded > LeftBefore(limit, serializer))
            return Corrupted(serializer, Format("the value order of class {0} does not fit in the section", entry.name));
        std::vector<uint8_t> order(padded);
        if (padded && (result = serializer->ReadBytes(order.data(), padded)) != KV_OK) return result;
        entry.valueOrder.assign(order.begin(), order.begin() + entry.attributeCount);
        for (uint32_t r : entry.valueOrder)
            if (r >= entry.attributeCount)
                return Corrupted(serializer, Format("the value order of class {0} names attribute {1} of {2}",
                                                    entry.name, r, entry.attributeCount));
    } else {
        entry.valueOrder.resize(entry.attributeCount);
        for (uint32_t i = 0; i < entry.attributeCount; ++i) entry.valueOrder[i] = i;
    }
    return KV_OK;
}

void KVUnitFactory::MatchClasses(KVSceneLoad& load) {
    load.entryOfClass.assign(m_classes.size(), -1);
    for (size_t e = 0; e < load.entries.size(); ++e) {
        KVSceneClassEntry& entry = load.entries[e];
        if (entry.classId == 0) continue;
        entry.classIndex = FindClassById(entry.classId);
        if (entry.classIndex < 0) continue;
        load.entryOfClass[size_t(entry.classIndex)] = int32_t(e);
        for (KVSceneAttributeRecord& record : entry.attributes) {
            record.matched = FindAttributePosition(entry.classIndex, record.id);
            MatchStoredForm(load, entry, record);
        }
    }
}

void KVUnitFactory::MatchStoredForm(const KVSceneLoad& load, const KVSceneClassEntry& entry,
                                    KVSceneAttributeRecord& record) {
    const KVAttributeDesc* desc = record.matched >= 0 ? GetAttribute(entry.classIndex, record.matched) : nullptr;
    // Records of the oldest sections state no type: their values are taken
    // as the attribute has them.
    if (!desc || !desc->manipulator || record.typeCode < 0) return;
    // Past 0x20000 a record states its element count too; the stored
    // extent is what must agree (a flags word is one word whatever its
    // count).
    const bool counted = load.sectionVersion > 0x20000;
    if (record.typeCode == desc->typeCode && (!counted || (record.measure && record.byteSize == desc->byteSize)))
        return;
    // A value of another type or extent, written for another version of
    // the class, is no value of this attribute: it is stepped past as an
    // unknown one. Without a stated count it has the attribute's.
    record.matched = -1;
    if (counted || record.typeCode >= KVATTR_TYPE_COUNT) return;
    KVAttributeDesc form;
    form.typeCode = record.typeCode;
    form.elementCount = desc->elementCount;
    form.name = desc->name;
    record.measure = CreateManipulator(&form);
}

int32_t KVUnitFactory::CreateSectionUnits(KVSceneLoad& load, const std::vector<uint32_t>& classTable) {
    KVSerialize* serializer = KVSerialize::Instance();
    load.units.assign(classTable.size(), nullptr);
    for (size_t u = 0; u < classTable.size(); ++u) {
        KVSceneClassEntry& entry = load.entries[classTable[u]];
        KVUnit* unit = nullptr;
        if (entry.classIndex >= 0) CreateUnit(entry.classIndex, &unit, 0, -1, 0);
        if (!unit) {
            ++entry.skipped;
            int32_t result = serializer->SkipChunk();
            if (result != KV_OK) return result;
            continue;
        }
        const uint32_t start = serializer->GetPosition();
        load.current = &entry;
        int32_t result = unit->Load();
        load.current = nullptr;
        if (result != KV_OK) {
            // A unit whose record could not be read is not kept half made.
            LogError(Format("{0}: the record of unit {1} (class {2}) could not be read (error 0x{3x})",
                            serializer->GetCurrentFilePath(), uint64_t(u), entry.name, uint32_t(result)));
            unit->Release();
            if (serializer->SeekTo(start) != KV_OK || serializer->SkipChunk() != KV_OK) return result;
            continue;
        }
        load.units[u] = unit;
        if (m_firstLoadedUnit == -1 || !IsValidUnit(m_firstLoadedUnit)) {
            m_firstLoadedUnit = unit->GetIndex();
            m_loadedCount = 0;
        }
        ++m_loadedCount;
    }
    return KV_OK;
}

void KVUnitFactory::SortOutLinks(KVSceneLoad& load) {
    std::vector<IKVUnitRef*> links;
    links.swap(m_pendingLinks);
    for (IKVUnitRef* ref : links) {
        KVUnitRef* concrete = dynamic_cast<KVUnitRef*>(ref);
        // References of a unit that was given up go with it.
        if (concrete && ref->GetOwner() && !concrete->GetLiveOwner()) {
            ref->Release();
            continue;
        }
        const uint64_t uid = *ref->GetUnitUid();
        const int32_t high = int32_t(uint32_t(uid >> 32));
        const uint32_t position = uint32_t(uid);
        if (high < 0 && position < load.units.size() && load.units[position]) {
            ref->SetIndex(load.units[position]->GetIndex());
            ref->Release();
            continue;
        }
        m_unresolvedLinks.push_back(ref);
    }
}

void KVUnitFactory::ConvertOldPositions(KVSceneLoad& load) {
    const int32_t unit2D = FindClassById(kUnit2DClassId);
    if (unit2D < 0) return;
    for (KVUnit* unit : load.units) {
        if (!unit || !IsUnitOfClass(unit, unit2D)) continue;
        const KVAttributeDesc* desc = FindAttributeById(unit->GetClassIndex(), kPositionId);
        void* holder = nullptr;
        if (!desc || desc->typeCode != KVATTR_F32 || desc->elementCount < 2 || GetHolder(unit, *desc, &holder) != KV_OK ||
            !holder)
            continue;
        // The two words were stored as signed integers.
        float* xy = static_cast<float*>(holder);
        for (int k = 0; k < 2; ++k) {
            int32_t stored;
            std::memcpy(&stored, &xy[k], sizeof stored);
            xy[k] = float(stored);
        }
    }
}

int32_t KVUnitFactory::ReadUnitAttributes(KVUnit* unit, uint32_t recordVersion) {
    KVSceneClassEntry* entry = m_sceneLoad ? m_sceneLoad->current : nullptr;
    if (!unit || !entry) return KV_INVALID;
    int32_t result = recordVersion >= kFirstBlockRecordVersion ? ReadValueBlock(unit, *entry, recordVersion)
                                                               : ReadValueStream(unit, *entry, recordVersion);
    if (result != KV_OK) return result;
    unit->OnAttributesRead();
    AddToNameIndex(unit);
    if (KVCore* core = KVCore::Instance()) core->Notify(KVNOTICE_VALUES_CHANGED, unit->GetIndex(), nullptr);
    return KV_OK;
}

int32_t KVUnitFactory::ReadValueBlock(KVUnit* unit, KVSceneClassEntry& entry, uint32_t recordVersion) {
    KVSerialize* serializer = KVSerialize::Instance();
    uint8_t word[4];
    int32_t result = serializer->ReadBytes(word, sizeof word);
    if (result != KV_OK) return result;
    const uint32_t size = KVChunkReader::LoadU32(word);
    const uint32_t end = serializer->GetChunkEnd();
    if (size > end - serializer->GetPosition()) {
        LogError(Format("{0}: a value block of {1} bytes runs past the end of its record",
                        serializer->GetCurrentFilePath(), size));
        return KV_WRONG_SIZE;
    }
    std::vector<uint8_t>& block = m_sceneLoad->block;
    block.resize(size);
    if (size && (result = serializer->ReadBytes(block.data(), size)) != KV_OK) return result;
    KVReadCursor cursor(block.data(), block.size());
    for (uint32_t i = 0; i < entry.attributeCount && !cursor.failed; ++i) {
        const KVSceneAttributeRecord& record = entry.attributes[entry.valueOrder[i]];
        const KVAttributeDesc* desc = record.matched >= 0 ? GetAttribute(entry.classIndex, record.matched) : nullptr;
        const uint8_t* start = cursor.pos;
        void* holder = nullptr;
        const bool read = desc && desc->manipulator && (desc->HasFlag(KVAF_PERSISTENT) || desc->HasFlag(KVAF_APPLIED)) &&
                          GetHolder(unit, *desc, &holder) == KV_OK && holder;
        if (read) {
            // The manipulator moves past what it read: a string with its
            // padding, a link with its uid's width, every element the
            // attribute has (records of 0x20000 sections say 1 for all).
            desc->manipulator->SetUnit(unit->GetIndex());
            desc->manipulator->Read(holder, &cursor, false);
            if (cursor.failed) break;
            if (desc->typeCode == KVATTR_PATH || desc->typeCode == KVATTR_PATHS)
                FixPathValue(static_cast<std::string*>(holder), recordVersion, false);
            continue;
        }
        // A value that is not read is measured: by its attribute's own
        // manipulator when it has one here, else by one made for the
        // record's type and element count.
        KVAttributeManipulator* measure =
            desc && desc->manipulator ? desc->manipulator.get() : record.measure.get();
        if (!measure) {
            // A known type goes unmeasured only for a count refused.
            const bool knownType = record.typeCode >= 0 && record.typeCode < KVATTR_TYPE_COUNT;
            if (!entry.unknownTypeReported)
                LogError(Format(knownType ? "{0}: attribute {1} of class {2} has {4} elements; the values after it "
                                            "are not read"
                                          : "{0}: attribute {1} of class {2} has type {3}; the values after it are "
                                            "not read",
                                serializer->GetCurrentFilePath(), Hex(record.id), entry.name, record.typeCode,
                                record.elementCount));
            entry.unknownTypeReported = true;
            break;
        }
        KVReadCursor at(start, size_t(cursor.end - start));
        const uint32_t stored = measure->GetStoredSize(at);
        // The name is made only for the message of a value that does not fit.
        if (stored > at.Left() && !at.Need(stored, desc ? desc->name : Hex(record.id))) break;
        cursor.pos = start + stored;
    }
    return KV_OK;
}

int32_t KVUnitFactory::ReadValueStream(KVUnit* unit, KVSceneClassEntry& entry, uint32_t recordVersion) {
    KVSerialize* serializer = KVSerialize::Instance();
    for (const KVSceneAttributeRecord& record : entry.attributes) {
        const KVAttributeDesc* desc = record.matched >= 0 ? GetAttribute(entry.classIndex, record.matched) : nullptr;
        void* holder = nullptr;
        const bool read = desc && desc->oldFormatReader &&
                          (desc->HasFlag(KVAF_PERSISTENT) || desc->HasFlag(KVAF_APPLIED)) &&
                          GetHolder(unit, *desc, &holder) == KV_OK && holder;
        int32_t result = KV_OK;
        if (read) {
            if (desc->manipulator) desc->manipulator->SetUnit(unit->GetIndex());
            result = desc->oldFormatReader(*serializer, holder, desc->byteSize);
            if (result == KV_OK && (desc->typeCode == KVATTR_PATH || desc->typeCode == KVATTR_PATHS))
                FixPathValue(static_cast<std::string*>(holder), recordVersion, true);
        } else if (record.id == kSceneValuelessAttributeId) {
            continue;
        } else if (record.id == kSceneStringTableAttributeId) {
            result = serializer->SkipStringTable();
        } else {
            result = serializer->SkipBlock();
        }
        if (result != KV_OK) return result;
    }
    return KV_OK;
}

void KVUnitFactory::FixPathValue(std::string* value, uint32_t recordVersion, bool prefixOnly) {
    KVSerialize* serializer = KVSerialize::Instance();
    if (recordVersion < kFirstUnprefixedPathVersion && m_sceneLoad && serializer) {
        std::vector<std::string> parts;
        serializer->SplitList(*value, &parts);
        std::string joined;
        for (size_t i = 0; i < parts.size(); ++i) {
            std::string part = m_sceneLoad->kvlDirectory + parts[i];
            KVSerialize::NormalizePath(&part);
            if (i) joined += '|';
            joined += part;
        }
        *value = joined;
    }
    if (prefixOnly || recordVersion > kLastLowerCasedPathVersion) return;
    for (char& c : *value) {
        if (c == '\\') c = '/';
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
}

} // namespace kvl
