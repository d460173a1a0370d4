#pragma once
// The movie external of class "Theora": plays an Ogg file with a Theora
// video stream and, optionally, a Vorbis sound stream inside its embeddable
// host sprite. Frames go to the host's own texture (planar Y'CbCr, format
// 2048); the sound is a buffer sound of the sound manager that pulls its
// samples from the movie, and its playback position is the movie's clock.
// Demultiplexing and decoding are KVTheoraDecoder's; this class keeps the
// attributes, the play state and the events. "Loop" takes effect on an open
// movie at once; a sound track the device cannot play (not 44100 Hz stereo)
// is named in the log with its rate and channels, and the movie is silent.
// A movie ends ("OnVideoEnd") once its picture has ended and its sound has
// been played to its last sample; a looping pass lasts as long as its
// longer stream, the shorter one holding its last frame or falling silent.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../units/IKVExternal.h"
#include "../units/IKVUnitExternal.h"
#include "IKVSound.h"
#include "IKVTheoraHost.h"
#include "KVTheoraDecoder.h"

namespace kvl {

class IKVUnitRef;
class IKVUnitSprite;

// Play states.
enum KVTheoraState : uint32_t {
    KVTHEORA_STOPPED = 0,
    KVTHEORA_PLAYING = 1,
    KVTHEORA_PAUSED = 2,
};

class KVTheora : public KVRefCounted<IKVExternal>,
                 public IKVUnitExternal,
                 public IKVSoundDataProvider,
                 private IKVTheoraHost {
public:
    static constexpr uint64_t kClassId = 0x0068F3C0E145D418ull;
    static constexpr uint64_t kFileId = 0x001BA5B149DA58E7ull;
    static constexpr uint64_t kLoopId = 0x00041EE8455A35E0ull;
    static constexpr uint64_t kAutoplayId = 0x0013CEF5D8C25E2Bull;
    static constexpr uint64_t kUnitNotifyId = 0x0000C3A5DF3B5819ull;
    static constexpr uint64_t kNoSoundId = 0x00248D82BDD0DAC0ull;
    static constexpr uint64_t kVideoTrackId = 0x001CBEBF0B362116ull;
    static constexpr uint64_t kAudioTrackId = 0x0022577183545824ull;
    static constexpr uint64_t kVolumeId = 0x0001D695B9B80BC6ull;

    // The external factory of the class.
    static IKVExternal* CreateTheora();
    // Registers class "Theora" on "Embeddable" with the services of `core`;
    // the class index, or -1.
    static int32_t RegisterClass(IKVUnknown* core);

    // Answers only IKVUnitExternal.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Attach(IKVUnit* host) override;
    int32_t Detach() override;

    // IKVUnitExternal
    int32_t Play() override;
    int32_t Pause() override;
    int32_t Stop() override;
    int32_t Update(float dt) override;
    int32_t StopIfSet(int32_t flag) override;

    // IKVSoundDataProvider
    uint32_t GetSamples(int16_t* buffer, uint32_t count) override;

    // Script "Stop": stops and rewinds, leaving the started mark set.
    void StopPlayback(bool rewind);
    // Change callbacks of the attributes.
    void FileChanged();
    // "Loop" reaches the open movie's reader and decoder at once: a looping
    // movie told not to loop ends at the end of its pass.
    void LoopChanged();
    void StreamChoiceChanged();
    void VolumeChanged();

    uint32_t GetState() const { return m_state; }
    bool IsStarted() const { return m_started; }
    IKVSound* GetSound() const { return m_sound; }
    const KVTheoraDecoder* GetDecoder() const { return m_decoder.get(); }

private:

    KVTheora() = default;
    ~KVTheora() override;

    // First opening of "File"; the movie is closed before.
    void Open();
    void Close();
    bool HostEnabled() const;
    void Notify(const char* event);

    // IKVTheoraHost: the host sprite's own texture and the buffer sound.
    int32_t CreateFrameSurface(uint32_t width, uint32_t height) override;
    void ShowFrame(const KVTheoraFrame& frame) override;
    void ReleaseFrameSurface() override;
    bool CreateSound(uint32_t rate, uint32_t channels) override;
    void ReleaseSound() override;
    uint32_t GetSoundPosition() override;
    void AdvanceSoundPosition(int32_t bytes) override;

    // Attributes.
    std::string m_file;
    uint8_t m_loop = 1;
    uint8_t m_autoplay = 1;
    uint8_t m_noSound = 0;
    IKVUnitRef* m_unitNotify = nullptr;
    float m_volume = 1.0f;
    uint32_t m_videoTrack = 0;
    uint32_t m_audioTrack = 0;

    IKVUnit* m_host = nullptr;
    IKVUnitSprite* m_sprite = nullptr;
    IKVSound* m_sound = nullptr;
    std::unique_ptr<KVTheoraDecoder> m_decoder;
    uint32_t m_state = KVTHEORA_STOPPED;
    bool m_started = false;
    // The stream choice the open movie was read with: a pass over the
    // attributes that changes none of them reopens nothing.
    bool m_openNoSound = false;
    uint32_t m_openVideoTrack = 0;
    uint32_t m_openAudioTrack = 0;
    // The own texture's size; frames of another size are not copied.
    uint32_t m_surfaceWidth = 0;
    uint32_t m_surfaceHeight = 0;
    // Planes repacked for a texture that takes chroma at half the luma stride.
    std::vector<uint8_t> m_planes;
};

} // namespace kvl
