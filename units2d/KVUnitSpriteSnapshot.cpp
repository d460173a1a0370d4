// A sprite's pictures leaving or entering through pixels: the screen copied
// into its own texture ("TakeSnapshot") and its current picture handed to
// the image writer ("Save").
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "../graphics/IKVImageUtils.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "IKVImageWriter.h"
#include "KVUnitSprite.h"

namespace kvl {

namespace {

// A scaled side as a whole number of pixels; 0 for one that is no number
// or does not fit.
int32_t ScaledSide(int32_t side, float scale) {
    const double value = 0.5 + double(side) * double(scale);
    if (!std::isfinite(value) || value < 1.0 || value > double(INT32_MAX)) return 0;
    return int32_t(value);
}

void LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteString(text, KVLOG_ERROR, 0);
}

} // namespace

void KVUnitSprite::TakeSnapshot(int32_t argumentCount, const int32_t* bounds, const float* scale) {
    auto* device = QueryCoreInterface<IKVGraphicDevice>(IID_IKVGraphicDevice);
    const KVDisplayMode* mode = device ? device->GetScreenSize() : nullptr;
    if (!mode || mode->width <= 0 || mode->height <= 0) return;
    const int32_t w = mode->width, h = mode->height;
    KVDeviceRect r = {argumentCount >= 1 ? bounds[0] : 0, 0, w, h};
    if (argumentCount >= 2) r.right = bounds[1];
    if (argumentCount >= 3) r.top = bounds[2];
    if (argumentCount >= 4) r.bottom = bounds[3];
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, w);
    r.bottom = std::min(r.bottom, h);
    // An empty or inverted rectangle holds no picture: the sprite stays.
    if (r.left >= r.right || r.top >= r.bottom) return;
    const int32_t width = r.right - r.left, height = r.bottom - r.top;
    const bool scaled = argumentCount >= 5 && (scale[0] != 1.0f || scale[1] != 1.0f);
    KVDeviceSize size = {width, height};
    if (scaled) {
        size = {ScaledSide(width, scale[0]), ScaledSide(height, scale[1])};
        // A size the device cannot hold in one texture is refused before
        // anything is allocated for it.
        KVDeviceSize largest = {0, 0};
        IKVGraphic* graphic = GetGraphicModule();
        IKVGraphicDevice2D* device2D = graphic ? graphic->GetDevice2D() : nullptr;
        if (!device2D || device2D->GetMaxTextureSize(&largest) != KV_OK) return;
        if (size.width <= 0 || size.height <= 0 || size.width > largest.width || size.height > largest.height)
            return;
    }

    std::vector<uint32_t> screen(size_t(w) * size_t(h));
    if (device->ReadScreenPixels(screen.data(), 1) != KV_OK) return;

    ReleaseFrames();
    ReleaseOwnTexture();
    m_snapshot = false;

    std::vector<uint32_t> cut;
    const uint32_t* picture = screen.data();
    if (width != w || height != h) {
        cut.resize(size_t(width) * size_t(height));
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(&cut[size_t(y) * size_t(width)], &screen[size_t(r.top + y) * size_t(w) + size_t(r.left)],
                        size_t(width) * 4);
        picture = cut.data();
    }
    std::vector<uint32_t> resampled;
    if (scaled && (size.width != width || size.height != height)) {
        auto* utils = QueryCoreInterface<IKVImageUtils>(IID_IKVImageUtils);
        if (utils) {
            resampled.resize(size_t(size.width) * size_t(size.height));
            const KVImage source = {const_cast<uint32_t*>(picture), uint32_t(width), uint32_t(height),
                                    uint32_t(width)};
            const KVImage destination = {resampled.data(), uint32_t(size.width), uint32_t(size.height),
                                         uint32_t(size.width)};
            utils->Downscale(source, destination);
            picture = resampled.data();
        } else {
            size = {width, height};
        }
    }

    if (CreateOwnTexture(&size, true, KVTEXFMT_BGRA) == KV_OK) {
        void* raw = nullptr;
        int32_t pitch = 0;
        if (Lock(0, &raw, &pitch) == KV_OK && raw) {
            const size_t row = size_t(size.width) * 4;
            if (size_t(pitch) >= row) {
                for (int32_t y = 0; y < size.height; ++y)
                    std::memcpy(static_cast<uint8_t*>(raw) + size_t(y) * size_t(pitch),
                                picture + size_t(y) * size_t(size.width), row);
            }
            Unlock();
        }
    }
    m_snapshot = true;
}

bool KVUnitSprite::Save(const char* path) {
    // Asked first: without a writer there is nothing to lock the picture
    // for.
    auto* writer = QueryCoreInterface<IKVImageWriter>(IID_IKVImageWriter);
    if (!writer) {
        LogError(Format("Unable to save {0}: no image writer", path));
        return false;
    }
    IKVResourceTexture* texture = GetCurrentTexture();
    if (!texture) {
        LogError(Format("Unable to save {0}: the sprite has no picture", path));
        return false;
    }
    // The picture's own pixels: what a lock of the whole texture covers.
    KV2DTempl<int32_t> size = {0, 0};
    for (int32_t i = 0; i < texture->GetFrameCount(); ++i) {
        if (const KVTextureFrame* frame = texture->GetFrame(i)) {
            size.x = std::max(size.x, SaturatingAdd(frame->x, frame->width));
            size.y = std::max(size.y, SaturatingAdd(frame->y, frame->height));
        }
    }
    void* raw = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    if (size.x <= 0 || size.y <= 0 || texture->Lock(nullptr, &raw, &pitch, &flag) != KV_OK || !raw) {
        LogError(Format("Unable to save {0}: the picture cannot be locked", path));
        return false;
    }
    const size_t row = size_t(size.x) * 4;
    if (pitch <= 0 || size_t(pitch) < row) {
        texture->Unlock();
        LogError(Format("Unable to save {0}: the picture is not 32-bit", path));
        return false;
    }
    std::vector<uint32_t> pixels(size_t(size.x) * size_t(size.y));
    for (int32_t y = 0; y < size.y; ++y)
        std::memcpy(&pixels[size_t(y) * size_t(size.x)], static_cast<uint8_t*>(raw) + size_t(y) * size_t(pitch), row);
    texture->Unlock();
    return writer->WriteImage(path, &size, pixels.data()) == KV_OK;
}

} // namespace kvl
