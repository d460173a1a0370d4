#pragma once
// Movie and video-sprite units ("Theora", "VideoSprite") in a whole core:
// the sprite rig on the engine's OpenGL ES device and a headless screen,
// the two external types registered as start-up's modules register them,
// the sound manager on a sound device (the fake one unless the test gives
// another), and files written under the asset root.
//
//     KVMovieUnitRig rig;
//     rig.WriteFile("m.ogg", bytes);
//     KVUnitSprite* movie = rig.Unit("Theora", "M");
//     rig.SetText(movie, KVTheora::kFileId, 0, "m.ogg");
//     rig.DrawFrame();
//     uint32_t pixel = rig.PixelAt(4, 4);
#include <cstdint>
#include <string>
#include <vector>

#include "KVFakeSoundDevice.h"
#include "KVSpriteRig.h"
#include "units2d/KVUnitSprite.h"

namespace kvtest {

class KVMovieUnitRig : public KVSpriteRig {
public:
    static constexpr int32_t kWidth = 64;
    static constexpr int32_t kHeight = 48;

    // The events the units' namespaces record.
    static const std::vector<std::string>& Events();

    explicit KVMovieUnitRig(kvl::IKVSoundDevice* device = nullptr);
    ~KVMovieUnitRig();

    KVFakeSoundDevice& Sound() { return m_fake; }
    void WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes);
    // A run-time unit of the class, named, recording Events().
    kvl::KVUnitSprite* Unit(const char* className, const char* name);
    // The unit's external object.
    template <class T>
    static T* External(kvl::KVUnit* unit) {
        return static_cast<T*>(static_cast<kvl::IKVExternal*>(unit->GetExtraData()));
    }

private:
    KVFakeSoundDevice m_fake;
};

// The 0xAARRGGBB colour a Y'CbCr sample shows as (video range).
uint32_t RgbOfYCbCr(uint8_t y, uint8_t cb, uint8_t cr);

// Whether each channel of two colours is within the tolerance.
bool NearColour(uint32_t a, uint32_t b, int tolerance);

} // namespace kvtest
