#pragma once
// Plain timing harness: every figure times a subject against a baseline in
// the same run and prints "NAME: X.XXx of BASELINE (target <= Y)".
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kvbench {

struct Figure {
    std::string name;
    std::string baselineName;
    double target;  // 0: a figure without a target
    std::function<void()> baseline;  // one round of the baseline work
    std::function<void()> subject;   // the same work through the engine
    // Time spent on the calling thread's CPU instead of the wall clock, for
    // work that hands part of itself to other threads.
    bool threadCpuTime = false;
    // Runs once after the figure is printed: figures of its own, and the end
    // of what its set-up made that later figures must not meet.
    std::function<void()> finish = nullptr;
    // A figure that measures and prints its lines itself: run instead of
    // the baseline and subject rounds.
    std::function<void()> run = nullptr;
    // Needs a real X11 window: scripts/bench runs it under xvfb-run.
    bool window = false;
    // When set, the printed name, asked once the figure is measured: for a
    // name that holds a figure of the figure's own set-up.
    std::function<std::string()> describe = nullptr;
};

// Registers a figure; used through KV_BENCH_FIGURE at namespace scope.
bool RegisterFigure(Figure figure);

// CPU time of the calling thread, and of the whole process, in seconds.
double ThreadCpuSeconds();
double ProcessCpuSeconds();
// The middle value (the upper one of an even count); 0 for none.
double Median(std::vector<double> values);

// Keeps what ends a set-up until EndSetUps().
void AtEndOfSetUps(std::function<void()> end);
// Ends every set-up made through Lazy(), the latest first. The harness calls
// it once the figures ran, while the engine's modules and the libraries the
// set-ups point at are still there.
void EndSetUps();

// A figure's set-up, made at its first use and ended by EndSetUps(). Never
// at registration: every figure's process would make it, and a core made
// later would take its program-wide modules for its own. Never a static
// object: ended among the exit-time destructors, after the modules it points
// at, it would touch what is gone. Key tells set-ups of one type apart.
template <class T, int Key = 0, class... Args>
T& Lazy(Args&&... args) {
    static T* made = nullptr;
    if (!made) {
        made = new T(std::forward<Args>(args)...);
        AtEndOfSetUps([] {
            delete made;
            made = nullptr;
        });
    }
    return *made;
}

} // namespace kvbench

#define KV_BENCH_CONCAT2(a, b) a##b
#define KV_BENCH_CONCAT(a, b) KV_BENCH_CONCAT2(a, b)
// KV_BENCH_FIGURE(MakeFigure) where MakeFigure() returns a kvbench::Figure.
#define KV_BENCH_FIGURE(maker) \
    static const bool KV_BENCH_CONCAT(kv_bench_registered_, __LINE__) = kvbench::RegisterFigure(maker())
