#include "KVResourceTexture.h"

#include <algorithm>
#include <climits>

#include "KVGraphic.h"

namespace kvl {
namespace {

IKVResourceManager* ResourceManager() { return KVGraphic::ResourceManager(); }

bool IsPowerOfTwo(int64_t size) { return size > 0 && (size & (size - 1)) == 0; }

// Tile sizes under the power-of-two rule: down to a power of two, at least
// 16, at most 32768.
int64_t TileSize(int64_t size) {
    if (size & 0x8000) return 32768;
    int64_t bit = 1;
    while (bit * 2 <= size) bit *= 2;
    return bit < 16 ? 16 : bit;
}

int64_t RoundUp16(int64_t size) { return (size + 15) / 16 * 16; }

} // namespace

KVResourceTexture::KVResourceTexture(std::string name) : m_name(std::move(name)) {}

KVResourceTexture::~KVResourceTexture() {
    if (KVGraphic* graphic = KVGraphic::Instance()) graphic->DetachTexture(this);
    ReleaseFrames();
    ClearPakFields();
}

int32_t KVResourceTexture::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVResourceTexture) return AnswerInterface(static_cast<IKVResourceTexture*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVResourceTexture::Release() {
    const int32_t left = --m_refCount;
    if (left == 0) {
        if (IKVResourceManager* manager = ResourceManager()) manager->Release(this);
        delete this;
    }
    return left;
}

int32_t KVResourceTexture::SetManagerIndex(int32_t index) {
    m_owner = index;
    return index;
}

void KVResourceTexture::ReleaseFrames() {
    for (KVTextureFrame& frame : m_frames)
        if (frame.texture) frame.texture->Release();
    m_frames.clear();
    m_mask.clear();
    m_maskPitch = 0;
}

void KVResourceTexture::ClearPakFields() {
    for (KVSubImage& sub : m_subImages)
        if (sub.page) sub.page->Release();
    m_subImages.clear();
    m_subImageIndex.clear();
    m_sheetSize[0] = m_sheetSize[1] = 0;
    m_hasRegion = false;
    m_region = {0, 0, 0, 0};
    m_drawOffset[0] = m_drawOffset[1] = 0;
}

int32_t KVResourceTexture::LockWhole(IKVTexture* texture, uint8_t** data, int32_t* pitch) {
    void* raw = nullptr;
    uint32_t flag = 0;
    if (!texture || texture->Lock(nullptr, &raw, pitch, &flag) != KV_OK || !raw || *pitch <= 0) return KV_FAILED;
    *data = static_cast<uint8_t*>(raw);
    return KV_OK;
}

int32_t KVResourceTexture::FreeData() {
    ReleaseFrames();
    return KV_OK;
}

int32_t KVResourceTexture::TakeLostFlag() {
    if (!m_lost) return 0;
    m_lost = false;
    return 1;
}

int32_t KVResourceTexture::Invalidate() {
    m_lost = true;
    ReleaseFrames();
    IKVGraphicDevice2D* device = KVGraphic::Instance() ? KVGraphic::Instance()->GetDevice2D() : nullptr;
    if (!device || !device->IsFormatSupported(m_desc.format)) return KV_FAILED;
    m_hasName = !m_name.empty();
    return CreateDeviceTextures(m_tiledOnly);
}

IKVTexture* KVResourceTexture::GetDeviceTexture() {
    if (IKVResourceManager* manager = ResourceManager()) manager->Touch(this);
    return PeekDeviceTexture();
}

IKVTexture* KVResourceTexture::GetDeviceTextureAt(int32_t index) {
    if (IKVResourceManager* manager = ResourceManager()) manager->Touch(this);
    const KVTextureFrame* frame = GetFrame(index);
    return frame ? frame->texture : nullptr;
}

IKVTexture* KVResourceTexture::PeekDeviceTexture() { return m_frames.empty() ? nullptr : m_frames[0].texture; }

int32_t KVResourceTexture::GetAlphaMask(const uint8_t** data, int32_t* pitch, const int32_t** size) {
    if (IKVResourceManager* manager = ResourceManager()) manager->Touch(this);
    if (data) *data = m_mask.empty() ? nullptr : m_mask.data();
    if (pitch) *pitch = m_mask.empty() ? 0 : m_maskPitch;
    if (size) *size = m_imageSize;
    return m_mask.empty() ? KV_NOT_FOUND : KV_OK;
}

int32_t KVResourceTexture::GetSubImageRect(int32_t number, const KVDeviceRect** rect) const {
    const KVSubImage* sub = GetSubImage(number);
    if (!sub) return 0;
    if (rect) *rect = &sub->rect;
    return 1;
}

const KVSubImage* KVResourceTexture::GetSubImage(int32_t number) const {
    if (number < 0 || size_t(number) >= m_subImageIndex.size()) return nullptr;
    const int32_t entry = m_subImageIndex[size_t(number)];
    if (entry < 0 || size_t(entry) >= m_subImages.size()) return nullptr;
    return &m_subImages[size_t(entry)];
}

void KVResourceTexture::GetResolutionScale(float scale[2]) const {
    scale[0] = scale[1] = 1.0f;
    if (KVGraphic* graphic = KVGraphic::Instance()) graphic->GetPixelScale(m_resolutionIndex, scale);
}

int32_t KVResourceTexture::CreateResources(const std::string& name, const KVTextureDesc& desc, bool tiledOnly) {
    ReleaseFrames();
    IKVGraphicDevice2D* device = KVGraphic::Instance() ? KVGraphic::Instance()->GetDevice2D() : nullptr;
    if (!device || !device->IsFormatSupported(desc.format)) return KV_FAILED;
    m_desc = desc;
    m_hasName = !name.empty();
    return CreateDeviceTextures(tiledOnly);
}

int32_t KVResourceTexture::CreateDeviceTextures(bool tiledOnly) {
    const int64_t w = m_desc.width;
    const int64_t h = m_desc.height;
    KVGraphic* graphic = KVGraphic::Instance();
    IKVGraphicDevice2D* device = graphic ? graphic->GetDevice2D() : nullptr;
    // A picture larger than the device can hold is refused whole, before
    // any device texture is made for it.
    if (w == 0 || h == 0 || !device || !FitsDevice(w, h)) return KV_FAILED;
    m_tiledOnly = tiledOnly;
    KVDeviceSize max = {0, 0};
    device->GetMaxTextureSize(&max);
    // A device that allows nothing would never finish a row.
    if (max.width <= 0 || max.height <= 0) return KV_FAILED;
    const bool rule = graphic->UsesPowerOfTwoRule();
    const bool fits = w <= max.width && h <= max.height;
    const bool valid = !rule || (IsPowerOfTwo(w) && IsPowerOfTwo(h));

    if (fits && valid) {
        if (tiledOnly) return KV_FAILED;
        m_desc.flag3 = 1;
        IKVTexture* texture = nullptr;
        const int32_t status = device->CreateTexture(&m_desc, &texture);
        if (status != KV_OK || !texture) {
            if (texture) texture->Release();
            m_frames.clear();
            return status != KV_OK ? status : KV_FAILED;
        }
        m_frames.push_back({0, 0, texture, int32_t(w), int32_t(h)});
        return KV_OK;
    }

    const int64_t width = rule ? RoundUp16(w) : w;
    const int64_t height = rule ? RoundUp16(h) : h;
    for (int64_t y = 0; y < height;) {
        int64_t th = std::min<int64_t>(height - y, max.height);
        if (rule) th = TileSize(th);
        for (int64_t x = 0; x < width;) {
            int64_t tw = std::min<int64_t>(width - x, max.width);
            if (rule) tw = TileSize(tw);
            KVTextureDesc tile = m_desc;
            tile.width = uint32_t(tw);
            tile.height = uint32_t(th);
            tile.flag3 = (x == 0 && y == 0) ? 1 : 0;
            IKVTexture* texture = nullptr;
            if (device->CreateTexture(&tile, &texture) != KV_OK || !texture) {
                if (texture) texture->Release();
                ReleaseFrames();
                return KV_FAILED;
            }
            m_frames.push_back({int32_t(x), int32_t(y), texture, int32_t(std::min(tw, w - x)),
                                int32_t(std::min(th, h - y))});
            x += tw;
        }
        y += th;
    }
    return KV_OK;
}

} // namespace kvl
