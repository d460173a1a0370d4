#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <list>
#include <string>
#include <vector>

#include <lua.hpp>

#include "KVLua/KVAI.h"
#include "support/KVGridDijkstra.h"
#include "support/KVGridSource.h"
#include "support/KVTestLuaHost.h"

using namespace kvl;
using kvtest::GridProblem;
using kvtest::GridSource;
using Points = std::vector<KVAI::Point>;

namespace {

// Rows of '.' (passable), '#' (blocked), '!' (ask fails), 'S' and 'T'.
GridProblem ParseGrid(const std::vector<std::string>& rows) {
    GridProblem p;
    p.height = int32_t(rows.size());
    p.width = int32_t(rows[0].size());
    for (int32_t y = 0; y < p.height; ++y) {
        for (int32_t x = 0; x < p.width; ++x) {
            char c = rows[size_t(y)][size_t(x)];
            p.codes.push_back(c == '#' ? 1 : c == '!' ? GridSource::kFails : 0);
            if (c == 'S') p.startX = x, p.startY = y;
            if (c == 'T') p.targetX = x, p.targetY = y;
        }
    }
    return p;
}

struct SearchResult {
    int32_t status;
    Points path;
    float cost;  // KVAI::kNoCost when unreached
};

SearchResult Search(KVAI& ai, const GridProblem& p, KVAI::FieldCodeSource* source) {
    SearchResult r;
    r.status = kvtest::RunGridSearch(ai, p, source, &r.path);
    r.cost = ai.GetSearchState()->bestCost;
    if (auto* grid = dynamic_cast<GridSource*>(source)) {
        EXPECT_FALSE(grid->AskedOutside());
    }
    return r;
}

// A plain copy of the search as the engine defines it (first-in first-out,
// one cost per cell compared after truncation, turning points only), written
// apart from the engine's code.
SearchResult ReferenceSearch(const GridProblem& p) {
    struct Cell {
        int32_t parent = -1;
        float cost = -1.0f;
    };
    struct Node {
        int32_t x, y, direction, parent;
        float cost;
    };
    std::vector<Cell> cells(p.codes.size());
    std::list<Node> open{{p.startX, p.startY, p.startDirection, -1, 0.0f}};
    float best = KVAI::kNoCost;
    const int32_t target = p.targetX + p.width * p.targetY;
    while (!open.empty()) {
        Node n = open.front();
        open.pop_front();
        const int32_t index = n.x + p.width * n.y;
        Cell& cell = cells[size_t(index)];
        if (cell.cost != -1.0f && !(n.cost < float(uint32_t(cell.cost)))) continue;
        if (!(n.cost < best)) continue;
        cell.cost = n.cost;
        cell.parent = n.parent;
        if (index == target) {
            best = n.cost;
            continue;
        }
        const int32_t moves[4][3] = {{-1, 0, 1}, {1, 0, 3}, {0, -1, 2}, {0, 1, 4}};
        for (const auto& m : moves) {
            const int32_t x = n.x + m[0], y = n.y + m[1];
            if (x < 0 || y < 0 || x >= p.width || y >= p.height || !p.Passable(x, y)) continue;
            int32_t d = m[2] - n.direction;
            if (d < -2) d += 4;
            if (d > 2) d -= 4;
            float cost = n.cost + p.stepCost;
            if (p.turnCost != 0.0f) cost += p.turnCost * float(std::abs(d));
            open.push_back({x, y, m[2], index, cost});
        }
    }
    SearchResult r{KV_OK, {}, best};
    if (best == KVAI::kNoCost) return r;
    // Walk back from the target, keeping the cells where the step kind changes.
    std::vector<int32_t> chain;
    for (int32_t i = target; i != -1; i = cells[size_t(i)].parent) chain.push_back(i);
    for (size_t k = 0; k < chain.size(); ++k) {
        bool keep = k == 0 || k + 1 == chain.size();
        if (!keep) {
            keep = (chain[k - 1] - chain[k]) != (chain[k] - chain[k + 1]);
        }
        if (keep) r.path.push_back({chain[k] % p.width, chain[k] / p.width});
    }
    std::reverse(r.path.begin(), r.path.end());
    return r;
}

std::string Describe(const Points& path) {
    std::string text;
    for (const KVAI::Point& pt : path) text += "(" + std::to_string(pt.x) + "," + std::to_string(pt.y) + ")";
    return text;
}

class KVAISearch : public ::testing::Test {
protected:
    void SetUp() override { ai.Init(0); }
    KVAI ai;
};

TEST_F(KVAISearch, SmallGridsGiveTheCheapestPathAndItsTurningPoints) {
    struct Case {
        const char* name;
        std::vector<std::string> rows;
        Points path;
        float cost;  // -1: unreachable
    } cases[] = {
        // The first move down needs no turn from the default start direction;
        // of the equally long paths the one with a single turn wins.
        {"open field", {"S....", ".....", ".....", ".....", "....T"}, {{0, 0}, {0, 4}, {4, 4}}, 9.0f},
        {"straight corridor", {"S...T"}, {{0, 0}, {4, 0}}, 5.0f},
        {"corner", {"S###", "...T"}, {{0, 0}, {0, 1}, {3, 1}}, 5.0f},
        {"walls", {"S.#...", "#.#.#.", "..#.#.", ".##.#.", "....#T"},
         {{0, 0}, {1, 0}, {1, 2}, {0, 2}, {0, 4}, {3, 4}, {3, 0}, {5, 0}, {5, 4}}, -2.0f},
        {"start is goal", {"...", ".S.", "..."}, {{1, 1}}, 0.0f},
        {"no path", {"S.#..", "..#..", "###..", "....T"}, {}, -1.0f},
        {"goal behind diagonal gaps", {"S..#..", "..#...", ".#....", "#.....", ".....T"}, {}, -1.0f},
        {"blocked goal", {"S..#", "...#", "..#T"}, {}, -1.0f},
        {"one cell wide", {"S", ".", ".", "T"}, {{0, 0}, {0, 3}}, 3.0f},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        GridProblem p = ParseGrid(c.rows);
        if (std::string(c.name) == "start is goal") p.targetX = p.startX, p.targetY = p.startY;
        if (std::string(c.name) == "blocked goal") p.codes.back() = 1;
        GridSource source(p);
        SearchResult r = Search(ai, p, &source);
        ASSERT_EQ(r.status, KV_OK);
        EXPECT_EQ(Describe(r.path), Describe(c.path));
        const double dijkstra = kvtest::GridDijkstraCost(p);
        if (c.cost == -1.0f) {
            EXPECT_EQ(r.cost, KVAI::kNoCost);
            EXPECT_EQ(dijkstra, -1.0);
        } else {
            if (c.cost >= 0.0f) {
                EXPECT_EQ(r.cost, c.cost);
            }
            EXPECT_EQ(double(r.cost), dijkstra);
        }
        if (std::string(c.name) == "start is goal") {
            EXPECT_EQ(source.TotalAsks(), 0);
        }
        EXPECT_LE(source.MostAsks(), 1) << "a cell's code is asked once per search";
    }
}

TEST_F(KVAISearch, FirstMoveIsChargedFromTheStartDirection) {
    struct Case {
        int32_t startDirection;
        int32_t targetX, targetY;
        float cost;
    } cases[] = {
        {0, 0, 1, 2.0f},  // towards smaller x: one quarter turn
        {0, 1, 0, 3.0f},  // towards smaller y: two
        {0, 2, 1, 2.0f},  // towards larger x: one
        {0, 1, 2, 1.0f},  // towards larger y: none
        {1, 0, 1, 1.0f},
        {1, 2, 1, 3.0f},
        {2, 1, 0, 1.0f},
        {2, 1, 2, 3.0f},
        {3, 0, 1, 3.0f},
        {4, 1, 0, 3.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.startDirection) + " to " + std::to_string(c.targetX) + "," +
                     std::to_string(c.targetY));
        GridProblem p = kvtest::MakeRandomGrid(3, 3, 0, 1);
        p.startX = p.startY = 1;
        p.targetX = c.targetX;
        p.targetY = c.targetY;
        p.startDirection = c.startDirection;
        GridSource source(p);
        SearchResult r = Search(ai, p, &source);
        EXPECT_EQ(r.cost, c.cost);
        EXPECT_EQ(double(r.cost), kvtest::GridDijkstraCost(p));
        EXPECT_EQ(r.path.size(), 2u);
    }
}

