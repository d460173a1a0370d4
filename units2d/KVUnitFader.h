#pragma once
// Class "Fader": a shape over the game area whose colour goes from Color to
// its own end colour (or back, with FadeOut) over Period seconds, raising
// "OnFaderStart" on itself and "OnFaderEnd" on its UnitNotify unit (or on
// itself) one visible update after the end colour is reached. It starts
// disabled and never takes touches.
#include <cstdint>

#include "IKVUnitFader.h"
#include "KVUnitShape.h"

namespace kvl {

class IKVUnitRef;

class KVUnitFader : public KVUnitShape, public virtual IKVUnitFader {
public:
    static constexpr uint64_t kClassId = 0x004BC756E394F170ull;
    static constexpr uint64_t kFadeOutId = 0x00367FC8C50E2F1Cull;
    static constexpr uint64_t kPeriodId = 0x00504500ADD84E68ull;
    static constexpr uint64_t kAutoplayId = 0x005EA4AF9EE16A64ull;
    static constexpr uint64_t kColorEndId = 0x0052C39DAC581438ull;
    static constexpr uint64_t kUnitNotifyId = 0x004649AB007478C4ull;
    static constexpr uint64_t kStateId = 0x003B5DEAA42321E4ull;
    // A Period of 0 becomes this.
    static constexpr float kShortestPeriod = 0.001f;

    static KVUnit* Create() { return new KVUnitFader; }
    // Registers class "Fader"; the class index, or -1.
    static int32_t RegisterClass();
    static KVUnitFader* FromUnit(IKVUnit* unit);

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Close() override;
    void ResetState() override;
    void Refresh() override;
    void Update(float dt) override;
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) override {
        (void)point;
        (void)depth;
        (void)camera;
        return false;
    }

    // Resets the fader when FadeOut changed since it was last acted on.
    virtual void OnFadeOutChanged();
    // The colour that goes with the state: Color while waiting, the end
    // colour once ended.
    virtual void ApplyStateColor();

    // IKVUnitFader
    bool GetFadeOut() override { return m_fadeOut; }
    int32_t SetFadeOut(bool fadeOut) override {
        m_fadeOut = fadeOut;
        return 0;
    }
    float GetPeriod() override { return m_period; }
    int32_t SetPeriod(float seconds) override {
        m_period = seconds;
        return 0;
    }
    bool IsEnded() override { return m_state == KVFADER_ENDED; }
    uint32_t GetState() override { return m_state; }
    int32_t SetState(uint32_t state) override;

    // The script methods: "Start" (with the unit that is told of the end,
    // or -1 to keep it, or none given) and "Pause".
    void Start(bool withNotify, int32_t notifyUnit);
    void PauseFade(bool pause);

    float GetElapsed() const { return m_elapsed; }
    uint32_t GetEndColor() const { return m_faderColorEnd; }
    IKVUnitRef* GetUnitNotify() const { return m_unitNotify; }

protected:
    ~KVUnitFader() override;

private:
    static void RegisterScriptMethods(int32_t classIndex);
    // Calls the event on the UnitNotify unit, or on the fader without one.
    void RaiseEnd();

    bool m_fadeOut = false;
    bool m_fadeOutSeen = false;
    float m_period = 0.5f;
    float m_elapsed = 0.0f;
    bool m_autoplay = false;
    uint32_t m_state = KVFADER_WAIT;
    uint32_t m_faderColorEnd = 0;
    IKVUnitRef* m_unitNotify = nullptr;
};

} // namespace kvl
