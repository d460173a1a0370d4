#pragma once
// Plain Dijkstra over a grid with the path search's cost rules (four side
// neighbours, a cost per step and per quarter turn, the turn of the first
// move counted from a start direction). The reference cost for path-search
// tests and the baseline of its benchmark.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvtest {

struct GridProblem {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<int32_t> codes;  // width * height field codes; 0 is passable
    int32_t startX = 0;
    int32_t startY = 0;
    int32_t targetX = 0;
    int32_t targetY = 0;
    float stepCost = 1.0f;
    float turnCost = 1.0f;
    int32_t startDirection = 0;  // 0 none, 1 -x, 2 -y, 3 +x, 4 +y

    bool Passable(int32_t x, int32_t y) const { return codes[size_t(x + width * y)] == 0; }
};

// Cheapest cost from start to target over (cell, direction) states; -1 when
// the target cannot be reached. The start cell need not be passable; every
// other cell entered must be.
double GridDijkstraCost(const GridProblem& problem);

// A grid of the given size with about wallPercent % of its cells blocked
// (code 1), from a fixed pseudo-random sequence.
GridProblem MakeRandomGrid(int32_t width, int32_t height, int32_t wallPercent, uint32_t seed);

} // namespace kvtest
