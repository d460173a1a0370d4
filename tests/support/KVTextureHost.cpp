#include "KVTextureHost.h"

#include "graphics/IKVImageReader.h"
#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "graphics/KVTexturePak.h"
#include "kernel/KVPath.h"
#include "kernel/KVResources.h"

namespace kvtest {

KVTextureHost::KVTextureHost(kvl::IKVGraphicDevice2D* device, const std::string& root)
    : m_previousRoot(kvl::GetProjectDirectory()), m_root(root) {
    kvl::SetProjectDirectory(root);
    m_resources = std::make_unique<kvl::KVResources>();
    m_resources->SetFileInterface(&m_images.Files());
    m_resources->RegisterReader(m_images.Png());
    m_resources->RegisterReader(m_images.Jpeg());
    m_images.SetResourceManager(m_resources.get());
    m_graphic = std::make_unique<kvl::KVGraphic>();
    m_graphic->Init(0);
    m_graphic->SetDevice(device);
    Paks().SetFileInterface(&m_images.Files());
}

KVTextureHost::~KVTextureHost() {
    // Pages go before the manager they leave.
    m_graphic.reset();
    m_resources.reset();
    kvl::SetProjectDirectory(m_previousRoot);
}

kvl::KVTexturePak& KVTextureHost::Paks() { return *kvl::KVTexturePak::Instance(); }

void KVTextureHost::SetFile(const std::string& relative, const std::string& bytes) {
    m_images.SetFile(Path(relative), bytes);
}

void KVTextureHost::LoadPaks(const std::string& descriptor) {
    SetFile("sprpaks/paks.desc", descriptor);
    Paks().LoadDescriptor();
}

kvl::KVResourceTexture* KVTextureHost::Load(const std::string& relative, uint32_t flags, int32_t* status) {
    kvl::IKVResourceTexture* texture = nullptr;
    const int32_t result = m_graphic->CreateTextureFromFile(Path(relative).c_str(), nullptr, &texture, flags);
    if (status) *status = result;
    return static_cast<kvl::KVResourceTexture*>(texture);
}

} // namespace kvtest
