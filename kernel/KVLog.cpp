#include "KVLog.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include "IKVThreadFactory.h"
#include "KVCore.h"
#include "KVLua/IKVLua.h"
#include "KVProperties.h"

namespace kvl {
namespace {

// Set while this thread writes a line. A message raised meanwhile (the file
// layer reporting the opening of "log.txt" itself) is dropped: it would
// recurse without end and relock the section.
thread_local bool t_writing = false;

class WritingMark {
public:
    WritingMark() { t_writing = true; }
    ~WritingMark() { t_writing = false; }
    WritingMark(const WritingMark&) = delete;
    WritingMark& operator=(const WritingMark&) = delete;
};

} // namespace

KVLog::KVLog() { SetLog(this); }

KVLog::~KVLog() {
    if (m_lock) m_lock->Release();
    m_lock = nullptr;
    if (GetLog() == this) SetLog(nullptr);
}

int32_t KVLog::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVLog) return AnswerInterface(static_cast<IKVLog*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVLog::Init(int32_t phase) {
    switch (phase) {
    case 0:
        m_logOnDisk = false;
        m_callback = nullptr;
        m_diskSwitchKnown = false;
        break;
    case 1:
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVLog", this);
        if (IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile)) m_file = file;
        m_truncateNext = true;
        if (!m_lock)
            if (IKVThreadFactory* factory = GetThreadFactory()) m_lock = factory->CreateCriticalSection();
        break;
    case 2:
        if (KVProperties* properties = KVProperties::Instance()) {
            properties->DeclareProperty(
                DescribeProperty(&m_logOnDisk, PROPERTY_BOOLEAN, "Log on disk", "LogOnDisk", "General", kLogOnDiskId));
        }
        m_diskSwitchKnown = true;
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVLog::Release(int32_t phase) {
    if (phase == 2) {
        // The next project's first line starts a fresh file.
        m_truncateNext = true;
        m_diskSwitchKnown = false;
    } else if (phase == 4) {
        if (m_lock) m_lock->Release();
        m_lock = nullptr;
    }
    return KV_OK;
}

void KVLog::SetLogOnDisk(bool on) {
    m_logOnDisk = on;
    m_diskSwitchKnown = true;
}

bool KVLog::IsEditorMode() const {
    if (m_editorModeOverride) return *m_editorModeOverride;
    KVCore* core = KVCore::Instance();
    return core && core->IsEditorMode();
}

const char* KVLog::GetTag(int32_t level) {
    switch (level) {
    case KVLOG_INFO: return "INFO";
    case KVLOG_WARNING: return "WARN";
    case KVLOG_ERROR: return "ERR ";
    default: return "LUA ";
    }
}

bool KVLog::WriteToDisk(const char* tag, const char* text) {
    IKVFile* file = m_file;
    if (!file) return false;
    std::string path;
    file->GetRootPath(&path);
    path += "log.txt";
    KVFileHandle handle = nullptr;
    errno = 0;
    int32_t status = file->Open(path.c_str(), m_truncateNext ? KVFILE_WRITE : KVFILE_UPDATE, &handle);
    int reason = errno;
    if ((status != KV_OK || !handle) && !m_truncateNext && !file->Exists(path.c_str())) {
        // The file was removed while running: start it again instead of
        // losing every later line.
        errno = 0;
        status = file->Open(path.c_str(), KVFILE_WRITE, &handle);
        reason = errno;
    }
    if (status != KV_OK || !handle) {
        m_diskFailure.Report(reason);
        return false;
    }
    m_truncateNext = false;
    file->Seek(handle, 0, 2);
    std::string line;
    line.reserve(std::char_traits<char>::length(text) + 9);
    line.append(tag).append(" : ").append(text).append("\r\n");
    uint32_t written = 0;
    errno = 0;
    if (file->Write(handle, line.data(), uint32_t(line.size()), &written, 0) != KV_OK || written != line.size())
        m_diskFailure.Report(errno);
    file->Close(handle);
    return true;
}

int32_t KVLog::Write(const char* text, int32_t level, int32_t window) {
    if (t_writing) return KV_OK;
    WritingMark mark;
    if (!text) text = "";
    KVLockGuard lock(m_lock);  // a null section (before phase 1) writes unlocked
    if (m_callback) m_callback(text, level, window);
    const char* tag = GetTag(level);
    bool reached = false;
    if (m_logOnDisk || IsEditorMode()) reached = WriteToDisk(tag, text);
    // Before the project has said whether to log on disk, an error that could
    // not reach "log.txt" (such as a failed start-up) is shown on stderr.
    if (!reached && level == KVLOG_ERROR && !m_diskSwitchKnown) std::fprintf(stderr, "%s : %s\n", tag, text);
    return KV_OK;
}

int32_t KVLog::WriteString(const std::string& text, int32_t level, int32_t window) {
    return Write(text.c_str(), level, window);
}

int32_t KVLog::WriteStringLevel(const std::string& text, int32_t level) { return Write(text.c_str(), level, 0); }

int32_t KVLog::Info(const std::string& text) { return WriteString(text, KVLOG_INFO, 0); }

int32_t KVLog::Error(const char* text) { return Write(text, KVLOG_ERROR, 0); }

int32_t KVLog::ErrorString(const std::string& text) { return Error(text.c_str()); }

int32_t KVLog::SetCallback(KVLogCallback callback) {
    m_callback = callback;
    return KV_OK;
}

} // namespace kvl
