#include "KVInputSceneRig.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include "KVLua/KVLua.h"
#include "KVTestUnitEvents.h"
#include "kernel/KVInput.h"
#include "kernel/KVModules.h"
#include "kernel/KVSDLInputInterface.h"

namespace kvtest {

using namespace kvl;

namespace {

// Hands the fake device out under the input device id.
class FakeInputModule : public IKVModuleExt {
public:
    static KVFakeInputDevice* pending;
    static IKVModuleExt* Create(const KVModuleCreateInfo*) { return new FakeInputModule(pending); }

    explicit FakeInputModule(KVFakeInputDevice* device) : m_device(device) {}
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVInputDevice) return AnswerInterface(static_cast<IKVInputDevice*>(m_device), out);
        if (out) *out = nullptr;
        return KV_NOT_SUPPORTED;
    }
    int32_t Init(int32_t) override { return KV_OK; }
    int32_t Release(int32_t) override { return KV_OK; }
    uint64_t GetId() override { return 0x000010D900000002ull; }
    int32_t GetPriority() override { return 1; }

private:
    KVFakeInputDevice* m_device;
};

KVFakeInputDevice* FakeInputModule::pending = nullptr;

} // namespace

KVInputSceneRig::KVInputSceneRig(Device device, const std::function<void()>& beforePhase1) : m_sdl(device == SDL) {
    if (m_sdl && SDL_Init(SDL_INIT_VIDEO) != 0) ADD_FAILURE() << SDL_GetError();
    KVSceneRig::Options options;
    options.with3D = false;
    options.beforePhase1 = [this, beforePhase1] {
        KVTestUnitEvents::RegisterLibrary();
        if (m_sdl) {
            KVModules::Instance()->RegisterModule(&CreateSDLInputInterface);
        } else {
            FakeInputModule::pending = &m_fake;
            KVModules::Instance()->RegisterModule(&FakeInputModule::Create);
            FakeInputModule::pending = nullptr;
        }
        if (beforePhase1) beforePhase1();
    };
    m_scene = std::make_unique<KVSceneRig>(options);
    Run("function Record(text) TestRecorder.Record(text) end");
    Input().Update(0.02f);
    Input().Update(0.02f);
}

KVInputSceneRig::~KVInputSceneRig() {
    m_scene.reset();
    if (m_sdl) SDL_Quit();
}

KVInput& KVInputSceneRig::Input() { return *KVInput::Instance(); }

KVTestQuadUnit* KVInputSceneRig::Quad(const char* name, const KVDeviceRect& rect, KVUnit* parent) {
    KVTestQuadUnit* quad = m_scene->Quad(name, rect, parent);
    if (quad) {
        KVLua::Instance()->CreateNamespaceTable(name, quad->GetIndex(), false);
        quad->UpdateScriptFlag();
    }
    return quad;
}

void KVInputSceneRig::Run(const std::string& code) {
    std::string error;
    EXPECT_TRUE(m_scene->Host().Run(code, &error)) << error;
}

void KVInputSceneRig::Draw() { m_scene->Scene().Draw(); }

void KVInputSceneRig::Frame() {
    if (m_sdl) PumpSDLEvents();
    Input().Update(0.02f);
}

void KVInputSceneRig::Click(int32_t x, int32_t y) {
    PushSDLEvent(SDLButton(true, x, y));
    Frame();
    PushSDLEvent(SDLButton(false, x, y));
    Frame();
}

std::vector<std::string> KVInputSceneRig::Take() {
    std::vector<std::string> out;
    out.swap(KVTestCoreHost::Records());
    return out;
}

} // namespace kvtest
