#pragma once
// What the two image reader modules share: the record their creator was
// given, the reader sub-object answered for the image reader id, and the
// registration of that reader with the resource manager in phase 2.
#include "../kernel/IKVFile.h"
#include "../kernel/IKVModule.h"
#include "IKVImageReader.h"

namespace kvl {

class KVImageReaderModule : public IKVModuleExt {
public:
    KVImageReaderModule(IKVImageReader* reader, uint64_t id) : m_reader(reader), m_id(id) {}

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }
    uint64_t GetId() override { return m_id; }
    int32_t GetPriority() override { return 0; }

    // The creator's record: the host (answers like the core) and the second word.
    void SetHost(const KVModuleCreateInfo* info);
    IKVUnknown* GetHost() const { return m_host; }
    uint32_t GetReserved() const { return m_reserved; }
    // The file interface, asked of the host.
    IKVFile* QueryFile() const;

private:
    IKVImageReader* m_reader;
    uint64_t m_id;
    IKVUnknown* m_host = nullptr;
    uint32_t m_reserved = 0;
};

// Answers the image reader id (and the resource reader's) with the reader.
int32_t AnswerImageReader(IKVImageReader* reader, const KVInterfaceId& id, void** out);

// Logs an error line (level 2).
void LogReaderError(const std::string& text);

} // namespace kvl
