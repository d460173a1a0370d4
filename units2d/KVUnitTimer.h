#pragma once
// Class "Timer": counts time from the per-frame update and raises
// "OnTimeOut" on itself, or on the unit its UnitNotify names, once or
// repeatedly. Autoplay starts it at the first update; the script method
// "Start" starts it otherwise.
//
// A Time that is not above 0 counts as 0 (one firing per update); a Time
// that is not a number never runs out. A looping timer fires once per
// whole period that passed, and stops after one firing when the period is
// too small to count down the elapsed time any more. A timer that is closed
// or marked for closing by its own event fires no more.
#include <cstdint>

#include "../units/KVUnit.h"

namespace kvl {

class IKVUnitRef;

class KVUnitTimer : public KVUnit {
public:
    static constexpr uint64_t kClassId = 0x00312FCDD16D06A8ull;
    static constexpr uint64_t kTimeId = 0x0036CB7D048BF460ull;
    static constexpr uint64_t kLoopId = 0x004790FF934FF28Cull;
    static constexpr uint64_t kUnitNotifyId = 0x0030D791B3C89D6Cull;
    static constexpr uint64_t kAutoplayId = 0x00584EC610455174ull;
    static constexpr uint64_t kAutodisableId = 0x00560E5934EE01D8ull;

    static KVUnit* Create() { return new KVUnitTimer; }
    // Registers class "Timer", its attributes and "Start"; the class index,
    // or -1.
    static int32_t RegisterClass();

    // KVUnit
    void Init() override;
    void Close() override;
    void ResetState() override;
    // Rewinds an active timer.
    void Refresh() override;
    // After the base unit's update, counts dt and fires.
    void Update(float dt) override;

    // The script method "Start".
    void Start() { m_running = true; }

    float GetElapsed() const { return m_elapsed; }
    bool IsRunning() const { return m_running; }

protected:
    ~KVUnitTimer() override;

private:
    // The Time that the loop counts with.
    float Period() const;
    // "OnTimeOut" on the timer, on its UnitNotify unit when that is active,
    // or on nobody.
    void NotifyTimeOut();
    void ReleaseNotify();
    // The unit went away, is closing, or is marked for closing.
    bool IsGone(const KVUnitWatch& watch);

    float m_elapsed = 0.0f;
    float m_time = 1.0f;
    IKVUnitRef* m_unitNotify = nullptr;
    bool m_loop = false;
    bool m_autoplay = true;
    bool m_autodisable = true;
    bool m_running = false;
};

// RegisterClass for the unit factory's table of built-in classes.
int32_t RegisterTimerClass();

} // namespace kvl