// Kept as the engine defines it: a cell recorded at 1.5 is not improved by a
// later node of cost 1.0, since 1.0 is not below the truncated 1.
TEST_F(KVAISearch, RecordedCostsAreComparedAfterTruncation) {
    GridProblem p = ParseGrid({"S.", ".T"});
    p.stepCost = 0.25f;
    p.turnCost = 0.5f;
    p.startDirection = 4;
    GridSource source(p);
    SearchResult r = Search(ai, p, &source);
    EXPECT_EQ(r.cost, 1.5f);
    EXPECT_EQ(Describe(r.path), "(0,0)(1,0)(1,1)");
    EXPECT_EQ(kvtest::GridDijkstraCost(p), 1.0);  // down then right
}

TEST_F(KVAISearch, WithoutTurnCostsTheCostIsStepsTimesStepCostOnRandomGrids) {
    int32_t reached = 0;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        GridProblem p = kvtest::MakeRandomGrid(3 + int32_t(seed % 9), 3 + int32_t(seed % 7), 30, seed);
        p.targetX = p.width - 1;
        p.targetY = p.height - 1;
        p.turnCost = 0.0f;
        p.stepCost = 2.0f;
        GridSource source(p);
        SearchResult r = Search(ai, p, &source);
        const double dijkstra = kvtest::GridDijkstraCost(p);
        SCOPED_TRACE(seed);
        if (dijkstra < 0) {
            EXPECT_TRUE(r.path.empty());
            EXPECT_EQ(r.cost, KVAI::kNoCost);
        } else {
            ++reached;
            EXPECT_EQ(double(r.cost), dijkstra);
            ASSERT_FALSE(r.path.empty());
            EXPECT_EQ(r.path.front(), (KVAI::Point{p.startX, p.startY}));
            EXPECT_EQ(r.path.back(), (KVAI::Point{p.targetX, p.targetY}));
        }
    }
    EXPECT_GT(reached, 100);
}

