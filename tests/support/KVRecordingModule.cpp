#include "KVRecordingModule.h"

namespace kvtest {

int32_t KVRecordingModule::Init(int32_t phase) {
    if (m_journal) m_journal->push_back(m_name + ".Init" + std::to_string(phase));
    return 0;
}

int32_t KVRecordingModule::Release(int32_t phase) {
    if (m_journal) m_journal->push_back(m_name + ".Release" + std::to_string(phase));
    return 0;
}

int32_t KVRecordingModule::Update(float dt) {
    updates.push_back(dt);
    if (m_journal) m_journal->push_back(m_name + ".Update");
    return 0;
}

KVRecordingExtModule::~KVRecordingExtModule() {
    if (m_journal) m_journal->push_back(m_name + ".Deleted");
}

int32_t KVRecordingExtModule::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (answers && id == answeredId) {
        *out = this;
        return 0;
    }
    if (out) *out = nullptr;
    return 2;
}

int32_t KVRecordingExtModule::Init(int32_t phase) {
    if (m_journal) m_journal->push_back(m_name + ".Init" + std::to_string(phase));
    return phase == failPhase ? 1 : 0;
}

int32_t KVRecordingExtModule::Release(int32_t phase) {
    if (m_journal) m_journal->push_back(m_name + ".Release" + std::to_string(phase));
    return 0;
}

int32_t KVRecordingExtModule::Update(float) {
    if (m_journal) m_journal->push_back(m_name + ".Update");
    return 0;
}

} // namespace kvtest
