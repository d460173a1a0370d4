#include "KVCore.h"

namespace kvl {

KVCore::KVCore(bool editorMode) : m_editorMode(editorMode) {}
KVCore::~KVCore() = default;

KVCore* KVCore::Instance(bool editorMode) {
    KVCore* core = Singleton<KVCore>::Instance();
    if (!core) core = new KVCore(editorMode);
    core->m_editorMode = editorMode;
    return core;
}

int32_t KVCore::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVCore) return AnswerInterface(static_cast<IKVCore*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVCore::Init(int32_t) { return 0; }
int32_t KVCore::Release(int32_t) { return 0; }
int32_t KVCore::Notify(int32_t, int32_t, void*) { return 0; }
void KVCore::SetLoadError(uint32_t bits) { m_loadError |= bits; }
int32_t KVCore::QueryInterfaceByPriority(const KVInterfaceId& id, void** out, int32_t) { return QueryInterface(id, out); }
int32_t KVCore::CallHostHandler(int32_t, int32_t, int32_t) { return 0; }
int32_t KVCore::GetLuaFunctions(const KVLuaFunctionEntry** out) { *out = nullptr; return 0; }

} // namespace kvl
