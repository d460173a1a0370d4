#include "KVUnitSprite.h"

#include <algorithm>
#include <cstring>

#include "../graphics/KVResourceTexture.h"
#include "../kernel/KVResources.h"
#include "../units/IKVExternal.h"
#include "../units/KVSerialize.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

namespace {

// Scene files of these versions stored the colour's transparency, not its
// opacity.
constexpr uint32_t kFirstTransparencyVersion = 0x10003;
constexpr uint32_t kLastTransparencyVersion = 0x10004;

// Creation flags of an own texture: a render-target texture, or a plain one.
constexpr uint32_t kRenderTextureFlags = 4;
constexpr uint32_t kPlainTextureFlags = 2;

} // namespace

int32_t KVUnitSprite::s_classIndex = -1;

KVUnitSprite::~KVUnitSprite() {
    // A unit deleted without closing still lets go of its textures.
    ReleaseFrames();
}

KVUnitSprite* KVUnitSprite::FromUnit(IKVUnit* unit) {
    // A class registered under "Sprite" may make units of another kind.
    return unit ? dynamic_cast<KVUnitSprite*>(unit->GetUnit()) : nullptr;
}

int32_t KVUnitSprite::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitSprite) return AnswerInterface(static_cast<IKVUnitSprite*>(this), out);
    return KVUnitDisplay2D::QueryInterface(id, out);
}

void KVUnitSprite::Init() {
    KVUnitDisplay2D::Init();
    m_onScreenStale = true;
    m_color = 0xFFFFFFFFu;
    SetDrawable(true);
    m_alphaTest = false;
    m_frame = 0;
    m_frameCount = 0;
    m_alphaTestThreshold = 0;
    m_opaque = false;
    m_ownTexture = false;
    m_renderTexture = false;
    m_spriteSource = nullptr;
    m_snapshot = false;
}

void KVUnitSprite::ReleaseFrames() {
    std::vector<IKVResourceTexture*> frames;
    frames.swap(m_frames);
    m_ownTexture = false;
    for (IKVResourceTexture* texture : frames)
        if (texture) texture->Release();
}

void KVUnitSprite::Close() {
    ReleaseFrames();
    m_frameCount = 0;
    ReleaseOwnTexture();
    m_snapshot = false;
    KVUnitDisplay2D::Close();
}

void KVUnitSprite::ResetState() {
    KVUnitDisplay2D::ResetState();
    m_frame = 0;
}

void KVUnitSprite::AttachHandler() {
    KVUnitDisplay2D::AttachHandler();
    m_spriteSource = nullptr;
    auto* external = static_cast<IKVExternal*>(GetExtraData());
    void* found = nullptr;
    if (external && external->QueryInterface(IID_IKVUnitSpriteExternal, &found) == KV_OK)
        m_spriteSource = static_cast<IKVUnitSpriteExternal*>(found);
}

int32_t KVUnitSprite::Load() {
    m_color = 0xFFFFFFFFu;
    const int32_t result = KVUnitDisplay2D::Load();
    if (result != KV_OK) return result;
    KVSerialize* serializer = KVSerialize::Instance();
    const uint32_t version = serializer ? serializer->GetFileVersion() : 0;
    if (version >= kFirstTransparencyVersion && version <= kLastTransparencyVersion)
        m_color = (m_color & 0x00FFFFFFu) | ((255u - (m_color >> 24)) << 24);
    return KV_OK;
}

void KVUnitSprite::OnResize() {
    // The on-screen class depends on the size as much as on the place.
    m_onScreenStale = true;
    KVUnitDisplay2D::OnResize();
}

void KVUnitSprite::UpdateTransform(int32_t value) {
    m_onScreenStale = true;
    KVUnitDisplay2D::UpdateTransform(value);
}

void KVUnitSprite::LoadImages() {
    const uint32_t load = ++m_loads;
    ReleaseFrames();
    m_frameCount = 0;
    ReleaseOwnTexture();
    if (!IsEnabled() || m_image.size() <= 2) return;
    IKVGraphic* graphic = GetGraphicModule();
    KVResources* resources = KVResources::Instance();
    KVSerialize* serializer = KVSerialize::Instance();
    if (resources) resources->SetCurrentUnit(GetIndex());
    std::vector<std::string> paths;
    if (serializer) {
        serializer->SplitList(m_image, &paths);
    } else {
        paths.push_back(m_image);
    }
    const uint32_t flags = m_alphaTest ? KVTEXTURE_ALPHA_MASK : 0;
    KVUnitWatch watch(this);
    for (const std::string& path : paths) {
        std::string full = path;
        if (serializer) serializer->MakeAbsolutePath(path, &full);
        IKVResourceTexture* texture = nullptr;
        if (!graphic || graphic->CreateTextureFromFile(full.c_str(), nullptr, &texture, flags) != KV_OK || !texture) {
            RaiseError(0);
            // The error event may have let the unit go or loaded it anew.
            if (!watch.Alive()) break;
            if (m_loads != load) return;
            continue;
        }
        m_frames.push_back(texture);
        ++m_frameCount;
        const int32_t* size = texture->GetImageSize();
        SetDimension(size[0], size[1]);
        m_onScreenStale = true;
    }
    if (resources) resources->SetCurrentUnit(-1);
}

void KVUnitSprite::SizeToFrame() {
    if (!IsEnabled() || m_ownTexture || m_frame >= m_frameCount || m_frame >= m_frames.size()) return;
    const int32_t* size = m_frames[m_frame]->GetImageSize();
    SetDimension(size[0], size[1]);
}

