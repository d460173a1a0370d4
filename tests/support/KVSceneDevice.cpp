#include "KVSceneDevice.h"

#include <cstdio>
#include <string>

#include "KVSceneJournal.h"
#include "kernel/KVModules.h"

namespace kvtest {
namespace {

KVSceneDeviceModule* g_pending = nullptr;

// A render target as the device hands it out: a counted object.
class MirrorTarget : public kvl::KVRefCounted<kvl::IKVUnknownRef> {
public:
    explicit MirrorTarget(int32_t* live) : m_live(live) { ++*m_live; }

private:
    ~MirrorTarget() override { --*m_live; }
    int32_t* m_live;
};

} // namespace

KVRecordingDevice::KVRecordingDevice() : kvl::KVGLRender(nullptr) {}

KVRecordingDevice::~KVRecordingDevice() = default;

int32_t KVRecordingDevice::BeginFrame(int32_t) {
    Note(beginResult == 0 ? "begin" : "begin failed");
    return beginResult;
}

int32_t KVRecordingDevice::EndFrame() {
    Note("end");
    return 0;
}

int32_t KVRecordingDevice::Clear() {
    Note("clear");
    return 0;
}

int32_t KVRecordingDevice::Present() {
    Note("present");
    return 0;
}

int32_t KVRecordingDevice::SetViewport(const kvl::KVDeviceRect* r) {
    if (!r) return 1;
    m_viewport = *r;
    Note("viewport " + std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) +
         "," + std::to_string(r->bottom));
    return 0;
}

int32_t KVRecordingDevice::CreateMirrorTarget(void** out) {
    if (!out) return 1;
    *out = static_cast<kvl::IKVUnknownRef*>(new MirrorTarget(&liveTargets));
    return 0;
}

int32_t KVRecordingDevice::SelectMirrorTarget(void* target) {
    Note(target ? "target mirror" : "target screen");
    return 0;
}

int32_t KVRecordingDevice::ClearMirrorTarget(void* target) {
    Note(target ? "clear mirror" : "clear no target");
    return 0;
}

int32_t KVRecordingDevice::DrawLine2D(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) {
    char text[96];
    std::snprintf(text, sizeof text, "line2d %d,%d %d,%d %08X", int(x0), int(y0), int(x1), int(y1),
                  unsigned(color));
    Note(text);
    return 0;
}

int32_t KVRecordingDevice::DrawLine3D(const float* line, uint32_t color, int32_t value) {
    if (!line) return 1;
    char text[160];
    std::snprintf(text, sizeof text, "line3d %g,%g,%g %g,%g,%g %08X %d", double(line[0]), double(line[1]),
                  double(line[2]), double(line[3]), double(line[4]), double(line[5]), unsigned(color), int(value));
    Note(text);
    return 0;
}

void KVSceneDeviceModule::Register() {
    g_pending = this;
    kvl::KVModules::Instance()->RegisterModule(&KVSceneDeviceModule::Create);
    g_pending = nullptr;
}

kvl::IKVModuleExt* KVSceneDeviceModule::Create(const kvl::KVModuleCreateInfo*) { return g_pending; }

int32_t KVSceneDeviceModule::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVGraphicDevice)
        return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice*>(m_device), out);
    if (id == kvl::IID_IKVGraphicDevice2D)
        return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice2D*>(m_device), out);
    if (id == kvl::IID_IKVGraphicDevice3D && m_with3D) return kvl::AnswerInterface(m_device, out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

} // namespace kvtest