// With turn costs the first-in first-out search may miss the cheapest path on
// rare grids; it matches a plain copy of the defined search exactly, and never
// beats the true optimum.
TEST_F(KVAISearch, MatchesTheDefinedSearchOnRandomGridsAndCosts) {
    const float costs[][2] = {{1.0f, 1.0f}, {0.25f, 0.5f}, {1.0f, 0.0f}, {0.7f, 1.3f}, {3.0f, 0.1f}};
    int32_t agreeWithDijkstra = 0, compared = 0;
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        GridProblem p = kvtest::MakeRandomGrid(2 + int32_t(seed % 11), 2 + int32_t(seed % 8), 25, seed * 7919u);
        p.startX = int32_t(seed % uint32_t(p.width));
        p.startY = int32_t((seed / 3) % uint32_t(p.height));
        p.targetX = int32_t((seed * 5) % uint32_t(p.width));
        p.targetY = int32_t((seed * 11) % uint32_t(p.height));
        p.stepCost = costs[seed % 5][0];
        p.turnCost = costs[seed % 5][1];
        p.startDirection = int32_t(seed % 5);
        GridSource source(p);
        SearchResult r = Search(ai, p, &source);
        SearchResult expected = ReferenceSearch(p);
        SCOPED_TRACE(seed);
        ASSERT_EQ(r.cost, expected.cost);
        ASSERT_EQ(Describe(r.path), Describe(expected.path));
        const double dijkstra = kvtest::GridDijkstraCost(p);
        EXPECT_EQ(dijkstra < 0, r.path.empty());
        if (dijkstra >= 0) {
            ++compared;
            EXPECT_GE(double(r.cost) + 1e-4, dijkstra);
            if (std::fabs(double(r.cost) - dijkstra) < 1e-4) ++agreeWithDijkstra;
        }
    }
    EXPECT_GT(compared, 150);
    EXPECT_GT(agreeWithDijkstra, compared * 3 / 4);
}

