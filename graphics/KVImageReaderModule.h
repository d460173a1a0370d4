#pragma once
// What the two image reader modules share: the record their creator was
// given, the reader sub-object answered for the image reader id, and the
// registration of that reader with the resource manager in phase 2.
#include "../kernel/IKVFile.h"
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
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

// A reader module: the singleton `Self` with its reader sub-object, made
// over the module.
template <class Self, class Reader, uint64_t Id>
class KVImageReaderModuleOf : public Singleton<Self>, public KVImageReaderModule {
public:
    static constexpr uint64_t kModuleId = Id;

    KVImageReaderModuleOf() : KVImageReaderModule(&m_reader, Id), m_reader(this) {}

    Reader& GetReader() { return m_reader; }

    // Creator for the module registry: makes the module on the first call
    // and hands it the record on every call.
    static IKVModuleExt* Create(const KVModuleCreateInfo* info) {
        Self* module = Self::Instance();
        if (!module) module = new Self();
        module->SetHost(info);
        return module;
    }

private:
    Reader m_reader;
};

// Answers the image reader id with the reader.
int32_t AnswerImageReader(IKVImageReader* reader, const KVInterfaceId& id, void** out);

// Logs an error line (level 2).
void LogReaderError(const std::string& text);

} // namespace kvl