int32_t KVUnitSprite::SetFrame(uint32_t index) {
    m_frame = index;
    SizeToFrame();
    return KV_OK;
}

int32_t KVUnitSprite::SetImage(const std::string& image) {
    m_image = image;
    LoadImages();
    return KV_OK;
}

int32_t KVUnitSprite::SetScale(const KV2DTempl<float>* scale) {
    if (scale) m_scale = *scale;
    UpdateTransform(0);
    return KV_OK;
}

int32_t KVUnitSprite::CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, int32_t pitch) {
    IKVResourceTexture* texture = GetCurrentTexture();
    return texture ? texture->CopyPixels(rect, planes, pitch) : KV_FAILED;
}

int32_t KVUnitSprite::Lock(uint32_t unused, void** data, int32_t* pitch) {
    (void)unused;
    IKVResourceTexture* texture = GetCurrentTexture();
    uint32_t flag = 0;
    return texture ? texture->Lock(nullptr, data, pitch, &flag) : KV_FAILED;
}

int32_t KVUnitSprite::Unlock() {
    IKVResourceTexture* texture = GetCurrentTexture();
    return texture ? texture->Unlock() : KV_FAILED;
}

int32_t KVUnitSprite::FillOwnTexture(uint32_t value) {
    if (!m_ownTexture) return KV_FAILED;
    IKVTexture* texture = m_frames[0]->GetDeviceTexture();
    void* raw = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    if (!texture) return KV_FAILED;
    const int32_t status = texture->Lock(nullptr, &raw, &pitch, &flag);
    if (status != KV_OK) return status;
    // Only the pixels the texture has: the Dimension may be larger than a
    // texture made without taking it.
    const KVDeviceSize size = *texture->GetSize();
    const int32_t bytes = texture->GetBitsPerPixel() / 8;
    const int32_t columns = std::min({m_dimension.x, size.width, bytes > 0 ? pitch / bytes : 0});
    const int32_t rows = std::min(m_dimension.y, size.height);
    auto* data = static_cast<uint8_t*>(raw);
    if (data && (bytes == 4 || bytes == 2)) {
        const uint16_t half = uint16_t(value);
        const void* pixel = bytes == 4 ? static_cast<const void*>(&value) : static_cast<const void*>(&half);
        for (int32_t y = 0; y < rows; ++y) {
            uint8_t* line = data + size_t(y) * size_t(pitch);
            for (int32_t x = 0; x < columns; ++x) std::memcpy(line + size_t(x) * size_t(bytes), pixel, size_t(bytes));
        }
    }
    return texture->Unlock();
}

int32_t KVUnitSprite::SetDrawPasses(const KVDrawPass* passes, uint32_t count) {
    m_passes.assign(passes ? count : 0, KVDrawPass());
    if (passes) std::copy(passes, passes + count, m_passes.begin());
    return KV_OK;
}

int32_t KVUnitSprite::CreateOwnTexture(const KVDeviceSize* size, bool setDimension, uint32_t format) {
    if (!size) return KV_INVALID;
    const KV2DTempl<int32_t> wanted = {size->width, size->height};
    if (m_ownTexture && !OwnTextureDiffers(wanted)) return KV_OK;
    ReleaseOwnTexture();
    if (setDimension) SetDimension(size->width, size->height);
    if (size->width <= 0 || size->height <= 0) return KV_INVALID;
    // The own texture takes the place of every file frame.
    ReleaseFrames();
    IKVGraphic* graphic = GetGraphicModule();
    IKVResourceTexture* texture = nullptr;
    const int32_t status =
        graphic ? graphic->CreateTexture(*size, format, &texture, m_renderTexture ? kRenderTextureFlags
                                                                                  : kPlainTextureFlags)
                : KV_FAILED;
    if (status != KV_OK || !texture) return status != KV_OK ? status : KV_FAILED;
    // A texture made in memory has no picture size of its own; the sprite
    // compares and sizes itself by it.
    if (auto* resource = dynamic_cast<KVResourceTexture*>(texture)) resource->SetGameSize(size->width, size->height);
    m_frames.push_back(texture);
    m_ownTexture = true;
    m_onScreenStale = true;
    return KV_OK;
}

int32_t KVUnitSprite::ReleaseOwnTexture() {
    if (m_ownTexture) {
        IKVResourceTexture* texture = m_frames[0];
        m_frames.clear();
        m_ownTexture = false;
        if (texture) texture->Release();
    }
    m_ownTexture = false;
    return KV_OK;
}

bool KVUnitSprite::TakeOwnTextureLost() { return m_ownTexture && m_frames[0]->TakeLostFlag() != 0; }

uint32_t KVUnitSprite::GetImageFrameCount() {
    IKVResourceTexture* texture = GetCurrentTexture();
    return texture ? uint32_t(std::max(texture->GetFrameCount(), 0)) : 0u;
}

int32_t KVUnitSprite::CreateOwnTextureOfDimension() {
    const KVDeviceSize size = {m_dimension.x, m_dimension.y};
    return CreateOwnTexture(&size, false, KVTEXFMT_BGRA);
}

bool KVUnitSprite::OwnTextureDiffers(const KV2DTempl<int32_t>& size) {
    if (!m_ownTexture) return true;
    const int32_t* own = m_frames[0]->GetImageSize();
    return own[0] != size.x || own[1] != size.y;
}

int32_t KVUnitSprite::ClearOwnTexture() { return m_ownTexture ? m_frames[0]->ClearPixels() : KV_FAILED; }

} // namespace kvl
