#include "KVGraphic.h"

#include "../KVLua/IKVLua.h"
#include "../KVLua/KVLua.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVProperties.h"
#include "../kernel/KVResources.h"
#include "../units/KVSceneManager.h"
#include "KVResourceTexture.h"
#include "KVResourceTextureProducer.h"
#include "KVTexturePak.h"

namespace kvl {

IKVResourceManager* KVGraphic::ResourceManager() {
    if (auto* manager = QueryCoreInterface<IKVResourceManager>(IID_IKVResourceManager)) return manager;
    return KVResources::Instance();
}

KVGraphic::KVGraphic() { graphicdetail::s_module = this; }

KVGraphic::~KVGraphic() {
    // Textures that go with the texture modules still find the module.
    if (m_ownsTextureModules) EndTextureModules();
    if (graphicdetail::s_module == static_cast<IKVGraphic*>(this)) graphicdetail::s_module = nullptr;
}

int32_t KVGraphic::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVGraphic) return AnswerInterface(static_cast<IKVGraphic*>(this), out);
    // The scene manager's view of the default viewport.
    if (id == IID_IKVGraphicViewport) return AnswerInterface(static_cast<IKVGraphicViewport*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVGraphic::Init(int32_t phase) {
    if (phase == 0) {
        if (!KVResourceTextureProducer::Instance()) {
            new KVResourceTextureProducer();
            m_ownsTextureModules = true;
        }
        if (!KVTexturePak::Instance()) {
            new KVTexturePak();
            m_ownsTextureModules = true;
        }
    } else if (phase == 1) {
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVGraphic", this);
    } else if (phase == 2) {
        auto* device = QueryCoreInterface<IKVGraphicDevice2D>(IID_IKVGraphicDevice2D);
        if (!device) return KV_OK;
        SetDevice(device);
        if (auto* device3D = QueryCoreInterface<IKVGraphicDevice3D>(IID_IKVGraphicDevice3D)) m_device3D = device3D;
        m_screenRect[0] = m_screenRect[1] = m_screenRect[2] = m_screenRect[3] = 0.0f;
        m_scale2D[0] = m_scale2D[1] = 1.0f;
        m_offset2D[0] = m_offset2D[1] = 0;
        m_forcePow2 = false;
        m_renderTarget = nullptr;
        m_gameWidth = m_gameHeight = 0;
        m_batch = false;
        DeclareProperties();
        Set2DTransform(m_scale2D, true);
        m_initialMode = *GetScreenMode();
        for (int32_t stage = 0; stage < kStageCount; ++stage) {
            m_stages[stage] = nullptr;
            m_stageResources[stage] = nullptr;
        }
        m_touchedStages = m_heldStages = 0;
        UpdateGameArea();
        ResetViewport();
        if (KVTexturePak* paks = KVTexturePak::Instance()) paks->LoadDescriptor();
    }
    return KV_OK;
}

int32_t KVGraphic::Release(int32_t phase) {
    if (phase == 1 && m_device) {
        const KVDisplayMode* now = m_device->GetScreenSize();
        const KVDisplayMode& was = m_initialMode;
        if (now && (now->width != was.width || now->height != was.height || now->drawingWidth != was.drawingWidth ||
                    now->drawingHeight != was.drawingHeight || now->antialiasing != was.antialiasing ||
                    now->fullscreen != was.fullscreen || now->vsync != was.vsync))
            m_device->SetDisplayMode(&m_initialMode);
        ResetViewport();
    } else if (phase == 4) {
        EndTextureModules();
        // The device module goes after this phase; textures that go later
        // must not reach it through the stages.
        ForgetTextureStages();
        m_renderTarget = nullptr;
        m_device = nullptr;
        m_device3D = nullptr;
    }
    return KV_OK;
}

void KVGraphic::DeclareProperties() {
    KVProperties* properties = KVProperties::Instance();
    if (!properties) return;
    auto declare = [&](void* target, int32_t type, const char* description, const char* key, uint64_t id) {
        PropertyDescriptor d = DescribeProperty(target, type, description, key, "Viewport", id);
        d.updater = this;
        properties->DeclareProperty(d);
    };
    declare(&m_scale2D[0], PROPERTY_FLOAT, "Scale2DX", "Scale2DX", kScale2DXId);
    declare(&m_scale2D[1], PROPERTY_FLOAT, "Scale2DY", "Scale2DY", kScale2DYId);
    declare(&m_forcePow2, PROPERTY_BOOLEAN, "Force only power of 2 textures", "ForcePow2", kForcePow2Id);
    declare(&m_gameWidth, PROPERTY_INTEGER, "GameWidth", "GameWidth", kGameWidthId);
    declare(&m_gameHeight, PROPERTY_INTEGER, "GameHeight", "GameHeight", kGameHeightId);
    m_propertiesDeclared = true;
}

void KVGraphic::OnPropertyChanged(PropertyRecord*) { Reapply2DTransform(); }

void KVGraphic::Reapply2DTransform() { Set2DTransform(m_scale2D, true); }

void KVGraphic::EndTextureModules() {
    if (KVTexturePak* paks = KVTexturePak::Instance()) {
        paks->UnloadAll();
        delete paks;
    }
    delete KVResourceTextureProducer::Instance();
    m_ownsTextureModules = false;
}

void KVGraphic::SetDevice(IKVGraphicDevice2D* device) {
    m_device = device;
    m_devicePow2 = device && (device->GetCaps() & KVDEVICE_CAP_POW2_TEXTURES) != 0;
    void* face = nullptr;
    m_device3D = device && device->QueryInterface(IID_IKVGraphicDevice3D, &face) == KV_OK
                     ? static_cast<IKVGraphicDevice3D*>(face)
                     : nullptr;
}

void KVGraphic::SetScreenSize(int32_t width, int32_t height) {
    m_noDeviceMode.width = m_noDeviceMode.drawingWidth = width;
    m_noDeviceMode.height = m_noDeviceMode.drawingHeight = height;
}

const KVDisplayMode* KVGraphic::GetScreenMode() {
    const KVDisplayMode* mode = m_device ? m_device->GetScreenSize() : nullptr;
    return mode ? mode : &m_noDeviceMode;
}

// --- viewport and display mode ------------------------------------------------

void KVGraphic::SetDefaultViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    m_defaultViewport[0] = x;
    m_defaultViewport[1] = y;
    m_defaultViewport[2] = width;
    m_defaultViewport[3] = height;
    // Edges as 32-bit sums, wrapping without overflow.
    m_viewportRect = {x, y, int32_t(uint32_t(x) + uint32_t(width)), int32_t(uint32_t(y) + uint32_t(height))};
    m_viewportFollows = false;
}

