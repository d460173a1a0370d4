#include "KVGridDijkstra.h"

#include <functional>
#include <limits>
#include <queue>
#include <utility>

namespace kvtest {
namespace {

int32_t QuarterTurns(int32_t to, int32_t from) {
    int32_t d = to - from;
    if (d < -2) d += 4;
    else if (d > 2) d -= 4;
    return d < 0 ? -d : d;
}

} // namespace

double GridDijkstraCost(const GridProblem& p) {
    if (p.startX == p.targetX && p.startY == p.targetY) return 0.0;
    const size_t cells = size_t(p.width) * size_t(p.height);
    // State = cell * 5 + direction of the move that entered it.
    std::vector<double> best(cells * 5, std::numeric_limits<double>::infinity());
    using Entry = std::pair<double, size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
    const size_t start = size_t(p.startX + p.width * p.startY) * 5 + size_t(p.startDirection);
    best[start] = 0.0;
    open.push({0.0, start});
    const int32_t dx[5] = {0, -1, 0, 1, 0};
    const int32_t dy[5] = {0, 0, -1, 0, 1};
    while (!open.empty()) {
        auto [cost, state] = open.top();
        open.pop();
        if (cost > best[state]) continue;
        const int32_t cell = int32_t(state / 5);
        const int32_t direction = int32_t(state % 5);
        const int32_t x = cell % p.width;
        const int32_t y = cell / p.width;
        if (x == p.targetX && y == p.targetY) return cost;
        for (int32_t move = 1; move <= 4; ++move) {
            const int32_t nx = x + dx[move];
            const int32_t ny = y + dy[move];
            if (nx < 0 || ny < 0 || nx >= p.width || ny >= p.height || !p.Passable(nx, ny)) continue;
            const double next = cost + p.stepCost + double(p.turnCost) * QuarterTurns(move, direction);
            const size_t nextState = size_t(nx + p.width * ny) * 5 + size_t(move);
            if (next < best[nextState]) {
                best[nextState] = next;
                open.push({next, nextState});
            }
        }
    }
    return -1.0;
}

GridProblem MakeRandomGrid(int32_t width, int32_t height, int32_t wallPercent, uint32_t seed) {
    GridProblem p;
    p.width = width;
    p.height = height;
    p.codes.resize(size_t(width) * size_t(height));
    uint32_t state = seed ? seed : 1u;
    for (int32_t& code : p.codes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        code = int32_t(state % 100u) < wallPercent ? 1 : 0;
    }
    return p;
}

} // namespace kvtest
