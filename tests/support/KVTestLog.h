#pragma once
// A log that records every line with its level. Installs itself as the
// engine's log while it lives.
#include <string>
#include <vector>

#include "kernel/IKVLog.h"

namespace kvtest {

class KVTestLog : public kvl::IKVLog {
public:
    struct Line {
        std::string text;
        int32_t level;
    };

    KVTestLog();
    ~KVTestLog() override;

    int32_t Write(const char* text, int32_t level, int32_t window) override;
    int32_t WriteString(const std::string& text, int32_t level, int32_t window) override;
    int32_t WriteStringLevel(const std::string& text, int32_t level) override;
    int32_t Info(const std::string& text) override;
    int32_t Error(const char* text) override;
    int32_t ErrorString(const std::string& text) override;
    int32_t SetCallback(kvl::KVLogCallback callback) override;

    // Already the engine's log from construction; kept for callers that ask.
    void Install() {}
    const std::vector<Line>& Lines() const { return m_lines; }
    // Lines holding the text (at the level, when one is given).
    size_t Count(const std::string& part, int32_t level = -1) const;
    bool Contains(const std::string& part, int32_t level = -1) const { return Count(part, level) > 0; }
    void Clear() { m_lines.clear(); }

private:
    std::vector<Line> m_lines;
    kvl::IKVLog* m_previous;
};

} // namespace kvtest
