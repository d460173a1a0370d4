#include "PDL.h"

#include <cstring>
#include <string>

namespace {

struct DeviceState {
    int width = 1024;
    int height = 768;
    std::string language = "en_US";
    bool languageFails = false;
    bool initialised = false;
};

DeviceState& State() {
    static DeviceState state;
    return state;
}

} // namespace

extern "C" {

PDL_Err PDL_Init(unsigned int) {
    State().initialised = true;
    return PDL_NOERROR;
}

PDL_Err PDL_Quit(void) {
    State().initialised = false;
    return PDL_NOERROR;
}

PDL_Err PDL_GetScreenMetrics(PDL_ScreenMetrics* out) {
    if (!out) return PDL_EINVALIDINPUT;
    const DeviceState& s = State();
    out->horizontalPixels = s.width;
    out->verticalPixels = s.height;
    out->horizontalDPI = 132;
    out->verticalDPI = 132;
    out->aspectRatio = s.height ? double(s.width) / double(s.height) : 0.0;
    return PDL_NOERROR;
}

PDL_Err PDL_GetLanguage(char* buffer, int bufferLen) {
    const DeviceState& s = State();
    if (!buffer || bufferLen <= 0) return PDL_EINVALIDINPUT;
    if (s.languageFails) return PDL_ECONNECTION;
    size_t n = s.language.size();
    if (n >= size_t(bufferLen)) n = size_t(bufferLen) - 1;
    std::memcpy(buffer, s.language.data(), n);
    buffer[n] = '\0';
    return PDL_NOERROR;
}
}

namespace kvl {

void PDLSetScreenSize(int width, int height) {
    State().width = width;
    State().height = height;
}

void PDLSetLanguage(const char* language) {
    State().languageFails = language == nullptr;
    State().language = language ? language : "";
}

bool PDLIsInitialised() { return State().initialised; }

void PDLReset() { State() = DeviceState(); }

} // namespace kvl
