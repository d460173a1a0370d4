#pragma once
// A log module whose lines the test can read: while it exists it is the
// engine's log, and every line written to it is kept with its level.
#include <memory>
#include <string>
#include <vector>
#include "kernel/KVLog.h"

namespace kvtest {

class KVLogCapture {
public:
    KVLogCapture();
    ~KVLogCapture();

    const std::vector<std::string>& Errors() const { return m_errors; }
    const std::vector<std::string>& Lines() const { return m_lines; }
    // An error line equal to the text.
    bool HasError(const std::string& text) const;
    // An error line containing the text.
    bool HasErrorContaining(const std::string& part) const;
    // Error lines containing the text.
    size_t CountErrors(const std::string& part) const;
    void Clear();

private:
    static void Record(const char* text, int32_t level, int32_t window);

    std::unique_ptr<kvl::KVLog> m_log;
    std::vector<std::string> m_errors;
    std::vector<std::string> m_lines;
};

} // namespace kvtest
