#pragma once
// An extension module that answers the file interface ahead of the engine's
// file layers, with a disk file that records the programs it is asked to
// execute. The module registry owns it once created.
#include <string>
#include <utility>
#include <vector>

#include "KVTestDiskFile.h"
#include "kernel/IKVModule.h"

namespace kvtest {

class KVRecordingFileModule : public kvl::IKVModuleExt, public KVTestDiskFile {
public:
    static KVRecordingFileModule* instance;
    // A creator for the module registry.
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo* info);

    KVRecordingFileModule();
    ~KVRecordingFileModule() override;

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x00001AF400000001ull; }
    int32_t GetPriority() override { return 1; }

    int32_t ExecuteFile(const char* path, const char* parameters) override;

    // (path, parameters) of every ExecuteFile call, in order.
    std::vector<std::pair<std::string, std::string>> executed;
};

} // namespace kvtest
