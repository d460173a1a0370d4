#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "KVBench.h"

namespace kvbench {
namespace {

std::vector<Figure>& Figures() {
    static std::vector<Figure> figures;
    return figures;
}

std::vector<std::function<void()>>& SetUpEnds() {
    static std::vector<std::function<void()>> ends;
    return ends;
}

// Best time of several rounds: the least disturbed measurement on a noisy machine.
double BestSeconds(const std::function<void()>& work, bool threadCpu) {
    using clock = std::chrono::steady_clock;
    double best = 1e30;
    auto start = clock::now();
    int rounds = 0;
    while (rounds < 5 || (rounds < 200 && std::chrono::duration<double>(clock::now() - start).count() < 1.0)) {
        auto t0 = clock::now();
        double cpu0 = threadCpu ? ThreadCpuSeconds() : 0.0;
        work();
        double s = threadCpu ? ThreadCpuSeconds() - cpu0 : std::chrono::duration<double>(clock::now() - t0).count();
        best = std::min(best, s);
        ++rounds;
    }
    return best;
}

} // namespace

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void AtEndOfSetUps(std::function<void()> end) { SetUpEnds().push_back(std::move(end)); }

void EndSetUps() {
    // An end may make or end others: each is taken off before it runs.
    while (!SetUpEnds().empty()) {
        std::function<void()> end = std::move(SetUpEnds().back());
        SetUpEnds().pop_back();
        end();
    }
}

bool RegisterFigure(Figure figure) {
    Figures().push_back(std::move(figure));
    return true;
}

} // namespace kvbench

// Figures share program-wide modules (the script binding, the unit factory),
// so scripts/bench runs each in a process of its own: "--count" prints how
// many there are, "--name N" the N-th one's name, "--figure N" runs the N-th
// alone, "--windowed" lists the figures that need an X11 window, one index a
// line.
int main(int argc, char** argv) {
    const std::vector<kvbench::Figure>& figures = kvbench::Figures();
    if (argc > 1 && std::strcmp(argv[1], "--count") == 0) {
        std::printf("%zu\n", figures.size());
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--windowed") == 0) {
        for (size_t i = 0; i < figures.size(); ++i)
            if (figures[i].window) std::printf("%zu\n", i);
        return 0;
    }
    if (argc > 2 && std::strcmp(argv[1], "--name") == 0) {
        const long n = std::strtol(argv[2], nullptr, 10);
        if (n < 0 || size_t(n) >= figures.size()) return 1;
        std::printf("%s\n", figures[size_t(n)].name.c_str());
        return 0;
    }
    long pick = -1;
    if (argc > 2 && std::strcmp(argv[1], "--figure") == 0) pick = std::strtol(argv[2], nullptr, 10);
    // KV_BENCH_ONLY=text runs only the figures whose name holds the text.
    const char* only = std::getenv("KV_BENCH_ONLY");
    for (size_t i = 0; i < figures.size(); ++i) {
        const kvbench::Figure& f = figures[i];
        if (pick >= 0 && size_t(pick) != i) continue;
        if (only && !std::strstr(f.name.c_str(), only)) continue;
        if (f.run) {
            f.run();
            std::fflush(stdout);
            continue;
        }
        f.baseline();  // warm caches and lazy set-up before measuring
        f.subject();
        double base = kvbench::BestSeconds(f.baseline, f.threadCpuTime);
        double subject = kvbench::BestSeconds(f.subject, f.threadCpuTime);
        double ratio = base > 0 ? subject / base : 0.0;
        const std::string name = f.describe ? f.describe() : f.name;
        if (f.target > 0)
            std::printf("%s: %.2fx of %s (target <= %.2f)\n", name.c_str(), ratio, f.baselineName.c_str(), f.target);
        else
            std::printf("%s: %.2fx of %s\n", name.c_str(), ratio, f.baselineName.c_str());
        std::fflush(stdout);
        if (f.finish) f.finish();
    }
    kvbench::EndSetUps();
    return 0;
}
