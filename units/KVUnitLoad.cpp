// Reading a unit's record of a scene file: its values through the factory,
// the Flags word of older records, and its stored parameter table.
#include <cstring>
#include <string>
#include <vector>

#include "../kernel/IKVLog.h"
#include "../kernel/KVFormat.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr uint32_t kRecordTag = 2;
constexpr uint32_t kRecordVersion = 0x30003;
constexpr uint32_t kLastOldestFlagsVersion = 0x10003;
constexpr uint32_t kLastOldFlagsVersion = 0x20001;
constexpr uint32_t kLastBit5Version = 0x30002;
constexpr uint32_t kLastTablelessVersion = 0x20000;

struct StoredParameter {
    uint32_t kind = 0;
    std::string name;
    std::vector<KVParameterValue> values;
};

int32_t RecordError(KVSerialize* serializer, const std::string& what) {
    if (IKVLog* log = GetLog())
        log->WriteString(serializer->GetCurrentFilePath() + ": unit record: " + what, KVLOG_ERROR, 0);
    return KV_WRONG_SIZE;
}

bool Matches(const KVUnitParameter& entry, const StoredParameter& stored) {
    return entry.kind == stored.kind && entry.values.size() == stored.values.size() && entry.name == stored.name;
}

} // namespace

int32_t KVUnit::Load() {
    KVSerialize* serializer = KVSerialize::Instance();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!serializer || !factory) return KV_NO_FILE;
    uint32_t version = 0;
    // A record that is not one, or newer than this engine reads, is not
    // read as one.
    int32_t result = serializer->BeginChunk(kRecordTag, kRecordVersion, &version);
    if (result != KV_OK) return result;
    const uint32_t end = serializer->GetChunkEnd();
    const uint32_t before = m_flags;
    result = factory->ReadUnitAttributes(this, version);
    if (result != KV_OK) return result;

    // Only the low half of the Flags word comes from the file.
    uint32_t flags = (m_flags & 0xFFFFu) | (before & 0xFFFF0000u);
    // The oldest records knew no Update bit: their units are updated, as
    // every unit is by default, and do not take all input.
    if (version <= kLastOldestFlagsVersion) flags |= 0x20u;
    if (version <= kLastOldFlagsVersion) {
        if ((flags & 0x4u) && !(flags & 0x2u)) flags |= 0x2u;
        // The old layout: bits 0-1 stay, bit 2 goes, bits 3-5 move down.
        flags = (flags & 0xFFFF0000u) | (flags & 0x3u) | ((flags & 0x38u) >> 1);
    }
    if (version <= kLastBit5Version) flags &= ~0x20u;
    m_flags = flags;

    if (version > kLastTablelessVersion) {
        result = ReadParameterTable(end);
        if (result != KV_OK) return result;
    }
    // What a newer record stores after the known parts is passed over.
    const uint32_t position = serializer->GetPosition();
    if (position > end) return RecordError(serializer, Format("read {0} bytes past its end", position - end));
    return position < end ? serializer->SeekTo(end) : KV_OK;
}

int32_t KVUnit::ReadParameterTable(uint32_t recordEnd) {
    KVSerialize* serializer = KVSerialize::Instance();
    uint8_t head[16];
    int32_t result = serializer->ReadBytes(head, 8);
    if (result != KV_OK) return result;
    const uint32_t count = KVChunkReader::LoadU32(head);
    auto left = [&]() { return recordEnd > serializer->GetPosition() ? recordEnd - serializer->GetPosition() : 0u; };
    if (uint64_t(count) * 16 > left())
        return RecordError(serializer, Format("{0} parameters do not fit in the record", count));
    std::vector<StoredParameter> stored(count);
    for (StoredParameter& parameter : stored) {
        if ((result = serializer->ReadBytes(head, 16)) != KV_OK) return result;
        parameter.kind = KVChunkReader::LoadU32(head);
        const uint32_t valueCount = KVChunkReader::LoadU32(head + 4);
        const uint32_t nameLength = KVChunkReader::LoadU32(head + 8);
        if (uint64_t(nameLength) + uint64_t(valueCount) * 4 > left())
            return RecordError(serializer, Format("parameter of {0} values and a name of {1} bytes does not fit in "
                                                  "the record",
                                                  valueCount, nameLength));
        std::string name(nameLength, '\0');
        if (nameLength && (result = serializer->ReadBytes(&name[0], nameLength)) != KV_OK) return result;
        parameter.name.assign(name.c_str());
        parameter.values.resize(valueCount);
        std::vector<uint8_t> bytes(size_t(valueCount) * 4);
        if (valueCount && (result = serializer->ReadBytes(bytes.data(), uint32_t(bytes.size()))) != KV_OK)
            return result;
        for (uint32_t k = 0; k < valueCount; ++k) {
            uint32_t word = KVChunkReader::LoadU32(bytes.data() + size_t(k) * 4);
            std::memcpy(&parameter.values[k], &word, sizeof word);
        }
    }
    OnLoaded();
    if (!m_parameters || m_parameters->Size() == 0) return KV_OK;
    const std::vector<int32_t> order = m_parameters->Order();
    for (size_t j = 0; j < order.size(); ++j) {
        KVUnitParameter* entry = m_parameters->At(order[j]);
        if (!entry) continue;
        const StoredParameter* match = nullptr;
        if (stored.size() == order.size() && Matches(*entry, stored[j])) match = &stored[j];
        for (size_t k = 0; !match && k < stored.size(); ++k)
            if (Matches(*entry, stored[k])) match = &stored[k];
        if (match) entry->values = match->values;
    }
    return KV_OK;
}

} // namespace kvl
