#include "KVGridSource.h"

#include <algorithm>

namespace kvtest {

GridSource::GridSource(const GridProblem& grid) : m_grid(grid), m_asks(grid.codes.size(), 0) {}

bool GridSource::AskFieldCode(int32_t x, int32_t y, int32_t* code) {
    if (x < 0 || y < 0 || x >= m_grid.width || y >= m_grid.height) {
        m_askedOutside = true;
        return false;
    }
    const size_t index = size_t(x + m_grid.width * y);
    ++m_asks[index];
    *code = m_grid.codes[index];
    return *code != kFails;
}

int32_t GridSource::TotalAsks() const {
    int32_t total = 0;
    for (int32_t n : m_asks) total += n;
    return total;
}

int32_t GridSource::MostAsks() const {
    return m_asks.empty() ? 0 : *std::max_element(m_asks.begin(), m_asks.end());
}

int32_t RunGridSearch(kvl::KVAI& ai, const GridProblem& grid, kvl::KVAI::FieldCodeSource* source,
                      std::vector<kvl::KVAI::Point>* path) {
    kvl::KVAI::SearchState* s = ai.GetSearchState();
    if (!s) return kvl::KV_FAILED;
    s->width = grid.width;
    s->height = grid.height;
    s->startX = grid.startX;
    s->startY = grid.startY;
    s->targetX = grid.targetX;
    s->targetY = grid.targetY;
    s->stepCost = grid.stepCost;
    s->turnCost = grid.turnCost;
    s->startDirection = grid.startDirection;
    return ai.FindPath(source, path);
}

} // namespace kvtest
