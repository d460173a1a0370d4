#include "KVRecordingFileModule.h"

namespace kvtest {

KVRecordingFileModule* KVRecordingFileModule::instance = nullptr;

kvl::IKVModuleExt* KVRecordingFileModule::Create(const kvl::KVModuleCreateInfo*) {
    return new KVRecordingFileModule();
}

KVRecordingFileModule::KVRecordingFileModule() { instance = this; }

KVRecordingFileModule::~KVRecordingFileModule() {
    if (instance == this) instance = nullptr;
}

int32_t KVRecordingFileModule::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVFile) return kvl::AnswerInterface(static_cast<kvl::IKVFile*>(this), out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

int32_t KVRecordingFileModule::ExecuteFile(const char* path, const char* parameters) {
    executed.emplace_back(path ? path : "<null>", parameters ? parameters : "<null>");
    return 1;
}

} // namespace kvtest
