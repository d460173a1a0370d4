#include "KVRecordingInputListener.h"

#include <cstdio>

#include "units/IKVUnit.h"

namespace kvtest {

KVRecordingInputListener::KVRecordingInputListener(std::string listenerName, std::vector<std::string>* journal)
    : name(std::move(listenerName)), m_journal(journal) {}

void KVRecordingInputListener::SetUnit(kvl::IKVUnit* unit, int32_t index) {
    m_unit = unit;
    unitIndex = index;
}

int32_t KVRecordingInputListener::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVUnit && m_unit) return kvl::AnswerInterface(m_unit, out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

int32_t KVRecordingInputListener::OnInput(uint32_t* mask, int32_t a, int32_t b) {
    char text[64];
    std::snprintf(text, sizeof text, "%x %d %d", unsigned(*mask), int(a), int(b));
    calls.push_back(text);
    if (m_journal) m_journal->push_back(name + " " + text);
    *mask &= ~consume;
    if (onInput) onInput();
    return 0;
}

} // namespace kvtest
