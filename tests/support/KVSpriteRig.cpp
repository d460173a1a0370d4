#include "KVSpriteRig.h"

#include <gtest/gtest.h>

#include "KVGLDeviceTest.h"
#include "KVPngWriter.h"
#include "KVSceneRig.h"
#include "graphics/KVPNGInterface.h"
#include "kernel/IKVLog.h"
#include "kernel/KVModules.h"
#include "units/KVSceneManager.h"
#include "units/KVSerialize.h"

namespace kvtest {

using namespace kvl;

namespace {

void RegisterPngReader() { KVModules::Instance()->RegisterModule(&CreatePNGInterface); }

std::vector<std::string>& LogErrors() {
    static std::vector<std::string> errors;
    return errors;
}

void RecordLog(const char* text, int32_t level, int32_t) {
    if (level == KVLOG_ERROR) LogErrors().push_back(text);
}

} // namespace

KVSpriteDevice* KVSpriteDevice::instance = nullptr;

IKVModuleExt* KVSpriteDevice::Create(const KVModuleCreateInfo*) { return new KVSpriteDevice(); }

KVSpriteDevice::KVSpriteDevice() { instance = this; }

KVSpriteDevice::~KVSpriteDevice() {
    if (instance == this) instance = nullptr;
}

int32_t KVSpriteDevice::ReadScreenPixels(uint32_t* buffer, int32_t flag) {
    (void)flag;
    ++reads;
    if (readAnswer != 0) return readAnswer;
    const size_t count = size_t(screen.width) * size_t(screen.height);
    for (size_t i = 0; i < count; ++i) buffer[i] = i < screenPixels.size() ? screenPixels[i] : 0u;
    return 0;
}

KVSpriteRig::KVSpriteRig() : KVSpriteRig(Options()) {}

KVSpriteRig::KVSpriteRig(const Options& options) : m_width(options.width), m_height(options.height) {
    if (options.screen || options.device) {
        KVSceneRig::Options scene;
        scene.screen = true;
        scene.device = options.device;
        scene.with3D = false;
        scene.editorMode = options.editorMode;
        scene.width = options.width;
        scene.height = options.height;
        scene.beforePhase1 = &RegisterPngReader;
        m_scene = std::make_unique<KVSceneRig>(scene);
    } else {
        m_host = std::make_unique<KVTestCoreHost>(options.editorMode, [] {
            RegisterPngReader();
            KVModules::Instance()->RegisterModule(&KVSpriteDevice::Create);
        });
        m_host->StartProject();
    }
    // Paths in units are the project's: the asset root is its directory
    // (the project file itself need not exist).
    if (KVSerialize* serializer = KVSerialize::Instance()) serializer->LoadProject(Host().Root() + "none.kvp");
    LogErrors().clear();
    if (IKVLog* log = GetLog()) log->SetCallback(&RecordLog);
}

KVSpriteRig::~KVSpriteRig() = default;

bool KVSpriteRig::Ready() const { return m_scene ? m_scene->Ready() : KVSpriteDevice::instance != nullptr; }

KVTestCoreHost& KVSpriteRig::Host() { return m_scene ? m_scene->Host() : *m_host; }

void KVSpriteRig::WritePng(const std::string& relative, uint32_t width, uint32_t height, uint32_t color) {
    WritePng(relative, width, height, std::vector<uint32_t>(size_t(width) * height, color));
}

void KVSpriteRig::WritePng(const std::string& relative, uint32_t width, uint32_t height,
                           const std::vector<uint32_t>& pixels) {
    Host().Dir().WriteFile("assets/" + relative, WritePngArgb(width, height, pixels));
}

KVUnit* KVSpriteRig::MakeUnit(const char* className, const char* name, const std::vector<std::string>& events) {
    KVUnit* unit = nullptr;
    Factory().CreateUnit(Factory().FindClassByName(className), &unit, KVCREATE_RUNTIME, -1, 0);
    if (!unit) {
        ADD_FAILURE() << "no unit of class " << className;
        return nullptr;
    }
    if (name) unit->SetName(name);
    if (name) Host().DefineUnitNamespace(name, events);
    return unit;
}

void KVSpriteRig::SetText(KVUnit* unit, uint64_t attributeId, int32_t element, const std::string& text) {
    const int32_t position = Factory().FindAttributePosition(unit->GetClassIndex(), attributeId);
    ASSERT_GE(position, 0) << "no attribute " << std::hex << attributeId;
    Factory().SetAttributeText(unit->GetIndex(), position, element, text, false);
}

std::vector<std::string> KVSpriteRig::TakeRecords() {
    std::vector<std::string> records;
    records.swap(KVTestCoreHost::Records());
    return records;
}

void KVSpriteRig::Run(const std::string& code) {
    std::string error;
    if (!Host().Run(code, &error)) ADD_FAILURE() << error;
}

std::vector<std::string> KVSpriteRig::TakeErrors() {
    std::vector<std::string> errors;
    errors.swap(KVTestCoreHost::Errors());
    return errors;
}

std::vector<std::string> KVSpriteRig::TakeLogErrors() {
    std::vector<std::string> errors;
    errors.swap(LogErrors());
    return errors;
}

void KVSpriteRig::DrawFrame() {
    if (KVSceneManager* scene = KVSceneManager::Instance()) scene->Draw();
}

uint32_t KVSpriteRig::PixelAt(int32_t x, int32_t y) { return m_scene ? m_scene->PixelAt(x, y) : 0u; }

std::vector<uint32_t> KVSpriteRig::Screen() {
    return m_scene ? ReadScreenPixels(m_width, m_height) : std::vector<uint32_t>();
}

} // namespace kvtest
