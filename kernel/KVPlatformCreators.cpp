#include "KVPlatformCreators.h"

#include "KVSDLInputInterface.h"

namespace kvl {

// The creators live with their modules in later folders; only their
// signatures are known here.
IKVModuleExt* CreateGLInterface(const KVModuleCreateInfo* info);  // graphics/
IKVModuleExt* CreateAudio(const KVModuleCreateInfo* info);        // media/
IKVModuleExt* CreateOggReader(const KVModuleCreateInfo* info);    // media/
IKVModuleExt* CreatePNGInterface(const KVModuleCreateInfo* info);  // graphics/
IKVModuleExt* CreateJpeg(const KVModuleCreateInfo* info);          // graphics/
IKVModuleExt* Create3DInterface(const KVModuleCreateInfo* info);   // units3d/
IKVModuleExt* CreateMouseEventInterface(const KVModuleCreateInfo* info);  // units2d/
IKVModuleExt* CreateTheoraInterface(const KVModuleCreateInfo* info);  // media/
IKVModuleExt* CreateVSPRInterface(const KVModuleCreateInfo* info);    // media/

namespace {
KVSDLInputHandler g_inputHandler = nullptr;
}

const std::vector<KVModuleCreator>& PlatformCreators() {
    static const std::vector<KVModuleCreator> creators = {
        &CreateGLInterface,  // OpenGL ES graphic device
        &CreateTheoraInterface,  // Theora movie unit type
        &Create3DInterface,  // 3D module
        &CreateMouseEventInterface,  // mouse-hover events
        &CreateVSPRInterface,  // video sprites
        &CreateSDLInputInterface,  // SDL input device
        &CreateAudio,  // SDL audio device
        &CreateOggReader,  // Ogg Vorbis sound reader
        &CreatePNGInterface,  // PNG image reader
        &CreateJpeg,  // JPEG image reader
    };
    return creators;
}

KVSDLInputHandler GetSDLInputHandler() { return g_inputHandler; }
void SetSDLInputHandler(KVSDLInputHandler handler) { g_inputHandler = handler; }

} // namespace kvl
