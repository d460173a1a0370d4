#pragma once
// The engine's log: every message goes to the host callback, and, while the
// "LogOnDisk" property is set or the core is in editor mode, becomes one line
// of "log.txt" under the asset root. Offers the script library "KVLog".
#include <optional>
#include "IKVCriticalSection.h"
#include "IKVFile.h"
#include "IKVLog.h"
#include "IKVModule.h"
#include "KVLuaLibrary.h"
#include "KVWriteFailure.h"
#include "Singleton.h"

namespace kvl {

class KVLog : public Singleton<KVLog>, public IKVModule, public IKVLog, public KVLuaLibrary {
public:
    static constexpr uint64_t kLogOnDiskId = 0x00087969992F0616ull;

    KVLog();
    ~KVLog() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // IKVLog
    int32_t Write(const char* text, int32_t level, int32_t window) override;
    int32_t WriteString(const std::string& text, int32_t level, int32_t window) override;
    int32_t WriteStringLevel(const std::string& text, int32_t level) override;
    int32_t Info(const std::string& text) override;
    int32_t Error(const char* text) override;
    int32_t ErrorString(const std::string& text) override;
    int32_t SetCallback(KVLogCallback callback) override;

    // KVLuaLibrary: "KVLog"
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // The four-character tag of a level: "INFO", "WARN", "ERR " or "LUA ".
    static const char* GetTag(int32_t level);

    bool GetLogOnDisk() const { return m_logOnDisk; }
    // Lines go to "log.txt" (LogOnDisk set, or editor mode).
    bool WritesToDisk() const { return m_logOnDisk || IsEditorMode(); }

    // Test seams: the file layer to write through (instead of the core's),
    // the disk switch, and a fixed answer for editor mode.
    void SetFileInterface(IKVFile* file) { m_file = file; }
    void SetLogOnDisk(bool on);
    void SetEditorModeOverride(std::optional<bool> editorMode) { m_editorModeOverride = editorMode; }

private:
    bool IsEditorMode() const;
    bool WriteToDisk(const char* tag, const char* text);

    KVLogCallback m_callback = nullptr;
    IKVFile* m_file = nullptr;
    bool m_logOnDisk = false;
    bool m_truncateNext = true;          // the first line of a run starts a fresh file
    bool m_diskSwitchKnown = false;      // "LogOnDisk" has been declared for this project
    IKVCriticalSection* m_lock = nullptr;
    std::optional<bool> m_editorModeOverride;
    KVWriteFailure m_diskFailure{"log.txt"};
};

} // namespace kvl
