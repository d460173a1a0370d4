#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "KVBench.h"

namespace kvbench {
namespace {

std::vector<Figure>& Figures() {
    static std::vector<Figure> figures;
    return figures;
}

// Best time of several rounds: the least disturbed measurement on a noisy machine.
double BestSeconds(const std::function<void()>& work) {
    using clock = std::chrono::steady_clock;
    double best = 1e30;
    auto start = clock::now();
    int rounds = 0;
    while (rounds < 5 || (rounds < 200 && std::chrono::duration<double>(clock::now() - start).count() < 1.0)) {
        auto t0 = clock::now();
        work();
        double s = std::chrono::duration<double>(clock::now() - t0).count();
        best = std::min(best, s);
        ++rounds;
    }
    return best;
}

} // namespace

bool RegisterFigure(Figure figure) {
    Figures().push_back(std::move(figure));
    return true;
}

} // namespace kvbench

int main() {
    for (const kvbench::Figure& f : kvbench::Figures()) {
        f.baseline();  // warm caches and lazy set-up before measuring
        f.subject();
        double base = kvbench::BestSeconds(f.baseline);
        double subject = kvbench::BestSeconds(f.subject);
        double ratio = base > 0 ? subject / base : 0.0;
        // A figure without a target is only reported.
        if (f.target > 0)
            std::printf("%s: %.2fx of %s (target <= %.2f)\n", f.name.c_str(), ratio, f.baselineName.c_str(),
                        f.target);
        else
            std::printf("%s: %.2fx of %s (report)\n", f.name.c_str(), ratio, f.baselineName.c_str());
    }
    return 0;
}
