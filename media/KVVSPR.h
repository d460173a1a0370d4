#pragma once
// The video-sprite external of class "VideoSprite": plays a VSPR file of
// palettised frames inside its embeddable host sprite, writing each shown
// frame as 32-bit B, G, R, A colours into the host's own texture (format
// 259). Reading and decoding are KVVsprDecoder's; this class keeps the
// attributes, the play state, the timing and the events.
#include <cstdint>
#include <string>

#include "../units/IKVExternal.h"
#include "../units/IKVUnitExternal.h"
#include "../units/IKVUnitSpriteExternal.h"
#include "KVVsprDecoder.h"

namespace kvl {

class IKVUnitRef;
class IKVUnitSprite;

// Play states.
enum KVVsprState : uint32_t {
    KVVSPR_PLAYING = 0,
    KVVSPR_STOPPED = 1,
    KVVSPR_PAUSED = 2,
    KVVSPR_ENDED = 3,
};

class KVVSPR : public KVRefCounted<IKVExternal>, public IKVUnitExternal, public IKVUnitSpriteExternal {
public:
    static constexpr uint64_t kClassId = 0x001AD76F4FA1BF9Eull;
    static constexpr uint64_t kFileId = 0x005989B45204E440ull;
    static constexpr uint64_t kLoopId = 0x005AA8EBD0405E1Cull;
    static constexpr uint64_t kAutoplayId = 0x00188F3DDE06C893ull;
    static constexpr uint64_t kAutoOffsetId = 0x001F89488715A3EBull;
    static constexpr uint64_t kFrameId = 0x00140A258BF2B9A9ull;
    static constexpr uint64_t kUnitNotifyId = 0x0008888C4AE23735ull;
    static constexpr uint64_t kStreamedId = 0x006C6FF6198C9E1Cull;

    // The external factory of the class.
    static IKVExternal* CreateVSPR();
    // Registers class "VideoSprite" on "Embeddable" with the services of
    // `core`; the class index, or -1.
    static int32_t RegisterClass(IKVUnknown* core);

    // Answers IKVUnitExternal and IKVUnitSpriteExternal.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Attach(IKVUnit* host) override;
    int32_t Detach() override;

    // IKVUnitExternal: the host's Stop rewinds.
    int32_t Stop() override {
        Rewind();
        return KV_OK;
    }
    int32_t Update(float dt) override;
    // IKVUnitSpriteExternal: 0xAARRGGBB of the shown picture; 0 without one.
    uint32_t GetPixelColor(int32_t x, int32_t y) override;

    // State stopped, time and "Frame" 0; no event, nothing redrawn.
    void Rewind();
    // Changes the state, raising "OnVideoSpriteStart" or "OnVideoSpriteEnd".
    void SetState(uint32_t state);
    // Script "Stop": stopped, time 0, frame 0 shown while streaming.
    void ScriptStop();
    // Change callbacks of "File" and "Frame".
    void OpenFile();
    void FrameChanged();

    uint32_t GetState() const { return m_state; }
    float GetElapsed() const { return m_elapsed; }
    uint32_t GetFrame() const { return m_frame; }
    const KVVsprDecoder& GetDecoder() const { return m_decoder; }

private:
    KVVSPR();
    ~KVVSPR() override;

    // Decodes frame n and writes it into the host's own texture.
    void ShowFrame(uint32_t n);

    uint8_t m_loop = 1;
    uint8_t m_autoplay = 1;
    uint8_t m_autoOffset = 1;
    std::string m_file;
    IKVUnit* m_host = nullptr;
    IKVUnitSprite* m_sprite = nullptr;
    uint32_t m_state = KVVSPR_STOPPED;
    float m_elapsed = 0.0f;
    IKVUnitRef* m_unitNotify = nullptr;
    uint8_t m_streamed = 1;
    KVVsprDecoder m_decoder;
    uint32_t m_frame = 0;
};

} // namespace kvl
