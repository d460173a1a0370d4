#include "CIN.h"

namespace kvl {
namespace {

IKVCinemaBackend* g_backend = nullptr;

} // namespace

void CINSetBackend(IKVCinemaBackend* backend) { g_backend = backend; }

IKVCinemaBackend* CINGetBackend() { return g_backend; }

} // namespace kvl

extern "C" {

int CIN_Init(void) {
    kvl::IKVCinemaBackend* backend = kvl::CINGetBackend();
    return backend ? backend->Init() : 0;
}

int CIN_LoadCIN(const char* url) {
    kvl::IKVCinemaBackend* backend = kvl::CINGetBackend();
    return backend && url ? backend->Load(url) : 0;
}

int CIN_Play(void) {
    kvl::IKVCinemaBackend* backend = kvl::CINGetBackend();
    return backend ? backend->Play() : 0;
}

int CIN_Stop(void) {
    kvl::IKVCinemaBackend* backend = kvl::CINGetBackend();
    return backend ? backend->Stop() : 0;
}
}