void KVGraphic::ResetViewport() {
    const KVDisplayMode* mode = GetScreenMode();
    SetDefaultViewport(0, 0, mode->width, mode->height);
    m_viewportFollows = true;
}

int32_t KVGraphic::ApplyDisplayMode(const KVDisplayMode& mode) {
    if (!m_device) return KV_FAILED;
    const int32_t status = m_device->SetDisplayMode(&mode);
    if (status != KV_OK) return status;
    if (m_viewportFollows) ResetViewport();
    if (KVSceneManager* scene = KVSceneManager::Instance()) scene->OnScreenChanged();
    return KV_OK;
}

// --- textures ----------------------------------------------------------------

int32_t KVGraphic::CreateTexture(const KVDeviceSize& size, uint32_t format, IKVResourceTexture** out,
                                 uint32_t flags) {
    if (out) *out = nullptr;
    if (!out || size.width < 0 || size.height < 0) return KV_FAILED;
    KVTextureDesc desc;
    desc.format = format;
    desc.width = uint32_t(size.width);
    desc.height = uint32_t(size.height);
    desc.flag0 = (flags & KVTEXTURE_FLAG0) ? 1 : 0;
    desc.flag1 = (flags & KVTEXTURE_FLAG1) ? 1 : 0;
    desc.flag2 = (flags & KVTEXTURE_CLEAR_FLAG2) ? 0 : 1;
    auto* texture = new KVResourceTexture();
    const int32_t status = texture->CreateResources(std::string(), desc, false);
    if (status != KV_OK) {
        texture->Release();
        return status;
    }
    if (IKVResourceManager* manager = ResourceManager()) manager->AddUnmanaged(texture);
    *out = texture;
    return KV_OK;
}

int32_t KVGraphic::LoadAttempt(const std::string& name, IKVResourceLoadContext* context, IKVResourceTexture** out) {
    *out = nullptr;
    IKVResourceManager* manager = ResourceManager();
    KVResourceTextureProducer* producer = KVResourceTextureProducer::Instance();
    if (!manager || !producer) return KV_FAILED;
    IKVResource* resource = nullptr;
    const int32_t status = manager->Load(name.c_str(), producer, context, &resource, KVRESOURCE_WATCH_FILE);
    if (status != KV_OK || !resource) return status != KV_OK ? status : KV_FAILED;
    // The manager hands back whatever it keeps under the name.
    void* texture = nullptr;
    if (resource->QueryInterface(IID_IKVResourceTexture, &texture) != KV_OK || !texture) {
        resource->Release();
        return KV_FAILED;
    }
    *out = static_cast<IKVResourceTexture*>(texture);
    return KV_OK;
}

int32_t KVGraphic::CreateTextureFromFile(const char* name, IKVResourceLoadContext* context, IKVResourceTexture** out,
                                         uint32_t flags) {
    if (out) *out = nullptr;
    if (!name || !out) return KV_FAILED;
    if (KVResourceTextureProducer* producer = KVResourceTextureProducer::Instance()) {
        KVTextureDesc pending;
        pending.flag2 = (flags & KVTEXTURE_CLEAR_FLAG2) ? 0 : 1;
        producer->SetPending(pending, (flags & KVTEXTURE_ALPHA_MASK) != 0);
    }
    const std::string plain = name;
    std::string variant;
    // Without candidates, or for names outside the data root (which no
    // resolution folder mirrors), the name is loaded as given.
    if ((flags & KVTEXTURE_NO_VARIANTS) || m_candidates.empty() || !MakeVariant(plain, 0, &variant)) {
        IKVResourceTexture* texture = nullptr;
        const int32_t status = LoadAttempt(plain, context, &texture);
        if (status != KV_OK) return status;
        static_cast<KVResourceTexture*>(texture)->SetResolutionIndex(-1);
        *out = texture;
        return KV_OK;
    }
    int32_t status = KV_FAILED;
    for (size_t k = 0; k < m_candidates.size(); ++k) {
        MakeVariant(plain, k, &variant);
        IKVResourceTexture* found = nullptr;
        status = LoadAttempt(variant, context, &found);
        if (status != KV_OK) continue;
        auto* texture = static_cast<KVResourceTexture*>(found);
        const int32_t index = m_candidates[k];
        const KVResourceResolution& set = m_resolutions[size_t(index)];
        texture->SetResolutionIndex(index);
        const KVTextureDesc& desc = texture->GetDescriptor();
        texture->SetGameSize(NumberToInt32(double(float(desc.width) / set.scaleX + 0.5f)),
                             NumberToInt32(double(float(desc.height) / set.scaleY + 0.5f)));
        *out = texture;
        return KV_OK;
    }
    return status;
}

} // namespace kvl
