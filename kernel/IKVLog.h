#pragma once
#include <string>
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVLog = MakeId(0x0014C75A, 0x69B3FF26);

enum KVLogLevel : int32_t { KVLOG_INFO = 0, KVLOG_WARNING = 1, KVLOG_ERROR = 2, KVLOG_LUA = 3 };

using KVLogCallback = void (*)(const char* text, int32_t level, int32_t window);

class IKVLog : public virtual IKVUnknown {
public:
    virtual int32_t Write(const char* text, int32_t level, int32_t window) = 0;
    virtual int32_t WriteString(const std::string& text, int32_t level, int32_t window) = 0;
    virtual int32_t WriteStringLevel(const std::string& text, int32_t level) = 0;
    virtual int32_t Info(const std::string& text) = 0;
    virtual int32_t Error(const char* text) = 0;
    virtual int32_t ErrorString(const std::string& text) = 0;
    virtual int32_t SetCallback(KVLogCallback callback) = 0;
};

} // namespace kvl

namespace kvl {

// The engine's log (set by the log module while it exists), or null.
IKVLog* GetLog();
void SetLog(IKVLog* log);

} // namespace kvl
