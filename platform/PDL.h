#pragma once
// Stand-ins for the handheld's device library: start and end, screen size
// and orientation, the system language. Tests change what they report through
// the setters below.
#include <cstdint>

extern "C" {

typedef int PDL_Err;
enum { PDL_NOERROR = 0, PDL_EINVALIDINPUT = 1, PDL_ECONNECTION = 2 };

struct PDL_ScreenMetrics {
    int horizontalPixels;
    int verticalPixels;
    int horizontalDPI;
    int verticalDPI;
    double aspectRatio;
};

PDL_Err PDL_Init(unsigned int flags);
PDL_Err PDL_Quit(void);
PDL_Err PDL_GetScreenMetrics(PDL_ScreenMetrics* outMetrics);
// Copies the language ("en_US") into the buffer, zero-terminated.
PDL_Err PDL_GetLanguage(char* buffer, int bufferLen);
}

namespace kvl {

// Test setters; defaults are a 1024 x 768 landscape screen and "en_US".
void PDLSetScreenSize(int width, int height);
void PDLSetLanguage(const char* language);  // null makes PDL_GetLanguage fail
bool PDLIsInitialised();
// Back to the defaults, not initialised: as a new process finds it.
void PDLReset();

} // namespace kvl
