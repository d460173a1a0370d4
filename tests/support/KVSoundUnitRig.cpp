#include "KVSoundUnitRig.h"

#include <gtest/gtest.h>

#include "kernel/KVModules.h"
#include "media/KVOggReader.h"
#include "media/KVSound.h"
#include "media/KVSoundManager.h"
#include "units/IKVUnitCamera.h"
#include "units/KVSerialize.h"

namespace kvtest {

using namespace kvl;

namespace {

KV3DVector Add(const KV3DVector& a, const KV3DVector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
KV3DVector Neg(const KV3DVector& a) { return {-a.x, -a.y, -a.z}; }
KV3DVector Cross(const KV3DVector& a, const KV3DVector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The plane with that outward normal through the point.
KV3DPlane PlaneThrough(const KV3DVector& normal, const KV3DVector& point) {
    return {-(normal.x * point.x + normal.y * point.y + normal.z * point.z), normal.x, normal.y, normal.z};
}

} // namespace

const std::vector<KVPanCase>& KVPanCases() {
    static const std::vector<KVPanCase> cases = {
        {{0, 0, -1}, {10, 0, 0}, 0.4f, 0.004f},    // to the right
        {{0, 0, -1}, {-3, 0, 4}, 0.4f, -0.0024f},  // left and behind
        {{0, 0, -1}, {0, 10, 0}, 0.4f, 0.0f},      // straight up
        {{0, 0, -1}, {10, 0, 0}, 3.0f, 0.01f},     // clamped
        {{0, 0, -1}, {-10, 0, 0}, 3.0f, -0.01f},
        {{1, 0, 0}, {0, 0, 10}, 0.4f, 0.004f},  // turned: its right is +z
        {{1, 0, 0}, {10, 0, 0}, 0.4f, 0.0f},
        {{0, 0, -1}, {0, 0, 0}, 0.4f, 0.0f},  // at the listener: centred
    };
    return cases;
}

const std::vector<std::string>& KVSoundUnitRig::SoundEvents() {
    static const std::vector<std::string> events{"OnPlaySound", "OnEndSound", "OnError"};
    return events;
}

KVSoundUnitRig::KVSoundUnitRig() : KVSoundUnitRig(KVSceneRig::Options()) {}

KVSoundUnitRig::KVSoundUnitRig(const KVSceneRig::Options& options) : m_scene(options) {
    if (KVSoundManager* manager = KVSoundManager::Instance()) manager->SetSoundDevice(&m_device);
    // Start-up registers the reader before the project's phases; here the
    // project runs already, so the reader joins the resource manager now.
    KVModules::Instance()->RegisterModule(&CreateOggReader);
    if (KVOggReader* reader = KVOggReader::Instance()) reader->Init(2);
    // Paths in units are the project's: the asset root is its directory
    // (the project file itself need not exist).
    KVSerialize::Instance()->LoadProject(Host().Root() + "none.kvp");
    KVSceneRig::LogErrors().clear();
    Take();
}

KVSoundUnitRig::~KVSoundUnitRig() = default;

void KVSoundUnitRig::WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes) {
    Host().Dir().WriteFile("assets/" + relative, std::string(bytes.begin(), bytes.end()));
}

KVUnitSound* KVSoundUnitRig::Sound(const std::string& name, const std::vector<std::string>& events) {
    return static_cast<KVUnitSound*>(Unit("Sound", name, events));
}

KVUnit* KVSoundUnitRig::Unit(const char* className, const std::string& name, const std::vector<std::string>& events) {
    return Host().NamedUnit(className, name, events);
}

KVTestCameraUnit* KVSoundUnitRig::Listener(const KV3DVector& position, const KV3DVector& forward,
                                           const KV3DVector& up) {
    KVTestCameraUnit* camera = m_scene.Camera("Listener", {0, 0, 1024, 768});
    if (!camera) return nullptr;
    const KV3DVector right = Cross(forward, up);
    camera->position = position;
    camera->frustum.eye = position;
    KV3DPlane* planes = camera->frustum.planes;
    planes[KVFRUSTUM_FAR] = PlaneThrough(forward, Add(position, {forward.x * 100, forward.y * 100, forward.z * 100}));
    planes[KVFRUSTUM_NEAR] = PlaneThrough(Neg(forward), Add(position, forward));
    planes[KVFRUSTUM_LEFT] = PlaneThrough(Neg(right), Add(position, Neg(right)));
    planes[KVFRUSTUM_RIGHT] = PlaneThrough(right, Add(position, right));
    planes[KVFRUSTUM_BOTTOM] = PlaneThrough(Neg(up), Add(position, Neg(up)));
    planes[KVFRUSTUM_TOP] = PlaneThrough(up, Add(position, up));
    m_scene.Scene().Draw();
    EXPECT_EQ(m_scene.Scene().GetCurrentCamera(), static_cast<IKVUnit*>(camera));
    return camera;
}

KVFakeSoundVoice* KVSoundUnitRig::VoiceOf(KVUnitSound* unit) {
    IKVSound* sound = unit ? unit->GetSound() : nullptr;
    if (!sound) return nullptr;
    IKVSoundVoice* voice = static_cast<KVSound*>(sound)->GetVoice();
    return static_cast<KVFakeSoundVoice*>(voice);
}

void KVSoundUnitRig::Run(const std::string& code) {
    std::string error;
    EXPECT_TRUE(Host().Run(code, &error)) << error;
}

std::vector<std::string> KVSoundUnitRig::Take() {
    std::vector<std::string> out;
    out.swap(KVTestCoreHost::Records());
    return out;
}

} // namespace kvtest
