#pragma once
// Grid path search for scripts (script library "KVAI"): moves to the four
// side neighbours, a cost per step and per quarter turn, cell passability
// asked from a callback and cached for one search, first-in first-out
// expansion keeping the cheapest known cost per cell. The result lists the
// start, the points where the path turns and the target.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>
#include "../kernel/IKVModule.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVAI : public Singleton<KVAI>, public IKVModule, public KVLuaLibrary {
public:
    // Best cost meaning "no path found yet" (the largest finite float).
    static constexpr float kNoCost = 3.4028235e38f;
    // Largest grid a search accepts (2048 x 2048 cells); larger ones are refused.
    static constexpr int64_t kMaxCells = int64_t(1) << 22;

    // Directions of a move; 0 is the default start direction (none of them).
    enum Direction : int32_t {
        TOWARDS_SMALLER_X = 1,
        TOWARDS_SMALLER_Y = 2,
        TOWARDS_LARGER_X = 3,
        TOWARDS_LARGER_Y = 4,
    };

    struct GridCell {
        int32_t fieldCode;  // -1: not asked yet (or the last ask failed)
        int32_t parent;     // -1 for the start
        float cost;         // -1.0: not reached yet
    };

    struct SearchNode {
        int32_t x;
        int32_t y;
        int32_t index;
        int32_t direction;
        int32_t parent;
        float cost;
    };

    struct Point {
        int32_t x;
        int32_t y;
        bool operator==(const Point& other) const { return x == other.x && y == other.y; }
    };

    // Where field codes come from (0 passable, anything else blocked). Answers
    // false when no code could be had: the cell then counts as blocked and is
    // asked again when it is next considered.
    class FieldCodeSource {
    public:
        virtual bool AskFieldCode(int32_t x, int32_t y, int32_t* code) = 0;

    protected:
        ~FieldCodeSource() = default;
    };

    // Shared by every search; start and size carry over from one call to the next.
    struct SearchState {
        std::string callback;  // namespace holding the script's "GetFieldCode"
        int32_t startX = 0;
        int32_t startY = 0;
        int32_t targetX = 0;
        int32_t targetY = 0;
        int32_t startIndex = 0;
        int32_t targetIndex = 0;
        int32_t width = 0;
        int32_t height = 0;
        std::deque<SearchNode> openList;
        std::vector<GridCell> cells;
        float bestCost = kNoCost;
        float stepCost = 1.0f;
        float turnCost = 1.0f;
        int32_t startDirection = 0;
    };

    KVAI() = default;
    ~KVAI() override = default;

    // The module offers no interface: every request answers 4.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // 0: makes the search state; 1: registers "KVAI" with the binding.
    int32_t Init(int32_t phase) override;
    // 4: drops the search state.
    int32_t Release(int32_t phase) override;
    // "AStarReset", "AStarFindPath".
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // Null before phase 0 and after release phase 4.
    SearchState* GetSearchState() { return m_state.get(); }
    bool IsSearching() const { return m_searching; }

    // KV_OK when the state describes a search that can run; otherwise
    // KV_INVALID with the reason.
    int32_t CheckSearch(std::string* message) const;
    // Runs a search over the state's grid, start, target and costs. The path
    // is empty when the target cannot be reached. KV_INVALID (with the
    // reason, nothing asked) for a refused search, KV_FAILED without a state
    // or while another search runs.
    int32_t FindPath(FieldCodeSource* source, std::vector<Point>* path, std::string* message = nullptr);

private:
    int32_t GetFieldCode(FieldCodeSource* source, int32_t x, int32_t y, int32_t index);
    void Consider(FieldCodeSource* source, const SearchNode& from, int32_t x, int32_t y, int32_t index,
                  int32_t direction);
    void BuildPath(std::vector<Point>* path) const;

    std::unique_ptr<SearchState> m_state;
    bool m_searching = false;
};

} // namespace kvl