TEST_F(KVAISearch, FailedAsksBlockTheCellAndAreAskedAgain) {
    GridProblem p = ParseGrid({"S!.", "...", "..T"});
    GridSource source(p);
    SearchResult r = Search(ai, p, &source);
    EXPECT_EQ(Describe(r.path), "(0,0)(0,2)(2,2)");
    EXPECT_GT(source.Asks(1, 0), 1);  // not cached
    EXPECT_EQ(source.Asks(2, 0), 1);
    // Every ask failing: nothing is passable.
    GridProblem closed = ParseGrid({"S!!", "!!!", "!!T"});
    closed.codes.back() = GridSource::kFails;
    GridSource failing(closed);
    EXPECT_TRUE(Search(ai, closed, &failing).path.empty());
    // No source at all behaves the same.
    EXPECT_TRUE(Search(ai, p, nullptr).path.empty());
}

TEST_F(KVAISearch, BadGridsStartsTargetsAndCostsAreRefused) {
    struct Case {
        const char* name;
        int32_t width, height, startX, startY, targetX, targetY;
        float stepCost, turnCost;
    } cases[] = {
        {"zero width", 0, 5, 0, 0, 0, 0, 1, 1},
        {"zero height", 5, 0, 0, 0, 0, 0, 1, 1},
        {"negative size", -4, -4, 0, 0, 0, 0, 1, 1},
        {"too many cells", 2049, 2048, 0, 0, 1, 1, 1, 1},
        {"cell count overflows", 65536, 65536, 0, 0, 1, 1, 1, 1},
        {"widest", INT32_MAX, 1, 0, 0, 1, 0, 1, 1},
        {"start left", 4, 4, -1, 0, 1, 1, 1, 1},
        {"start right", 4, 4, 4, 0, 1, 1, 1, 1},
        {"start below", 4, 4, 0, 4, 1, 1, 1, 1},
        {"start above", 4, 4, 0, INT32_MIN, 1, 1, 1, 1},
        {"target left", 4, 4, 0, 0, -1, 1, 1, 1},
        {"target below", 4, 4, 0, 0, 1, 4, 1, 1},
        {"negative step", 4, 4, 0, 0, 3, 3, -1, 1},
        {"negative turn", 4, 4, 0, 0, 3, 3, 1, -0.5f},
        {"NaN step", 4, 4, 0, 0, 3, 3, std::numeric_limits<float>::quiet_NaN(), 1},
    };
    GridProblem open = kvtest::MakeRandomGrid(4, 4, 0, 1);
    GridSource source(open);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVAI::SearchState& s = *ai.GetSearchState();
        s.width = c.width;
        s.height = c.height;
        s.startX = c.startX;
        s.startY = c.startY;
        s.targetX = c.targetX;
        s.targetY = c.targetY;
        s.stepCost = c.stepCost;
        s.turnCost = c.turnCost;
        Points path{{9, 9}};
        std::string message;
        EXPECT_EQ(ai.FindPath(&source, &path, &message), KV_INVALID);
        EXPECT_TRUE(path.empty());
        EXPECT_FALSE(message.empty());
        EXPECT_FALSE(ai.IsSearching());
    }
    EXPECT_EQ(source.TotalAsks(), 0);
    // The largest accepted grid runs.
    KVAI::SearchState& s = *ai.GetSearchState();
    s.width = 2048;
    s.height = 2048;
    s.startX = s.startY = 0;
    s.targetX = s.targetY = 0;
    s.stepCost = s.turnCost = 1;
    Points path;
    EXPECT_EQ(ai.FindPath(nullptr, &path), KV_OK);
    EXPECT_EQ(path.size(), 1u);
}

TEST_F(KVAISearch, InfiniteCostsFindNoPathButEnd) {
    GridProblem p = ParseGrid({"S..", "..T"});
    p.stepCost = std::numeric_limits<float>::infinity();
    GridSource source(p);
    EXPECT_TRUE(Search(ai, p, &source).path.empty());
    p.stepCost = 3e38f;  // sums overflow to infinity
    EXPECT_TRUE(Search(ai, p, &source).path.empty());
    p.stepCost = 1e30f;
    p.turnCost = 0.0f;
    SearchResult r = Search(ai, p, &source);
    EXPECT_EQ(r.path.size(), 3u);
}

