#include "KVGraphic.h"

#include "../KVLua/KVLua.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVResources.h"
#include "KVResourceTexture.h"
#include "KVResourceTextureProducer.h"
#include "KVTexturePak.h"

namespace kvl {

IKVResourceManager* KVGraphic::ResourceManager() {
    if (auto* manager = QueryCoreInterface<IKVResourceManager>(IID_IKVResourceManager)) return manager;
    return KVResources::Instance();
}

KVGraphic::~KVGraphic() {
    if (m_ownsTextureModules) EndTextureModules();
}

int32_t KVGraphic::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVGraphic) return AnswerInterface(static_cast<IKVGraphic*>(this), out);
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
    } else if (phase == 2) {
        auto* device = QueryCoreInterface<IKVGraphicDevice2D>(IID_IKVGraphicDevice2D);
        if (!device) return KV_OK;
        SetDevice(device);
        if (KVTexturePak* paks = KVTexturePak::Instance()) paks->LoadDescriptor();
    }
    return KV_OK;
}

int32_t KVGraphic::Release(int32_t phase) {
    if (phase == 4) EndTextureModules();
    return KV_OK;
}

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

// --- stages and recorded drawing ------------------------------------------------

int32_t KVGraphic::SetTextureStage(int32_t stage, IKVResourceTexture* texture) {
    journal.push_back({"SetTextureStage", {double(stage)}, texture ? texture->GetName() : ""});
    if (stage >= 0 && stage < kStageCount) m_stages[stage] = texture;
    return KV_OK;
}

void KVGraphic::DetachTexture(IKVResourceTexture* texture) {
    if (!texture) return;
    for (IKVResourceTexture*& stage : m_stages)
        if (stage == texture) stage = nullptr;
}

void KVGraphic::ForgetTextureStages() {
    for (IKVResourceTexture*& stage : m_stages) stage = nullptr;
    ++m_forgetTextureStagesCalls;
}

int32_t KVGraphic::SetDrawState(const KVDrawState& state, bool flag) {
    journal.push_back({"SetDrawState",
                       {double(state.blend), double(state.optionA), double(state.optionB), double(state.wordOption),
                        double(state.alphaThreshold), state.pixelShader ? 1.0 : 0.0, double(state.textureFlag),
                        flag ? 1.0 : 0.0},
                       ""});
    return KV_OK;
}

int32_t KVGraphic::DrawImage(const KVImageDraw& image) {
    journal.push_back({"DrawImage",
                       {image.x, image.y, image.sourceLeft, image.sourceTop, image.sourceRight, image.sourceBottom,
                        double(image.color)},
                       ""});
    return KV_OK;
}

int32_t KVGraphic::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, const uint32_t* colors,
                            int32_t count, int32_t flags) {
    journal.push_back({"FillRect",
                       {double(left), double(top), double(right), double(bottom), colors ? double(colors[0]) : 0.0,
                        double(count), double(flags)},
                       ""});
    return KV_OK;
}

void KVGraphic::Set2DTransform(const float* scale, const float* offset) {
    if (scale) {
        m_scale2D[0] = scale[0];
        m_scale2D[1] = scale[1];
    }
    journal.push_back({"Set2DTransform",
                       {m_scale2D[0], m_scale2D[1], offset ? offset[0] : 0.0, offset ? offset[1] : 0.0},
                       offset ? "" : "no offset"});
}

} // namespace kvl
