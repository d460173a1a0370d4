// Path search on a 256 x 256 grid with 30 % walls against a plain Dijkstra
// over the same grid and cost rules (step and quarter-turn costs).
#include <cstdio>
#include <memory>
#include <vector>

#include "KVBench.h"
#include "KVLua/KVAI.h"
#include "support/KVGridDijkstra.h"
#include "support/KVGridSource.h"

namespace {

struct AStarSetup {
    kvtest::GridProblem grid;
    std::unique_ptr<kvtest::GridSource> source;
    kvl::KVAI ai;
    std::vector<kvl::KVAI::Point> path;
    double sink = 0.0;

    AStarSetup() {
        // The first grid of the sequence whose far corner can be reached.
        for (uint32_t seed = 1;; ++seed) {
            grid = kvtest::MakeRandomGrid(256, 256, 30, seed);
            grid.codes.front() = grid.codes.back() = 0;
            grid.targetX = grid.targetY = 255;
            if (kvtest::GridDijkstraCost(grid) > 0) break;
        }
        source = std::make_unique<kvtest::GridSource>(grid);
        ai.Init(0);
    }
};

// One grid and one search module for both figures, made at the first
// round, not at registration: the search module is the program-wide
// instance, which a whole core made by an earlier figure would otherwise
// take for its own.
AStarSetup* SharedSetup() { return &kvbench::Lazy<AStarSetup>(); }

kvbench::Figure MakeFigure(const char* name, float turnCost, double target) {
    kvbench::Figure f;
    f.name = name;
    f.baselineName = "plain Dijkstra";
    f.target = target;
    f.baseline = [turnCost] {
        const auto setup = SharedSetup();
        setup->grid.turnCost = turnCost;
        setup->sink += kvtest::GridDijkstraCost(setup->grid);
    };
    f.subject = [turnCost] {
        const auto setup = SharedSetup();
        setup->grid.turnCost = turnCost;
        kvtest::RunGridSearch(setup->ai, setup->grid, setup->source.get(), &setup->path);
        setup->sink += setup->ai.GetSearchState()->bestCost;
    };
    return f;
}

// Default costs (step 1, quarter turn 1): first-in first-out expansion
// reaches cells again and again as cheaper turn sequences arrive, where
// Dijkstra settles each (cell, direction) once.
kvbench::Figure MakeDefaultCostFigure() {
    return MakeFigure("KVAI FindPath 256x256, 30% walls, turn cost 1", 1.0f, 5.0);
}

// Without turn costs every cell is settled on its first visit, in
// breadth-first order, with no priority queue.
kvbench::Figure MakeNoTurnCostFigure() {
    return MakeFigure("KVAI FindPath 256x256, 30% walls, turn cost 0", 0.0f, 0.5);
}

KV_BENCH_FIGURE(MakeDefaultCostFigure);
KV_BENCH_FIGURE(MakeNoTurnCostFigure);

} // namespace
