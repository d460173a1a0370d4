#include "KVAI.h"

#include <algorithm>
#include "../kernel/KVFormat.h"
#include "IKVLua.h"

namespace kvl {
namespace {

// Recorded costs are compared as whole numbers, rounded toward zero; costs
// beyond the unsigned range compare as its top.
float TruncatedCost(float cost) {
    if (!(cost > 0.0f)) return 0.0f;
    if (cost >= 4294967296.0f) return 4294967296.0f;
    return static_cast<float>(static_cast<uint32_t>(cost));
}

// Number of quarter turns from one direction to the next (0, 1 or 2 for
// directions 1 to 4).
int64_t QuarterTurns(int32_t to, int32_t from) {
    int64_t d = int64_t(to) - int64_t(from);
    if (d < -2) d += 4;
    else if (d > 2) d -= 4;
    return d < 0 ? -d : d;
}

bool ValidCost(float cost) { return cost >= 0.0f; }  // also refuses NaN

// A node is dropped when its cell was reached at a cost it does not beat
// (after truncation), or when it is no cheaper than the best path found.
bool Dropped(float cost, float recorded, float best) {
    if (recorded != -1.0f && !(cost < TruncatedCost(recorded))) return true;
    return !(cost < best);
}

} // namespace

int32_t KVAI::QueryInterface(const KVInterfaceId& id, void** out) {
    (void)id;
    if (out) *out = nullptr;
    return KV_NOT_FOUND;
}

int32_t KVAI::Init(int32_t phase) {
    if (phase == 0 && !m_state) m_state = std::make_unique<SearchState>();
    if (phase == 1) {
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVAI", this);
    }
    return KV_OK;
}

int32_t KVAI::Release(int32_t phase) {
    if (phase == 4 && !m_searching) m_state.reset();
    return KV_OK;
}

int32_t KVAI::CheckSearch(std::string* message) const {
    auto refuse = [message](std::string text) {
        if (message) *message = std::move(text);
        return KV_INVALID;
    };
    if (!m_state) return refuse("No path search state");
    const SearchState& s = *m_state;
    if (s.width < 1 || s.height < 1 || int64_t(s.width) * int64_t(s.height) > kMaxCells) {
        return refuse(Format("Invalid path search grid size {0} x {1}", FormatValue(s.width),
                             FormatValue(s.height)));
    }
    if (s.startX < 0 || s.startX >= s.width || s.startY < 0 || s.startY >= s.height) {
        return refuse(Format("Path search start ({0}, {1}) is outside the grid", FormatValue(s.startX),
                             FormatValue(s.startY)));
    }
    if (s.targetX < 0 || s.targetX >= s.width || s.targetY < 0 || s.targetY >= s.height) {
        return refuse(Format("Path search target ({0}, {1}) is outside the grid", FormatValue(s.targetX),
                             FormatValue(s.targetY)));
    }
    // Negative costs make every revisit cheaper: the search would never end.
    if (!ValidCost(s.stepCost) || !ValidCost(s.turnCost)) {
        return refuse(Format("Invalid path search costs (step {0}, turn {1})", FormatValue(s.stepCost),
                             FormatValue(s.turnCost)));
    }
    return KV_OK;
}

int32_t KVAI::GetFieldCode(FieldCodeSource* source, int32_t x, int32_t y, int32_t index) {
    GridCell& cell = m_state->cells[size_t(index)];
    if (cell.fieldCode >= 0) return cell.fieldCode;
    int32_t code = 0;
    if (!source || !source->AskFieldCode(x, y, &code)) return cell.fieldCode;
    cell.fieldCode = code;
    return code;
}

void KVAI::Consider(FieldCodeSource* source, const SearchNode& from, int32_t x, int32_t y, int32_t index,
                    int32_t direction) {
    if (GetFieldCode(source, x, y, index) != 0) return;
    SearchState& s = *m_state;
    float cost = from.cost + s.stepCost;
    if (s.turnCost != 0.0f) cost += s.turnCost * static_cast<float>(QuarterTurns(direction, from.direction));
    // Recorded and best costs only fall, so a node that would be dropped when
    // taken from the list can be left out now: same result, a shorter list.
    if (Dropped(cost, s.cells[size_t(index)].cost, s.bestCost)) return;
    s.openList.push_back(SearchNode{x, y, index, direction, from.index, cost});
}

int32_t KVAI::FindPath(FieldCodeSource* source, std::vector<Point>* path, std::string* message) {
    if (path) path->clear();
    if (m_searching) {
        // A callback that starts a search of its own would pull the grid away
        // from under the running one.
        if (message) *message = "A path search is already running";
        return KV_FAILED;
    }
    if (!m_state) {
        if (message) *message = "No path search state";
        return KV_FAILED;
    }
    if (int32_t status = CheckSearch(message); status != KV_OK) return status;

    SearchState& s = *m_state;
    m_searching = true;
    s.startIndex = s.startX + s.width * s.startY;
    s.targetIndex = s.targetX + s.width * s.targetY;
    s.cells.assign(size_t(s.width) * size_t(s.height), GridCell{-1, -1, -1.0f});
    s.openList.clear();
    s.openList.push_back(SearchNode{s.startX, s.startY, s.startIndex, s.startDirection, -1, 0.0f});
    s.bestCost = kNoCost;

    while (!s.openList.empty()) {
        const SearchNode node = s.openList.front();
        s.openList.pop_front();
        GridCell& cell = s.cells[size_t(node.index)];
        if (Dropped(node.cost, cell.cost, s.bestCost)) continue;
        cell.cost = node.cost;
        cell.parent = node.parent;
        if (node.index == s.targetIndex) {
            s.bestCost = node.cost;
            continue;
        }
        if (node.x > 0) Consider(source, node, node.x - 1, node.y, node.index - 1, TOWARDS_SMALLER_X);
        if (node.x < s.width - 1) Consider(source, node, node.x + 1, node.y, node.index + 1, TOWARDS_LARGER_X);
        if (node.y > 0) Consider(source, node, node.x, node.y - 1, node.index - s.width, TOWARDS_SMALLER_Y);
        if (node.y < s.height - 1) {
            Consider(source, node, node.x, node.y + 1, node.index + s.width, TOWARDS_LARGER_Y);
        }
    }

    if (s.bestCost != kNoCost && path) BuildPath(path);
    s.openList.clear();
    m_searching = false;
    return KV_OK;
}

void KVAI::BuildPath(std::vector<Point>* path) const {
    const SearchState& s = *m_state;
    auto point = [&s](int32_t index) { return Point{index % s.width, index / s.width}; };
    int32_t a = s.targetIndex;
    int32_t b = s.cells[size_t(a)].parent;
    if (b == -1) {
        path->push_back(point(a));
        return;
    }
    int32_t previousKind = 0;
    // Parent links only ever lead to cheaper cells, so the walk ends at the
    // start; the bound is a guard, not a rule.
    size_t stepsLeft = s.cells.size();
    for (;;) {
        int32_t kind;
        if (a == b + 1) kind = 1;
        else if (b == a + 1) kind = 2;
        else if (a - s.width == b) kind = 3;
        else kind = 4;
        if (kind != previousKind) path->push_back(point(a));
        int32_t next = s.cells[size_t(b)].parent;
        if (next == -1 || --stepsLeft == 0) break;
        previousKind = kind;
        a = b;
        b = next;
    }
    path->push_back(point(b));
    std::reverse(path->begin(), path->end());
}

} // namespace kvl
