#pragma once
// Engine configuration (placeholder until built).
#include <string>
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVConfig : public Singleton<KVConfig>, public IKVModule {
public:
    KVConfig() = default;
    ~KVConfig() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    int32_t GetInt(const std::string& section, const std::string& key) { (void)section; (void)key; return 0; }
    std::string GetString(const std::string& section, const std::string& key) { (void)section; (void)key; return ""; }
};

} // namespace kvl
