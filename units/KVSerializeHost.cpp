#include "KVSerializeHost.h"

#include "../kernel/KVPak.h"
#include "KVSerialize.h"

#include "../kernel/KVCore.h"
#include "KVUnitFactory.h"

namespace kvl {

uint64_t KVSerializeHost::GetProjectId() {
    if (KVCore* core = KVCore::Instance()) return core->GetProjectId();
    return m_fallbackProjectId ? *m_fallbackProjectId : 0;
}

// The core keeps no request to switch projects yet.
bool KVSerializeHost::HasPendingProject() { return false; }

int32_t KVSerializeHost::OpenKvl(int32_t index) {
    KVCore* core = KVCore::Instance();
    return core ? core->OpenKvl(index) : KV_NOT_FOUND;
}

int32_t KVSerializeHost::UnloadKvl(int32_t index, bool remove) {
    KVCore* core = KVCore::Instance();
    return core ? core->UnloadKvl(index, remove) : KV_OK;
}

int32_t KVSerializeHost::Notify(int32_t code, int32_t value, void* pointer) {
    KVCore* core = KVCore::Instance();
    return core ? core->Notify(code, value, pointer) : KV_OK;
}

void KVSerializeHost::SetPakBasePath(const std::string& path) {
    KVPak* paks = KVPak::Instance();
    if (!paks) return;
    paks->SetBasePath(path);
    // Pak entries are named relative to the project, as the serializer makes them.
    paks->SetRelativePathFunction([](const std::string& absolute) {
        std::string relative = absolute;
        if (KVSerialize* serializer = KVSerialize::Instance()) serializer->MakeRelativePath(absolute, &relative);
        return relative;
    });
}

void KVSerializeHost::LoadScenePaks(const std::string& groupName) {
    if (KVPak* paks = KVPak::Instance()) paks->LoadScenePaks(groupName);
}

void KVSerializeHost::ReleaseTemporaryPaks() {
    if (KVPak* paks = KVPak::Instance()) paks->ReleaseTemporaryPaks();
}

int32_t KVSerializeHost::FinishSceneLoad(int32_t first, int32_t second) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory ? factory->FinishSceneLoad(first, second) : KV_OK;
}

int32_t KVSerializeHost::NewUid(uint64_t* out) {
    if (KVUnitFactory* factory = KVUnitFactory::Instance()) return factory->NewUid(out);
    if (out) *out = 0;
    return KV_NOT_FOUND;
}

} // namespace kvl
