#pragma once
// Engine configuration: typed look-ups in "config.ini", opened on first use
// and kept for the whole run. "General" is the section when none is named.
#include <string>
#include "IKVFile.h"
#include "IKVIniFile.h"
#include "IKVModule.h"
#include "Singleton.h"

namespace kvl {

class KVConfig : public Singleton<KVConfig>, public IKVModule {
public:
    KVConfig() = default;
    ~KVConfig() override;

    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    int32_t GetInt(const std::string& section, const std::string& key);
    float GetFloat(const std::string& section, const std::string& key);
    std::string GetString(const std::string& section, const std::string& key);
    // The "config.ini" object, opened when needed. Borrowed: Retain it to keep it.
    IKVIniFile* GetIniFile();
    // Opens the project directory's "config.ini", or the asset root's before
    // a project is known. A missing file gives an empty configuration.
    int32_t Load();

    // Test seam: the file layer to use instead of the core's.
    void SetFileInterface(IKVFile* file) { m_file = file; }

private:
    IKVFile* FileInterface() const;
    void Forget();

    IKVIniFile* m_iniFile = nullptr;
    IKVFile* m_file = nullptr;
};

} // namespace kvl