TEST(KVAIModule, PhasesMakeRegisterAndDropTheState) {
    kvtest::KVTestLuaHost lua;
    KVAI ai;
    EXPECT_EQ(KVAI::Instance(), &ai);
    EXPECT_EQ(ai.GetSearchState(), nullptr);
    Points path;
    EXPECT_EQ(ai.FindPath(nullptr, &path), KV_FAILED);
    ai.Init(0);
    KVAI::SearchState* state = ai.GetSearchState();
    ASSERT_NE(state, nullptr);
    EXPECT_TRUE(state->callback.empty());
    EXPECT_TRUE(state->cells.empty());
    ai.Init(0);
    EXPECT_EQ(ai.GetSearchState(), state);  // made once
    lua.Start();
    EXPECT_TRUE(lua.GlobalIsNil("KVAI"));  // not registered before phase 1
    ai.Init(1);
    lua.Start();  // a state set up after the registration publishes it
    EXPECT_EQ(lua.TableKeys("KVAI"), (std::vector<std::string>{"AStarFindPath", "AStarReset"}));
    ai.Release(1);
    EXPECT_EQ(ai.GetSearchState(), state);
    ai.Release(4);
    EXPECT_EQ(ai.GetSearchState(), nullptr);
    // No state: the script function gives no value.
    EXPECT_EQ(lua.Evaluate("select('#', KVAI.AStarFindPath({width = 2, height = 2}))"),
              std::vector<std::string>{"0"});
    EXPECT_TRUE(lua.Errors().empty());

    void* out = &ai;
    EXPECT_EQ(ai.QueryInterface(MakeId(1, 2), &out), KV_NOT_FOUND);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ai.Update(0.5f), KV_OK);
}

// Script-side searches: "GetFieldCode" of a namespace reads a grid table.
class KVAIScript : public ::testing::Test {
protected:
    void SetUp() override {
        ai.Init(0);
        ai.Init(1);
        lua.Start();
        ASSERT_TRUE(lua.Run(R"lua(
            Grid = { asks = 0, rows = {} }
            function Grid.Set(rows) Grid.rows = rows; Grid.asks = 0 end
            function Grid.GetFieldCode(x, y)
                Grid.asks = Grid.asks + 1
                local c = string.sub(Grid.rows[y + 1], x + 1, x + 1)
                if c == "#" then return 1 end
                return 0
            end
            function PathText(path)
                local parts = {}
                for i, p in ipairs(path) do parts[i] = "(" .. p[1] .. "," .. p[2] .. ")" end
                return table.concat(parts)
            end
        )lua"));
    }

    // Calls the library function straight from C++ with the parameter table
    // at position 1, as the binding does, and checks what it leaves.
    int CallFindPath(const std::string& parameters) {
        lua_State* L = lua.State();
        lua_settop(L, 0);
        if (luaL_dostring(L, ("return " + parameters).c_str()) != 0) return -1;
        const KVLuaFunctionEntry* entries = nullptr;
        ai.GetLuaFunctions(&entries);
        EXPECT_STREQ(entries[1].name, "AStarFindPath");
        const int pushed = entries[1].function();
        EXPECT_EQ(lua_gettop(L), 1 + pushed) << "the stack holds the argument and the results only";
        return pushed;
    }

    kvtest::KVTestLuaHost lua;
    KVAI ai;
};

TEST_F(KVAIScript, FindsPathsThroughTheScriptCallback) {
    ASSERT_TRUE(lua.Run(R"(Grid.Set({"....", ".##.", "...."}))"));
    EXPECT_EQ(lua.Evaluate(R"(PathText(KVAI.AStarFindPath({start = {0, 0}, target = {3, 2}, width = 4,
                                 height = 3, callback = "Grid"})), Grid.asks)"),
              (std::vector<std::string>{"(0,0)(0,2)(3,2)", "12"}));  // every cell once
    EXPECT_EQ(lua.Evaluate(R"(#KVAI.AStarFindPath({start = {1, 0}, target = {1, 1}, width = 4, height = 3,
                                                    callback = "Grid"}))"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(lua.Evaluate(R"(select('#', KVAI.AStarReset()))"), std::vector<std::string>{"0"});
    EXPECT_TRUE(lua.Errors().empty());
}

