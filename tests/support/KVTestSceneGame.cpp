#include "KVTestSceneGame.h"

#include <gtest/gtest.h>

#include "KVChunkWriter.h"
#include "KVFakeGraphicDevice.h"
#include "kernel/IKVLog.h"
#include "kernel/KVCore.h"
#include "kernel/KVModules.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

namespace {

constexpr uint64_t kNeedSoundDevice = 0x001D90A67E3277C9ull;

std::vector<std::string> g_errors;
std::function<void()> g_registerClasses;

void RecordLog(const char* text, int32_t level, int32_t) {
    if (level == kvl::KVLOG_ERROR) g_errors.push_back(text);
}

// Registers the test's classes in phase 3, as extension modules do.
class ClassModule : public kvl::IKVModuleExt {
public:
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo*) { return new ClassModule; }
    int32_t QueryInterface(const kvl::KVInterfaceId&, void** out) override {
        if (out) *out = nullptr;
        return 2;
    }
    int32_t Init(int32_t phase) override {
        if (phase == 3 && g_registerClasses) g_registerClasses();
        return 0;
    }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x0010735100000002ull; }
    int32_t GetPriority() override { return 0; }
};

} // namespace

KVTestSceneGame::KVTestSceneGame(uint32_t projectVersion)
    : m_project(projectVersion, kProjectId), m_properties(projectVersion) {
    g_errors.clear();
    g_registerClasses = nullptr;
    m_properties.AddBoolean(kNeedSoundDevice, 0);
}

KVTestSceneGame::~KVTestSceneGame() {
    if (kvl::IKVLog* log = kvl::GetLog()) log->SetCallback(nullptr);
    g_registerClasses = nullptr;
}

int32_t KVTestSceneGame::AddScene(const std::string& path, const std::vector<uint8_t>& bytes, bool atStart) {
    EXPECT_TRUE(KVChunkWriter::WriteFile(m_host.Root() + path, bytes));
    m_project.AddKvl(path).AddGroup(path, {uint32_t(m_kvls)}, atStart);
    return m_kvls++;
}

void KVTestSceneGame::OnRegisterClasses(std::function<void()> f) { g_registerClasses = std::move(f); }

int32_t KVTestSceneGame::Load() {
    m_project.Append(m_properties.Build());
    m_project.Append(m_tableBytesSet ? m_tableBytes : m_classes.Build(m_project));
    EXPECT_TRUE(m_project.WriteTo(m_host.Root() + "game.kvproj"));
    if (kvl::IKVLog* log = kvl::GetLog()) log->SetCallback(&RecordLog);
    kvl::KVModules::Instance()->RegisterModule(&KVFakeGraphicDevice::Create);
    kvl::KVModules::Instance()->RegisterModule(&ClassModule::Create);
    return m_host.Core().LoadProject("");
}

kvl::KVUnitFactory& KVTestSceneGame::Factory() { return *kvl::KVUnitFactory::Instance(); }

kvl::KVUnit* KVTestSceneGame::Find(const std::string& name) {
    kvl::IKVUnit* unit = nullptr;
    if (Factory().FindUnitByName(name, nullptr, &unit) != 0 || !unit) return nullptr;
    return unit->GetUnit();
}

int32_t KVTestSceneGame::UnitCount() { return Factory().GetUnitCount(); }

const std::vector<std::string>& KVTestSceneGame::Errors() const { return g_errors; }

size_t KVTestSceneGame::CountErrors(const std::string& part) const {
    size_t n = 0;
    for (const std::string& e : g_errors) n += e.find(part) != std::string::npos;
    return n;
}

void KVTestSceneGame::Run(const std::string& code) {
    std::string error;
    EXPECT_TRUE(m_host.Run(code, &error)) << error;
}

std::string KVTestSceneGame::Eval(const std::string& expression) {
    std::string error;
    std::vector<std::string> values = m_host.Evaluate(expression, &error);
    EXPECT_TRUE(error.empty()) << error;
    return values.empty() ? std::string() : values[0];
}

} // namespace kvtest
