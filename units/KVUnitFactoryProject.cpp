// The class table of the project file: project classes derived from
// registered ones, and the dynamic attributes they add.
#include <string>
#include <vector>

#include "../kernel/IKVLog.h"
#include "../kernel/KVFormat.h"
#include "KVSerialize.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr uint32_t kNewestTableVersion = 1;
constexpr uint32_t kLastOldEntryProjectVersion = 0x10004;

struct ProjectClassRecord {
    std::string name;
    uint64_t id = 0;
    uint64_t baseId = 0;
};

} // namespace

int32_t KVUnitFactory::ReadProjectClasses() {
    KVSerialize* serializer = KVSerialize::Instance();
    uint8_t head[16];
    // A project that ends after its properties has no class table.
    if (!serializer || !serializer->IsFileOpen() || serializer->Remaining() < sizeof head) return KV_OK;
    if (serializer->ReadBytes(head, sizeof head) != KV_OK) return KV_OK;
    const uint32_t oldEntries = KVChunkReader::LoadU32(head);
    const uint32_t classCount = KVChunkReader::LoadU32(head + 4);
    const uint32_t attributeCount = KVChunkReader::LoadU32(head + 8);
    const uint32_t tableVersion = KVChunkReader::LoadU32(head + 12);
    if (tableVersion > kNewestTableVersion) {
        LogError("The project file version is superior to what is supported by this version of Kelvane");
        return KV_FAILED;
    }
    // Every class record takes at least 20 bytes, every attribute 24: counts
    // beyond the file are refused before anything is read for them.
    const uint64_t least = uint64_t(classCount) * 20 + uint64_t(attributeCount) * 24;
    if (least > serializer->Remaining()) {
        LogError(serializer->GetCurrentFilePath() +
                 Format(": the class table of {0} classes and {1} attributes runs past the end of the file",
                        classCount, attributeCount));
        return KV_FAILED;
    }
    std::vector<ProjectClassRecord> classes(classCount);
    for (ProjectClassRecord& record : classes) {
        if (serializer->ReadString(&record.name) != KV_OK || serializer->ReadUInt64(&record.id) != KV_OK ||
            serializer->ReadUInt64(&record.baseId) != KV_OK)
            return KV_FAILED;
    }
    size_t created = 0;
    // A record whose base names no class makes no class.
    auto createUpTo = [&](size_t end) {
        for (; created < end && created < classes.size(); ++created) {
            const ProjectClassRecord& record = classes[created];
            const int32_t base = FindClassById(record.baseId);
            if (base >= 0) CreateProjectClass(record.name, base, record.id);
        }
    };
    for (uint32_t a = 0; a < attributeCount; ++a) {
        std::string name;
        uint64_t classId = 0, attributeId = 0;
        uint8_t type[4];
        if (serializer->ReadString(&name) != KV_OK || serializer->ReadUInt64(&classId) != KV_OK ||
            serializer->ReadUInt64(&attributeId) != KV_OK || serializer->ReadValue(type, sizeof type) != KV_OK)
            return KV_FAILED;
        const uint32_t typeCode = KVChunkReader::LoadU32(type);
        if (created == 0) createUpTo(1);
        for (size_t j = created; j < classes.size(); ++j) {
            if (classes[j].id != classId) continue;
            createUpTo(j + 1);
            break;
        }
        const int32_t classIndex = FindClassById(classId);
        if (classIndex >= 0) AddDynamicAttribute(name, classIndex, attributeId, int32_t(typeCode), true);
    }
    createUpTo(classes.size());
    if (serializer->GetProjectVersion() <= kLastOldEntryProjectVersion) {
        for (uint32_t i = 0; i < oldEntries; ++i) {
            uint64_t ignored = 0;
            if (serializer->ReadUInt64(&ignored) != KV_OK) return KV_FAILED;
            if (tableVersion != 0) continue;
            std::string text;
            uint8_t byte = 0;
            if (serializer->ReadString(&text) != KV_OK || serializer->ReadValue(&byte, 1) != KV_OK) return KV_FAILED;
        }
    }
    return KV_OK;
}

} // namespace kvl