TEST_F(KVAIScript, StackStaysBalancedOverA256By256Search) {
    // The first grid of the sequence whose far corner can be reached.
    GridProblem p;
    for (uint32_t seed = 1;; ++seed) {
        p = kvtest::MakeRandomGrid(256, 256, 30, seed);
        p.codes[0] = p.codes.back() = 0;
        p.targetX = p.targetY = 255;
        if (kvtest::GridDijkstraCost(p) > 0) break;
    }
    std::string rows = "Grid.Set({";
    for (int32_t y = 0; y < 256; ++y) {
        rows += "\"";
        for (int32_t x = 0; x < 256; ++x) rows += p.codes[size_t(x + 256 * y)] ? '#' : '.';
        rows += "\",";
    }
    rows += "})";
    ASSERT_TRUE(lua.Run(rows));

    ASSERT_EQ(CallFindPath("{start = {0, 0}, target = {255, 255}, width = 256, height = 256, callback = 'Grid'}"), 1);
    lua_State* L = lua.State();
    lua_setglobal(L, "found");
    EXPECT_EQ(lua_gettop(L), 1);
    const int asks = std::stoi(lua.Evaluate("Grid.asks")[0]);
    EXPECT_GT(asks, 10000);
    EXPECT_LE(asks, 256 * 256);

    // Same path as the search over the same grid from C++.
    GridSource source(p);
    SearchResult expected = Search(ai, p, &source);
    ASSERT_FALSE(expected.path.empty());
    EXPECT_EQ(lua.Evaluate("PathText(found)")[0], Describe(expected.path));
    EXPECT_TRUE(lua.Errors().empty());
}

TEST_F(KVAIScript, CallbacksThatFailOrReturnOddValues) {
    struct Case {
        const char* callback;
        const char* path;
        const char* error;
    } cases[] = {
        {"function(x, y) error('no map') end", "", "no map"},
        {"function(x, y) return nil end", "(0,0)(2,0)", ""},
        {"function(x, y) end", "(0,0)(2,0)", ""},
        {"function(x, y) return 'abc' end", "(0,0)(2,0)", ""},
        {"function(x, y) return true end", "(0,0)(2,0)", ""},
        {"function(x, y) return {} end", "(0,0)(2,0)", ""},
        {"function(x, y) return '1' end", "", ""},
        {"function(x, y) return 1e300 end", "", ""},
        {"function(x, y) return -5 end", "", ""},
        {"function(x, y) return 1, 0 end", "(0,0)(2,0)", ""},  // the last result counts
        {"function(x, y) return 0, 1 end", "", ""},
        {"function(x, y) return 7, 8, 9, 0 end", "(0,0)(2,0)", ""},  // every result is taken off
        {"42", "", ""},  // not a function
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.callback);
        lua.ClearErrors();
        ASSERT_TRUE(lua.Run(std::string("Odd = { GetFieldCode = ") + c.callback + " }"));
        ASSERT_EQ(CallFindPath("{start = {0, 0}, target = {2, 0}, width = 3, height = 1, callback = 'Odd'}"), 1);
        lua_setglobal(lua.State(), "found");
        EXPECT_EQ(lua.Evaluate("PathText(found)")[0], c.path);
        if (*c.error) {
            ASSERT_FALSE(lua.Errors().empty());
            EXPECT_NE(lua.Errors()[0].find(c.error), std::string::npos);
        } else {
            EXPECT_TRUE(lua.Errors().empty());
        }
    }
    // No such namespace, or none given: nothing is passable.
    EXPECT_EQ(CallFindPath("{start = {0, 0}, target = {2, 0}, width = 3, height = 1, callback = 'Missing'}"), 1);
    EXPECT_EQ(CallFindPath("{start = {0, 0}, target = {2, 0}, width = 3, height = 1}"), 1);
    EXPECT_EQ(lua_objlen(lua.State(), -1), 0u);
}

