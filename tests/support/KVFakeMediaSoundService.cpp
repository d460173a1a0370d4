#include "KVFakeMediaSoundService.h"

namespace kvtest {

namespace {

class ServiceModule : public kvl::IKVModuleExt {
public:
    ServiceModule() { KVFakeMediaSoundService::instance = &m_service; }
    ~ServiceModule() override {
        if (KVFakeMediaSoundService::instance == &m_service) KVFakeMediaSoundService::instance = nullptr;
    }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override {
        if (id == kvl::IID_IKVMediaSoundService)
            return kvl::AnswerInterface(static_cast<kvl::IKVMediaSoundService*>(&m_service), out);
        if (out) *out = nullptr;
        return 2;
    }
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x006927C8CB759D28ull; }
    int32_t GetPriority() override { return 1; }

private:
    KVFakeMediaSoundService m_service;
};

} // namespace

KVFakeMediaSoundService* KVFakeMediaSoundService::instance = nullptr;

kvl::IKVModuleExt* KVFakeMediaSoundService::CreateModule(const kvl::KVModuleCreateInfo*) {
    return new ServiceModule();
}

int32_t KVFakeMediaSoundService::Play(const char* name, bool loop, int32_t* outHandle) {
    journal.push_back(std::string("Play ") + (name ? name : "") + (loop ? " 1" : " 0"));
    if (playResult != 0) return playResult;
    const int32_t handle = nextHandle++;
    playing[handle] = true;
    if (outHandle) *outHandle = handle;
    return 0;
}

void KVFakeMediaSoundService::SetPaused(int32_t handle, bool paused) {
    journal.push_back("SetPaused " + std::to_string(handle) + (paused ? " 1" : " 0"));
}

void KVFakeMediaSoundService::Stop(int32_t handle) {
    journal.push_back("Stop " + std::to_string(handle));
    playing[handle] = false;
}

int32_t KVFakeMediaSoundService::IsPlaying(int32_t handle) {
    auto it = playing.find(handle);
    return it != playing.end() && it->second ? 1 : 0;
}

void KVFakeMediaSoundService::Release(int32_t handle) { journal.push_back("Release " + std::to_string(handle)); }

} // namespace kvtest
