// Class "VideoSprite": the video sprite's attributes with the ids under
// which scene files store them, and the script methods "Play", "Pause" and
// "Stop".
#include "KVExternalType.h"
#include "KVVSPR.h"

namespace kvl {

namespace {

KVVSPR* SpriteOf(void* external) { return static_cast<KVVSPR*>(static_cast<IKVExternal*>(external)); }

void OnFile(void* external) { SpriteOf(external)->OpenFile(); }
void OnFrame(void* external) { SpriteOf(external)->FrameChanged(); }

int ScriptPlay(void* external) {
    if (external) SpriteOf(external)->SetState(KVVSPR_PLAYING);
    return 0;
}

int ScriptPause(void* external) {
    if (external) SpriteOf(external)->SetState(KVVSPR_PAUSED);
    return 0;
}

int ScriptStopMethod(void* external) {
    if (external) SpriteOf(external)->ScriptStop();
    return 0;
}

} // namespace

int32_t KVVSPR::RegisterClass(IKVUnknown* core) {
    // Offsets are measured on an object that no unit owns.
    KVVSPR* probe = new KVVSPR;
    const KVExternalAttribute attributes[] = {
        {"File@VideoSprite file|*.VSPR", KVATTR_PATH, OffsetInExternal(probe, &probe->m_file), 1, &OnFile,
         kFileId},
        {"Loop", KVATTR_BOOLEAN, OffsetInExternal(probe, &probe->m_loop), 1, nullptr, kLoopId},
        {"Autoplay", KVATTR_BOOLEAN, OffsetInExternal(probe, &probe->m_autoplay), 1, nullptr, kAutoplayId},
        {"AutoOffset", KVATTR_BOOLEAN, OffsetInExternal(probe, &probe->m_autoOffset), 1, nullptr, kAutoOffsetId},
        {"Frame", KVATTR_U32, OffsetInExternal(probe, &probe->m_frame), 1, &OnFrame, kFrameId},
        {"UnitNotify", KVATTR_UNIT, OffsetInExternal(probe, &probe->m_unitNotify), 1, nullptr, kUnitNotifyId},
        {"Streamed", KVATTR_BOOLEAN, OffsetInExternal(probe, &probe->m_streamed), 1, nullptr, kStreamedId},
    };
    probe->Release();
    static const KVExternalMethod methods[] = {{"Play", &ScriptPlay}, {"Pause", &ScriptPause}, {"Stop", &ScriptStopMethod}};
    KVExternalType type;
    type.className = "VideoSprite";
    type.factory = &KVVSPR::CreateVSPR;
    type.classId = kClassId;
    type.description = "VSPR video sprite";
    type.attributes = attributes;
    type.attributeCount = int32_t(sizeof attributes / sizeof attributes[0]);
    type.methods = methods;
    type.methodCount = int32_t(sizeof methods / sizeof methods[0]);
    return RegisterExternalType(core, type);
}

} // namespace kvl
