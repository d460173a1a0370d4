#pragma once
// Field codes for the path search read from a grid, counting the asks per
// cell. Cells holding kFails answer that no code could be had.
#include <cstdint>
#include <vector>

#include "KVGridDijkstra.h"
#include "KVLua/KVAI.h"

namespace kvtest {

class GridSource : public kvl::KVAI::FieldCodeSource {
public:
    static constexpr int32_t kFails = -7;

    // The grid must outlive the source.
    explicit GridSource(const GridProblem& grid);
    bool AskFieldCode(int32_t x, int32_t y, int32_t* code) override;

    int32_t Asks(int32_t x, int32_t y) const { return m_asks[size_t(x + m_grid.width * y)]; }
    int32_t TotalAsks() const;
    int32_t MostAsks() const;
    bool AskedOutside() const { return m_askedOutside; }

private:
    const GridProblem& m_grid;
    std::vector<int32_t> m_asks;
    bool m_askedOutside = false;
};

// Copies the grid's size, start, target, costs and start direction into the
// search state and runs the search.
int32_t RunGridSearch(kvl::KVAI& ai, const GridProblem& grid, kvl::KVAI::FieldCodeSource* source,
                      std::vector<kvl::KVAI::Point>* path);

} // namespace kvtest
