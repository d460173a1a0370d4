#pragma once
// The OpenGL ES device shared by every benchmark that draws or uploads: the
// engine's device on an off-screen 1024 x 768 pbuffer (llvmpipe) under SDL's
// dummy video driver, made on first use and ended after the set-ups made
// with it (kvbench::Lazy). Only one screen
// exists at a time, so benchmarks never make devices of their own.
#include "graphics/KVGLwebOSRender.h"

namespace kvbench {

constexpr int kGLScreenWidth = 1024;
constexpr int kGLScreenHeight = 768;

kvl::KVGLwebOSRender& SharedGLDevice();

} // namespace kvbench
