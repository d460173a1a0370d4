#pragma once
// Modules that record the phases and updates they receive, in one shared
// journal, so tests can check orders across several modules.
#include <string>
#include <vector>

#include "kernel/IKVModule.h"

namespace kvtest {

using Journal = std::vector<std::string>;

class KVRecordingModule : public kvl::IKVModule {
public:
    KVRecordingModule(std::string name, Journal* journal) : m_name(std::move(name)), m_journal(journal) {}

    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float dt) override;

    std::vector<float> updates;

protected:
    std::string m_name;
    Journal* m_journal;
};

// An extension module with a settable id, priority, answered interface and
// a phase whose Init fails.
class KVRecordingExtModule : public kvl::IKVModuleExt {
public:
    KVRecordingExtModule(std::string name, Journal* journal, int32_t priority, uint64_t id = 0)
        : m_name(std::move(name)), m_journal(journal), m_priority(priority), m_id(id) {}
    ~KVRecordingExtModule() override;

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float dt) override;
    uint64_t GetId() override { return m_id; }
    int32_t GetPriority() override { return m_priority; }

    int32_t failPhase = -1;
    bool answers = false;
    kvl::KVInterfaceId answeredId{0, 0};

private:
    std::string m_name;
    Journal* m_journal;
    int32_t m_priority;
    uint64_t m_id;
};

} // namespace kvtest
