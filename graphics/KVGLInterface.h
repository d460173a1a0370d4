#pragma once
// The OpenGL ES device's extension module: makes the device in phase 1,
// declares its two project properties in phase 2 and hands the device out
// through QueryInterface while it exists.
#include "../kernel/IKVCriticalSection.h"
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVGLRender;

constexpr uint64_t KVGLINTERFACE_MODULE_ID = 0x0064947a6c3ba6f8ull;

class KVGLInterface : public Singleton<KVGLInterface>, public IKVModuleExt {
public:
    KVGLInterface();
    ~KVGLInterface() override;

    // The device's three interfaces while a device exists.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    uint64_t GetId() override { return KVGLINTERFACE_MODULE_ID; }
    int32_t GetPriority() override { return 1; }

    void SetHost(IKVUnknown* core, uint32_t second) {
        m_core = core;
        m_second = second;
    }
    KVGLRender* GetDevice() const { return m_device; }
    IKVCriticalSection* GetCriticalSection() const { return m_section; }
    bool GetForceOpenGL1() const { return m_forceOpenGL1; }
    bool GetAutoOrientation() const { return m_autoOrientation; }

private:
    // Only version 2 exists; any other request yields no device.
    KVGLRender* MakeDevice(int32_t version);
    void EndDevice();

    IKVUnknown* m_core = nullptr;
    uint32_t m_second = 0;
    bool m_forceOpenGL1 = false;
    bool m_autoOrientation = true;
    IKVCriticalSection* m_section = nullptr;
    KVGLRender* m_device = nullptr;
};

// The creator that start-up registers first: makes the module on the first
// call and gives it the host record on every call.
IKVModuleExt* CreateGLInterface(const KVModuleCreateInfo* info);

} // namespace kvl