TEST_F(KVAIScript, StartAndSizeCarryOverTargetAndCallbackDoNot) {
    ASSERT_TRUE(lua.Run(R"(Grid.Set({".....", ".....", "....."}))"));
    EXPECT_EQ(lua.Evaluate(R"(PathText(KVAI.AStarFindPath({start = {4, 2}, target = {4, 0}, width = 5,
                                                             height = 3, callback = "Grid"})))"),
              std::vector<std::string>{"(4,2)(4,0)"});
    // Target (0, 0) by default; start, width and height as before.
    EXPECT_EQ(lua.Evaluate(R"(PathText(KVAI.AStarFindPath({callback = "Grid"})))"),
              std::vector<std::string>{"(4,2)(0,2)(0,0)"});
    const KVAI::SearchState* s = ai.GetSearchState();
    EXPECT_EQ(s->width, 5);
    EXPECT_EQ(s->startX, 4);
    EXPECT_EQ(s->startDirection, 0);
    // Without a callback nothing is passable.
    EXPECT_EQ(lua.Evaluate(R"(#KVAI.AStarFindPath({}))"), std::vector<std::string>{"0"});
    EXPECT_TRUE(s->callback.empty());
    // A start direction towards smaller y makes going up first the cheaper way.
    EXPECT_EQ(lua.Evaluate(R"(PathText(KVAI.AStarFindPath({direction = 1, callback = "Grid", step_cost = 2})))"),
              std::vector<std::string>{"(4,2)(4,0)(0,0)"});
    EXPECT_EQ(s->startDirection, 2);
    EXPECT_EQ(s->stepCost, 2.0f);
    EXPECT_EQ(s->bestCost, 13.0f);
    EXPECT_TRUE(lua.Errors().empty());
}

TEST_F(KVAIScript, BadCallsAreReported) {
    struct Case {
        const char* call;
        const char* values;
        const char* message;
    } cases[] = {
        {"KVAI.AStarFindPath()", "0", "Invalid number of arguments"},
        {"KVAI.AStarFindPath({}, {})", "0", "Invalid number of arguments"},
        {"KVAI.AStarFindPath('map')", "0",
         "Argument #1 type is invalid (type table expected, but type string passed to the function)"},
        {"KVAI.AStarFindPath({width = 0, height = 3})", "1", "Invalid path search grid size 0 x 3"},
        {"KVAI.AStarFindPath({width = 3000, height = 3000})", "1", "Invalid path search grid size 3000 x 3000"},
        {"KVAI.AStarFindPath({width = 1e12, height = 1e12})", "1",
         "Invalid path search grid size 2147483647 x 2147483647"},
        {"KVAI.AStarFindPath({width = 3, height = 3, start = {3, 0}})", "1",
         "Path search start (3, 0) is outside the grid"},
        {"KVAI.AStarFindPath({start = {0, 0}, target = {0, -1}})", "1",
         "Path search target (0, -1) is outside the grid"},
        {"KVAI.AStarFindPath({target = {1, 1}, step_cost = -1})", "1", "Invalid path search costs (step -1.000, turn 1.000)"},
        {"KVAI.AStarFindPath({target = {1, 1}, direction = 2147483647})", "1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        lua.ClearErrors();
        std::vector<std::string> result = lua.Evaluate(std::string("select('#', ") + c.call + ")");
        EXPECT_EQ(result, std::vector<std::string>{c.values});
        std::vector<std::string> expected;
        if (*c.message) expected.emplace_back(kvtest::ReportedAt(1, c.message));
        EXPECT_EQ(lua.Errors(), expected);
    }
}

TEST_F(KVAIScript, ASearchStartedFromTheCallbackIsRefused) {
    ASSERT_TRUE(lua.Run(R"(
        Grid.Set({"...", "...", "..."})
        Nested = {}
        function Nested.GetFieldCode(x, y)
            inner = KVAI.AStarFindPath({start = {0, 0}, target = {1, 1}, width = 2, height = 2, callback = "Grid"})
            return Grid.GetFieldCode(x, y)
        end
    )"));
    EXPECT_EQ(lua.Evaluate(R"(PathText(KVAI.AStarFindPath({start = {0, 0}, target = {2, 2}, width = 3, height = 3,
                                                             callback = "Nested"})), #inner)"),
              (std::vector<std::string>{"(0,0)(0,2)(2,2)", "0"}));
    ASSERT_FALSE(lua.Errors().empty());
    // Reported at the line of the callback that made the call.
    EXPECT_EQ(lua.Errors()[0], kvtest::ReportedAt(5, "A path search is already running"));
    EXPECT_EQ(ai.GetSearchState()->width, 3);
}

} // namespace
