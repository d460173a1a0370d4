#include "KVTestLog.h"

namespace kvtest {

KVTestLog::~KVTestLog() {
    if (m_installed && kvl::GetLog() == this) kvl::SetLog(nullptr);
}

void KVTestLog::Install() {
    kvl::SetLog(this);
    m_installed = true;
}

int KVTestLog::Count(const std::string& text, int32_t level) const {
    int n = 0;
    for (const KVTestLogLine& line : m_lines)
        if (line.text == text && (level < 0 || line.level == level)) ++n;
    return n;
}

int32_t KVTestLog::Write(const char* text, int32_t level, int32_t) {
    m_lines.push_back({text ? text : "", level});
    return kvl::KV_OK;
}

int32_t KVTestLog::WriteString(const std::string& text, int32_t level, int32_t window) {
    return Write(text.c_str(), level, window);
}

int32_t KVTestLog::WriteStringLevel(const std::string& text, int32_t level) { return Write(text.c_str(), level, 0); }
int32_t KVTestLog::Info(const std::string& text) { return Write(text.c_str(), kvl::KVLOG_INFO, 0); }
int32_t KVTestLog::Error(const char* text) { return Write(text, kvl::KVLOG_ERROR, 0); }
int32_t KVTestLog::ErrorString(const std::string& text) { return Write(text.c_str(), kvl::KVLOG_ERROR, 0); }

} // namespace kvtest
