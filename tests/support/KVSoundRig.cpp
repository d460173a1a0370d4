#include "KVSoundRig.h"

namespace kvtest {

KVSoundRig::KVSoundRig(kvl::IKVSoundDevice* device) {
    m_resources.SetFileInterface(&m_files);
    m_resources.SetEditorModeOverride(false);
    m_resources.Init(0);
    m_resources.Init(2);
    m_reader.SetFileInterface(&m_files);
    m_resources.RegisterReader(&m_reader);
    m_manager.SetSoundDevice(device ? device : &m_fake);
    m_manager.SetFileInterface(&m_files);
}

KVSoundRig::~KVSoundRig() = default;

void KVSoundRig::UseFiles(kvl::IKVFile* files) {
    m_resources.SetFileInterface(files);
    m_reader.SetFileInterface(files);
    m_manager.SetFileInterface(files);
}

SoundPtr KVSoundRig::Create(const std::string& path, bool streamed, int32_t* status) {
    kvl::IKVSound* sound = nullptr;
    const int32_t result = m_manager.CreateSound(path.c_str(), &sound, streamed ? 1 : 0);
    if (status) *status = result;
    return SoundPtr(sound);
}

} // namespace kvtest
