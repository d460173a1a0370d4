#include "KVPlatformCreators.h"

#include "../graphics/KVJpeg.h"
#include "../graphics/KVPNGInterface.h"

namespace kvl {
namespace {
KVSDLInputHandler g_inputHandler = nullptr;
}

const std::vector<KVModuleCreator>& PlatformCreators() {
    static const std::vector<KVModuleCreator> creators = {
        nullptr,  // OpenGL ES graphic device
        nullptr,  // Theora movie unit type
        nullptr,  // 3D module
        nullptr,  // mouse-hover events
        nullptr,  // video sprites
        nullptr,  // SDL input device
        nullptr,  // SDL audio device
        nullptr,  // Ogg Vorbis sound reader
        &CreatePNGInterface,
        &CreateJpeg,
    };
    return creators;
}

KVSDLInputHandler GetSDLInputHandler() { return g_inputHandler; }
void SetSDLInputHandler(KVSDLInputHandler handler) { g_inputHandler = handler; }

} // namespace kvl
