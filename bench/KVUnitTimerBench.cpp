// One frame of the unit factory's update over 10,000 running timers
// without scripts (the native-update mark puts them in the update lists),
// against the timer arithmetic over 10,000 plain structs in a loop.
#include <string>
#include <vector>

#include "KVBench.h"
#include "KVBenchUnits.h"
#include "units/KVUnitFactory.h"
#include "units2d/KVUnitTimer.h"

namespace {

constexpr int kTimers = 10000;
constexpr float kFrame = 0.016f;

// The timer's state and its per-frame steps, as a plain loop keeps them.
struct PlainTimer {
    float elapsed = 0.0f;
    float time = 1.0f;
    bool loop = true;
    bool autoplay = true;
    bool autodisable = true;
    bool running = false;
    bool enabled = true;
};

struct TimerBench {
    std::vector<PlainTimer> plain;
    int firings = 0;

    TimerBench() {
        kvbench::UnitState();
        kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
        const int32_t timerClass = factory->FindClassByName("Timer");
        const int32_t timePosition = factory->FindAttributePosition(timerClass, kvl::KVUnitTimer::kTimeId);
        const int32_t loopPosition = factory->FindAttributePosition(timerClass, kvl::KVUnitTimer::kLoopId);
        plain.resize(kTimers);
        for (int i = 0; i < kTimers; ++i) {
            // Periods spread so that a few timers fire in every frame.
            const std::string time = std::to_string(0.5 + 0.0001 * i);
            plain[size_t(i)].time = std::stof(time);
            kvl::KVUnit* unit = nullptr;
            factory->CreateUnit(timerClass, &unit, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
            factory->UpdateRootMembership(unit);
            unit->SetParentEnabled(true);
            unit->ApplyEnabledState();
            factory->SetAttributeText(unit->GetIndex(), timePosition, 0, time, false);
            factory->SetAttributeText(unit->GetIndex(), loopPosition, 0, "true", false);
        }
    }

    void Plain() {
        for (PlainTimer& t : plain) {
            if (!t.enabled) continue;
            if (!t.running) {
                if (!t.autoplay || t.elapsed != 0.0f) continue;
                t.running = true;
            }
            t.elapsed += kFrame;
            const float period = t.time <= 0.0f ? 0.0f : t.time;
            while (t.elapsed >= period) {
                const float before = t.elapsed;
                if (t.loop) {
                    t.elapsed -= period;
                } else {
                    t.running = false;
                    t.elapsed = 0.0f;
                }
                ++firings;
                if (!t.running && !t.loop && t.autodisable) {
                    t.enabled = false;
                    break;
                }
                if (period == 0.0f || (t.loop && t.elapsed == before)) break;
            }
        }
    }
};

TimerBench& Bench() {
    return kvbench::Lazy<TimerBench>();
}

kvbench::Figure TimerFigure() {
    kvbench::Figure f;
    f.name = "KVUnitFactory::Update over 10,000 script-less running timers";
    f.baselineName = "the timer arithmetic over 10,000 plain structs";
    f.target = 0.0;
    f.baseline = [] { Bench().Plain(); };
    f.subject = [] {
        Bench();
        kvl::KVUnitFactory::Instance()->Update(kFrame);
    };
    return f;
}

} // namespace

KV_BENCH_FIGURE(TimerFigure);
