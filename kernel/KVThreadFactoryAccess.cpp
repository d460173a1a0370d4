#include "IKVThreadFactory.h"

namespace kvl {
namespace {
IKVThreadFactory* g_factory = nullptr;
}

IKVThreadFactory* GetThreadFactory() { return g_factory; }
void SetThreadFactory(IKVThreadFactory* factory) { g_factory = factory; }

} // namespace kvl
