#include "KVGLInterface.h"

#include "../kernel/IKVProperties.h"
#include "../kernel/IKVThreadFactory.h"
#include "KVGLwebOSRender.h"

namespace kvl {
namespace {

constexpr uint64_t kAutoOrientationId = 0x0066d4137fb9cb40ull;
constexpr uint64_t kForceOpenGL1Id = 0x005efe8a1bb5b51cull;

template <class T>
T* Ask(IKVUnknown* host, const KVInterfaceId& id) {
    void* out = nullptr;
    if (!host || host->QueryInterface(id, &out) != KV_OK) return nullptr;
    return static_cast<T*>(out);
}

} // namespace

KVGLInterface::KVGLInterface() = default;

KVGLInterface::~KVGLInterface() {
    EndDevice();
    if (m_section) m_section->Release();
}

int32_t KVGLInterface::QueryInterface(const KVInterfaceId& id, void** out) {
    if (m_device) {
        if (id == IID_IKVGraphicDevice) return AnswerInterface(static_cast<IKVGraphicDevice*>(m_device), out);
        if (id == IID_IKVGraphicDevice2D) return AnswerInterface(static_cast<IKVGraphicDevice2D*>(m_device), out);
        if (id == IID_IKVGraphicDevice3D) return AnswerInterface(static_cast<IKVGraphicDevice3D*>(m_device), out);
    }
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

KVGLRender* KVGLInterface::MakeDevice(int32_t version) {
    if (version != 2) return nullptr;
    KVGLRender* device = new KVGLwebOSRender(m_section);
    if (device->InitDevice() != 0) {
        device->ShutdownDevice();
        delete device;
        return nullptr;
    }
    return device;
}

void KVGLInterface::EndDevice() {
    if (!m_device) return;
    m_device->ShutdownDevice();
    delete m_device;
    m_device = nullptr;
}

int32_t KVGLInterface::Init(int32_t phase) {
    switch (phase) {
    case 0:
        m_autoOrientation = true;
        m_forceOpenGL1 = false;
        break;
    case 1:
        if (!m_section) {
            if (IKVThreadFactory* threads = Ask<IKVThreadFactory>(m_core, IID_IKVThreadFactory))
                m_section = threads->CreateCriticalSection();
        }
        if (!m_device) {
            m_device = MakeDevice(m_forceOpenGL1 ? 1 : 2);
            if (!m_device && !m_forceOpenGL1) m_device = MakeDevice(1);
        }
        break;
    case 2:
        if (IKVProperties* properties = Ask<IKVProperties>(m_core, IID_IKVProperties)) {
            properties->DeclareProperty(DescribeProperty(&m_autoOrientation, PROPERTY_BOOLEAN, "AutoOrientation",
                                                         "AutoOrientation", "Viewport", kAutoOrientationId));
            properties->DeclareProperty(DescribeProperty(&m_forceOpenGL1, PROPERTY_BOOLEAN, "ForceOpenGL1",
                                                         "ForceOpenGL1", "Viewport", kForceOpenGL1Id));
        }
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVGLInterface::Release(int32_t phase) {
    if (phase == 4) EndDevice();
    return KV_OK;
}

IKVModuleExt* CreateGLInterface(const KVModuleCreateInfo* info) {
    KVGLInterface* module = KVGLInterface::Instance();
    if (!module) module = new KVGLInterface();
    if (info) module->SetHost(info->core, info->reserved);
    return module;
}

} // namespace kvl
