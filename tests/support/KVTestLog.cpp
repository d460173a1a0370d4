#include "KVTestLog.h"

namespace kvtest {

KVTestLog::KVTestLog() : m_previous(kvl::GetLog()) { kvl::SetLog(this); }

KVTestLog::~KVTestLog() {
    if (kvl::GetLog() == this) kvl::SetLog(m_previous);
}

int32_t KVTestLog::Write(const char* text, int32_t level, int32_t) {
    m_lines.push_back(Line{text ? text : "", level});
    return 0;
}

int32_t KVTestLog::WriteString(const std::string& text, int32_t level, int32_t window) {
    return Write(text.c_str(), level, window);
}

int32_t KVTestLog::WriteStringLevel(const std::string& text, int32_t level) { return Write(text.c_str(), level, 0); }

int32_t KVTestLog::Info(const std::string& text) { return Write(text.c_str(), kvl::KVLOG_INFO, 0); }

int32_t KVTestLog::Error(const char* text) { return Write(text, kvl::KVLOG_ERROR, 0); }

int32_t KVTestLog::ErrorString(const std::string& text) { return Write(text.c_str(), kvl::KVLOG_ERROR, 0); }

int32_t KVTestLog::SetCallback(kvl::KVLogCallback) { return 0; }

size_t KVTestLog::Count(const std::string& part, int32_t level) const {
    size_t n = 0;
    for (const Line& line : m_lines) {
        if ((level < 0 || line.level == level) && line.text.find(part) != std::string::npos) ++n;
    }
    return n;
}

} // namespace kvtest
