#include "KVLogCapture.h"

namespace kvtest {
namespace {
KVLogCapture* g_capture = nullptr;
} // namespace

KVLogCapture::KVLogCapture() : m_log(std::make_unique<kvl::KVLog>()) {
    g_capture = this;
    m_log->SetCallback(&KVLogCapture::Record);
    // Lines go to the capture only: neither "log.txt" nor standard error.
    m_log->SetLogOnDisk(false);
}

KVLogCapture::~KVLogCapture() {
    m_log.reset();
    if (g_capture == this) g_capture = nullptr;
}

void KVLogCapture::Record(const char* text, int32_t level, int32_t) {
    if (!g_capture) return;
    g_capture->m_lines.push_back(text);
    if (level == kvl::KVLOG_ERROR) g_capture->m_errors.push_back(text);
}

bool KVLogCapture::HasError(const std::string& text) const {
    for (const std::string& e : m_errors) {
        if (e == text) return true;
    }
    return false;
}

bool KVLogCapture::HasErrorContaining(const std::string& part) const {
    for (const std::string& e : m_errors) {
        if (e.find(part) != std::string::npos) return true;
    }
    return false;
}

void KVLogCapture::Clear() {
    m_errors.clear();
    m_lines.clear();
}

size_t KVLogCapture::CountErrors(const std::string& part) const {
    size_t n = 0;
    for (const std::string& e : m_errors) n += e.find(part) != std::string::npos;
    return n;
}

} // namespace kvtest
