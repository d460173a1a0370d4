#include "KVMediaServices.h"

namespace kvl {

namespace {
IKVUnknown* g_mediaCore = nullptr;
}

IKVUnknown* GetMediaCore() { return g_mediaCore; }
void SetMediaCore(IKVUnknown* core) { g_mediaCore = core; }

} // namespace kvl
