// Class "Theora": the movie's attributes with the ids under which scene
// files store them, and the script methods "Play", "Pause" and "Stop".
#include "KVExternalType.h"
#include "KVTheora.h"

namespace kvl {

namespace {

KVTheora* MovieOf(void* external) { return static_cast<KVTheora*>(static_cast<IKVExternal*>(external)); }

void OnFile(void* external) { MovieOf(external)->FileChanged(); }
void OnLoop(void* external) { MovieOf(external)->LoopChanged(); }
void OnStreamChoice(void* external) { MovieOf(external)->StreamChoiceChanged(); }
void OnVolume(void* external) { MovieOf(external)->VolumeChanged(); }

int ScriptPlay(void* external) {
    if (external) MovieOf(external)->Play();
    return 0;
}

int ScriptPause(void* external) {
    if (external) MovieOf(external)->Pause();
    return 0;
}

// Unlike the host's Stop, the started mark stays: Autoplay does not start
// the movie again.
int ScriptStop(void* external) {
    if (external) MovieOf(external)->StopPlayback(true);
    return 0;
}

} // namespace

int32_t KVTheora::RegisterClass(IKVUnknown* core) {
    // Offsets are measured on an object that no unit owns.
    KVTheora* probe = new KVTheora;
    const KVExternalAttribute attributes[] = {
        {"File@Ogm video file|*.ogg;*.ogm", KVATTR_PATH, OffsetInExternal(probe, &probe->m_file), 1, &OnFile,
         kFileId},
        {"Loop", KVATTR_BOOLEAN, OffsetInExternal(probe, &probe->m_loop), 1, &OnLoop, kLoopId},
        {"Autoplay", KVATTR_BOOLEAN, OffsetInExternal(probe, &probe->m_autoplay), 1, nullptr, kAutoplayId},
        {"UnitNotify", KVATTR_UNIT, OffsetInExternal(probe, &probe->m_unitNotify), 1, nullptr, kUnitNotifyId},
        {"NoSound", KVATTR_BOOLEAN, OffsetInExternal(probe, &probe->m_noSound), 1, &OnStreamChoice, kNoSoundId},
        {"VideoTrack", KVATTR_U32, OffsetInExternal(probe, &probe->m_videoTrack), 1, &OnStreamChoice,
         kVideoTrackId},
        {"AudioTrack", KVATTR_U32, OffsetInExternal(probe, &probe->m_audioTrack), 1, &OnStreamChoice,
         kAudioTrackId},
        {"Volume", KVATTR_F32, OffsetInExternal(probe, &probe->m_volume), 1, &OnVolume, kVolumeId},
    };
    probe->Release();
    static const KVExternalMethod methods[] = {{"Play", &ScriptPlay}, {"Pause", &ScriptPause}, {"Stop", &ScriptStop}};
    KVExternalType type;
    type.className = "Theora";
    type.factory = &KVTheora::CreateTheora;
    type.classId = kClassId;
    type.description = "Ogg Theora movie";
    type.attributes = attributes;
    type.attributeCount = int32_t(sizeof attributes / sizeof attributes[0]);
    type.methods = methods;
    type.methodCount = int32_t(sizeof methods / sizeof methods[0]);
    return RegisterExternalType(core, type);
}

} // namespace kvl
