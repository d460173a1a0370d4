#include "KVMovieUnitRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "kernel/KVModules.h"
#include "media/KVSoundManager.h"
#include "media/KVTheoraInterface.h"
#include "media/KVVSPRInterface.h"

namespace kvtest {

using namespace kvl;

namespace {

KVSpriteRig::Options MovieScreen() {
    KVSpriteRig::Options options;
    options.screen = true;
    options.width = KVMovieUnitRig::kWidth;
    options.height = KVMovieUnitRig::kHeight;
    return options;
}

// Start-up registers the modules before the project's phases; the project
// runs already, so their phase 3 runs now.
template <class Module>
void RegisterType(KVModuleCreator creator) {
    if (KVModules* modules = KVModules::Instance()) modules->RegisterModule(creator);
    if (Module* module = Module::Instance()) module->Init(3);
}

} // namespace

const std::vector<std::string>& KVMovieUnitRig::Events() {
    static const std::vector<std::string> events{"OnVideoStart",       "OnVideoEnd", "OnVideoSpriteStart",
                                                 "OnVideoSpriteEnd", "OnError"};
    return events;
}

KVMovieUnitRig::KVMovieUnitRig(IKVSoundDevice* device) : KVSpriteRig(MovieScreen()) {
    if (KVSoundManager* manager = KVSoundManager::Instance()) manager->SetSoundDevice(device ? device : &m_fake);
    RegisterType<KVTheoraInterface>(&CreateTheoraInterface);
    RegisterType<KVVSPRInterface>(&CreateVSPRInterface);
}

KVMovieUnitRig::~KVMovieUnitRig() = default;

void KVMovieUnitRig::WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes) {
    Host().Dir().WriteFile("assets/" + relative, std::string(bytes.begin(), bytes.end()));
}

KVUnitSprite* KVMovieUnitRig::Unit(const char* className, const char* name) {
    return Make<KVUnitSprite>(className, name, Events());
}

uint32_t RgbOfYCbCr(uint8_t y, uint8_t cb, uint8_t cr) {
    const double l = 1.164 * (y - 16);
    auto channel = [](double v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
    const uint32_t r = channel(l + 1.596 * (cr - 128));
    const uint32_t g = channel(l - 0.813 * (cr - 128) - 0.391 * (cb - 128));
    const uint32_t b = channel(l + 2.018 * (cb - 128));
    return 0xFF000000u | r << 16 | g << 8 | b;
}

bool NearColour(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

} // namespace kvtest
