#pragma once
// What a Theora movie needs of whoever shows it: a planar Y'CbCr surface of
// the frame's size that takes each shown frame, and a buffer sound fed by the
// movie's GetSamples whose playback position times the video.
#include <cstdint>

namespace kvl {

// One decoded frame: the encoded planes with their sizes and strides (the
// chroma planes at half, or at full, width and height, as the stream's
// layout has them), and the picture region within them that is shown (the
// rest is the encoder's padding); valid until the next frame is decoded.
struct KVTheoraFrame {
    const uint8_t* y = nullptr;
    const uint8_t* cb = nullptr;
    const uint8_t* cr = nullptr;
    int32_t lumaStride = 0;
    int32_t chromaStride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t chromaWidth = 0;
    uint32_t chromaHeight = 0;
    uint32_t pictureX = 0;
    uint32_t pictureY = 0;
    uint32_t pictureWidth = 0;
    uint32_t pictureHeight = 0;
};

class IKVTheoraHost {
public:
    // An own surface of the picture's width x height, sized to it, in planar
    // Y'CbCr; 0 when made.
    virtual int32_t CreateFrameSurface(uint32_t width, uint32_t height) = 0;
    virtual void ShowFrame(const KVTheoraFrame& frame) = 0;
    virtual void ReleaseFrameSurface() = 0;
    // A buffer sound of one second at this rate and channel count that pulls
    // its samples from the movie; false when none could be made.
    virtual bool CreateSound(uint32_t rate, uint32_t channels) = 0;
    virtual void ReleaseSound() = 0;
    // The sound's playback position in bytes, and a move of it.
    virtual uint32_t GetSoundPosition() = 0;
    virtual void AdvanceSoundPosition(int32_t bytes) = 0;

protected:
    ~IKVTheoraHost() = default;
};

} // namespace kvl
