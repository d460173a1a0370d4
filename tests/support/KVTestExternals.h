#pragma once
// Unit externals for tests, and a host in place of the embeddable sprite
// (its 2D class is built later): the host keeps one external as the base
// unit does and, as the sprite does, also its pixel source.
//   KVTestEmbeddableUnit  made by class "Embeddable" once UseForEmbeddable
//                         ran
//   KVTestExternal        answers IKVUnitExternal and IKVUnitSpriteExternal,
//                         has the attributes "Speed" and "UnitNotify" and
//                         the script method "Fire" (raises "OnFire"), and
//                         writes what it is asked into the core host's
//                         records as "ext:What"
//   KVTestUpdateExternal  overrides Update only
#include <cstdint>
#include <string>
#include <vector>

#include "media/KVExternalType.h"
#include "units/IKVUnitExternal.h"
#include "units/IKVUnitSpriteExternal.h"
#include "units/KVUnit.h"

namespace kvtest {

class KVTestEmbeddableUnit : public kvl::KVUnit {
public:
    static kvl::KVUnit* Create() { return new KVTestEmbeddableUnit; }
    // Class "Embeddable" makes these units from now on (and the classes
    // registered under it afterwards).
    static void UseForEmbeddable();

    // The base's, then the external's pixel source is kept.
    void AttachHandler() override;
    kvl::IKVUnitSpriteExternal* GetPixelSource() const { return m_pixelSource; }

private:
    kvl::IKVUnitSpriteExternal* m_pixelSource = nullptr;
};

class KVTestExternal : public kvl::KVRefCounted<kvl::IKVExternal>,
                       public kvl::IKVUnitExternal,
                       public kvl::IKVUnitSpriteExternal {
public:
    static constexpr uint64_t kSpeedId = 0x7E5700E1ull;
    static constexpr uint64_t kUnitNotifyId = 0x7E5700E2ull;

    static kvl::IKVExternal* Create() { return new KVTestExternal; }
    // The type "TestVideo" (or another name and id) as a module would
    // register it.
    static kvl::KVExternalType Type(const char* className = "TestVideo", uint64_t classId = 0x7E5700E0ull);
    // Externals alive and released to 0 so far.
    static int32_t& Live();

    // IKVUnitExternal and IKVUnitSpriteExternal; any other id is asked of
    // the host when askHost is set.
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Attach(kvl::IKVUnit* host) override;
    int32_t Detach() override;
    int32_t Play() override { return Note("Play"); }
    int32_t Pause() override { return Note("Pause"); }
    int32_t Stop() override { return Note("Stop"); }
    int32_t Update(float dt) override;
    int32_t SuppressDraw(uint8_t* out) override;
    int32_t StopIfSet(int32_t flag) override;
    uint32_t GetPixelColor(int32_t x, int32_t y) override;

    // Raises an event as external types do ("UnitNotify", else the host).
    void Raise(const char* event);

    kvl::IKVUnit* Host() const { return m_host; }
    kvl::IKVUnitRef* UnitNotify() const { return m_unitNotify; }
    float speed = 0.0f;
    bool askHost = false;
    bool suppress = false;
    uint32_t color = 0;

private:
    KVTestExternal() { ++Live(); }
    ~KVTestExternal() override;
    int32_t Note(const std::string& what);

    kvl::IKVUnit* m_host = nullptr;
    kvl::IKVUnitRef* m_unitNotify = nullptr;
};

class KVTestUpdateExternal : public kvl::KVRefCounted<kvl::IKVExternal>, public kvl::IKVUnitExternal {
public:
    static kvl::IKVExternal* Create() { return new KVTestUpdateExternal; }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Attach(kvl::IKVUnit*) override { return kvl::KV_OK; }
    int32_t Detach() override { return kvl::KV_OK; }
    int32_t Update(float dt) override {
        updates.push_back(dt);
        return kvl::KV_OK;
    }
    std::vector<float> updates;

private:
    ~KVTestUpdateExternal() override = default;
};

} // namespace kvtest
