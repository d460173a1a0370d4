#pragma once
// The road of a sound file for tests: files in memory, a started resource
// manager (not in editor mode) with the Ogg reader registered, and the sound
// manager on a sound device (the fake one unless the test gives another).
#include <memory>
#include <string>
#include <vector>

#include "kernel/KVResources.h"
#include "media/KVOggReader.h"
#include "media/KVSound.h"
#include "media/KVSoundManager.h"
#include "support/KVFakeSoundDevice.h"
#include "support/KVMemoryFile.h"
#include "support/KVTestLog.h"

namespace kvtest {

// Releases a sound when it goes.
struct KVSoundReleaser {
    void operator()(kvl::IKVSound* sound) const {
        if (sound) sound->Release();
    }
};
using SoundPtr = std::unique_ptr<kvl::IKVSound, KVSoundReleaser>;

class KVSoundRig {
public:
    explicit KVSoundRig(kvl::IKVSoundDevice* device = nullptr);
    ~KVSoundRig();

    KVMemoryFile& Files() { return m_files; }
    KVFakeSoundDevice& Fake() { return m_fake; }
    kvl::KVResources& Resources() { return m_resources; }
    kvl::KVOggReader& Reader() { return m_reader; }
    kvl::KVSoundManager& Manager() { return m_manager; }
    KVTestLog& Log() { return m_log; }

    // Sound files read through another file layer (a pak layer, say)
    // instead of the rig's memory files.
    void UseFiles(kvl::IKVFile* files);
    // A sound of the path; null (and the status in `status`) on failure.
    SoundPtr Create(const std::string& path, bool streamed, int32_t* status = nullptr);
    // The concrete sound behind the interface.
    static kvl::KVSound* Concrete(kvl::IKVSound* sound) { return static_cast<kvl::KVSound*>(sound); }

private:
    KVTestLog m_log;
    KVMemoryFile m_files;
    KVFakeSoundDevice m_fake;
    kvl::KVResources m_resources;
    kvl::KVOggReader m_reader;
    kvl::KVSoundManager m_manager;
};

} // namespace kvtest
