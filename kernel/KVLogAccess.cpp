#include "IKVLog.h"

namespace kvl {
namespace {
IKVLog* g_log = nullptr;
}

IKVLog* GetLog() { return g_log; }
void SetLog(IKVLog* log) { g_log = log; }

} // namespace kvl
