#pragma once
// The core that start-up handed the movie and video-sprite modules: their
// externals ask it for the services they use (unit factory, file layer,
// serializer, sound manager), and the program-wide core when it is not set.
#include "../kernel/KVCore.h"
#include "../kernel/IKVUnknown.h"

namespace kvl {

IKVUnknown* GetMediaCore();
void SetMediaCore(IKVUnknown* core);

template <class T>
T* MediaService(const KVInterfaceId& id) {
    if (IKVUnknown* core = GetMediaCore()) {
        if (T* found = QueryInterfaceOf<T>(core, id)) return found;
    }
    return QueryCoreInterface<T>(id);
}

} // namespace kvl
