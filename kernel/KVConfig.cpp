#include "KVConfig.h"

#include "KVCore.h"
#include "KVIniFile.h"
#include "KVPath.h"

namespace kvl {
namespace {
const std::string& SectionOrGeneral(const std::string& section) {
    static const std::string kGeneral = "General";
    return section.empty() ? kGeneral : section;
}
} // namespace

KVConfig::~KVConfig() { Forget(); }

void KVConfig::Forget() {
    if (m_iniFile) m_iniFile->Release();
    m_iniFile = nullptr;
}

int32_t KVConfig::Init(int32_t phase) {
    if (phase == 0) Forget();
    return KV_OK;
}

int32_t KVConfig::Release(int32_t phase) {
    if (phase == 4) Forget();
    return KV_OK;
}

IKVFile* KVConfig::FileInterface() const {
    return m_file ? m_file : QueryCoreInterface<IKVFile>(IID_IKVFile);
}

int32_t KVConfig::Load() {
    IKVFile* file = FileInterface();
    std::string directory = GetProjectDirectory();
    if (directory.empty() && file) file->GetRootPath(&directory);
    Forget();
    KVIniFile* ini = new KVIniFile();
    // A missing file leaves an empty configuration; nothing is reported.
    ini->LoadFile(directory + "config.ini", file);
    m_iniFile = ini;
    return KV_OK;
}

IKVIniFile* KVConfig::GetIniFile() {
    if (!m_iniFile) Load();
    return m_iniFile;
}

int32_t KVConfig::GetInt(const std::string& section, const std::string& key) {
    return GetIniFile()->GetInt(SectionOrGeneral(section), key);
}

float KVConfig::GetFloat(const std::string& section, const std::string& key) {
    return GetIniFile()->GetFloat(SectionOrGeneral(section), key);
}

std::string KVConfig::GetString(const std::string& section, const std::string& key) {
    return GetIniFile()->GetString(SectionOrGeneral(section), key);
}

} // namespace kvl
