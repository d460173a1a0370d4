#pragma once
// The extension-module creators that start-up registers, and the SDL input
// device's event entry.
#include <vector>
#include "IKVModule.h"

union SDL_Event;

namespace kvl {

// In registration order: OpenGL ES device, Theora movie type, 3D module,
// mouse-hover events, video sprites, SDL input device, SDL audio device,
// Ogg sound reader, PNG reader, JPEG reader. A subsystem that is not built
// yet has a null creator, which registers nothing.
const std::vector<KVModuleCreator>& PlatformCreators();

using KVSDLInputHandler = int32_t (*)(const SDL_Event* event);
// The SDL input device's HandleEvent, or null while there is none.
KVSDLInputHandler GetSDLInputHandler();
void SetSDLInputHandler(KVSDLInputHandler handler);

} // namespace kvl
