#pragma once
// A log for tests: keeps every message with its level. Install() makes it
// the log GetLog() answers until destroyed.
#include <string>
#include <vector>
#include "kernel/IKVLog.h"

namespace kvtest {

struct KVTestLogLine {
    std::string text;
    int32_t level;
};

class KVTestLog : public kvl::IKVLog {
public:
    KVTestLog() = default;
    ~KVTestLog() override;

    void Install();

    const std::vector<KVTestLogLine>& Lines() const { return m_lines; }
    void Clear() { m_lines.clear(); }
    // How many lines have exactly this text (and this level, when given).
    int Count(const std::string& text, int32_t level = -1) const;

    int32_t Write(const char* text, int32_t level, int32_t window) override;
    int32_t WriteString(const std::string& text, int32_t level, int32_t window) override;
    int32_t WriteStringLevel(const std::string& text, int32_t level) override;
    int32_t Info(const std::string& text) override;
    int32_t Error(const char* text) override;
    int32_t ErrorString(const std::string& text) override;
    int32_t SetCallback(kvl::KVLogCallback) override { return kvl::KV_OK; }

private:
    std::vector<KVTestLogLine> m_lines;
    bool m_installed = false;
};

} // namespace kvtest
