#pragma once
// The loading screen: a script of the project's choice runs in a Lua state of
// its own while the project loads, and moves sprites and filled rectangles
// that are drawn every core step until it calls "Exit".
#include <cstdint>
#include <string>
#include <vector>
#include "Singleton.h"

struct lua_State;

namespace kvl {

class IKVGraphicDevice;
class IKVGraphicDevice2D;
class IKVResourceTexture;

class KVLoadAnimator : public Singleton<KVLoadAnimator> {
public:
    enum ItemKind : int32_t { ITEM_SPRITE = 0, ITEM_RECT = 1 };

    struct Item {
        int32_t kind = ITEM_SPRITE;
        int32_t x = 0;
        int32_t y = 0;
        uint32_t color = 0xFFFFFFFFu;  // 0xAARRGGBB
        bool show = false;
        int32_t width = 0;
        int32_t height = 0;
        float scaleX = 1.0f;  // kept per item; drawing applies no scale
        float scaleY = 1.0f;
        float rotation = 0.0f;  // radians, about the sprite's centre
        IKVResourceTexture* texture = nullptr;  // owned: one reference
        int32_t previous = -1;
        int32_t next = -1;
        bool live = false;
    };

    // Slots indexed from 0, a drawing list in creation order and a free list
    // of closed slots that new items take first.
    class ItemPool {
    public:
        // A walk along the drawing list. It stands on the item it visits
        // next, so closing the item just visited (or the next one) is safe.
        class Walk {
        public:
            explicit Walk(ItemPool& pool);
            ~Walk();
            Walk(const Walk&) = delete;
            Walk& operator=(const Walk&) = delete;
            // The next item's index, or -1 at the end.
            int32_t Next();

        private:
            friend class ItemPool;
            ItemPool& m_pool;
            int32_t m_next;
        };

        // A new item linked at the tail of the drawing list; its index.
        int32_t Add(const Item& item);
        // A live item, or null for any other index.
        Item* Get(int32_t index);
        // Unlinks a live item, moves walks standing on it and frees the slot.
        // The caller releases what the item holds. False for other indices.
        bool Close(int32_t index);
        void Clear();

        int32_t GetCount() const { return m_count; }
        int32_t GetSlotCount() const { return int32_t(m_items.size()); }
        // Live indices in drawing order.
        std::vector<int32_t> DrawingOrder() const;

    private:
        std::vector<Item> m_items;
        int32_t m_drawHead = -1;
        int32_t m_drawTail = -1;
        int32_t m_freeHead = -1;
        int32_t m_freeTail = -1;
        int32_t m_count = 0;
        std::vector<Walk*> m_walks;
    };

    KVLoadAnimator() = default;
    ~KVLoadAnimator();
    KVLoadAnimator(const KVLoadAnimator&) = delete;
    KVLoadAnimator& operator=(const KVLoadAnimator&) = delete;

    // The core's phase-1 set-up: finds the graphic device, clears the state.
    void Init();
    // Runs the script and its "OnAnimatorInit"; 0 when the animator runs.
    int32_t Start(const std::string& scriptPath);
    // One frame: "OnAnimatorUpdate", then the items drawn; stops after "Exit".
    void Update();
    // Releases every item and closes the script state.
    void Stop();

    // Read by the core's loading step.
    bool IsRunning() const { return m_running; }
    bool IsSuspendRequested() const { return m_suspendRequested; }
    void ClearSuspendRequest() { m_suspendRequested = false; }
    bool IsEnabled() const { return m_enabled; }
    bool HasState() const { return m_state != nullptr; }

    // Seam for tests without a core: the devices Init would ask the core for.
    void SetGraphicDevice(IKVGraphicDevice2D* device2D, IKVGraphicDevice* device) {
        m_device2D = device2D;
        m_device = device;
    }

    ItemPool& Items() { return m_items; }

    // Work behind the script functions of "KVLoadAnimator".
    int32_t CreateSprite(const std::string& path);
    int32_t CreateRect();
    void CloseItem(int32_t index);
    void RequestExit() { m_running = false; }
    void RequestSuspend() { m_suspendRequested = true; }
    void SetResourceResolution(uint32_t width, uint32_t height);
    bool IsProjectLoading() const;

private:
    void RegisterFunctions();
    void DrawItems();
    // Releases every item's texture, empties the pool and closes the script.
    void ReleaseItemsAndScript();
    void DrawSprite(const Item& item);
    void DrawRect(const Item& item);

    bool m_enabled = true;
    bool m_editorMode = false;
    bool m_running = false;
    bool m_suspendRequested = false;
    lua_State* m_state = nullptr;
    IKVGraphicDevice2D* m_device2D = nullptr;
    IKVGraphicDevice* m_device = nullptr;
    float m_lastUpdateTime = 0.0f;
    bool m_resolutionSet = false;
    float m_savedScale[2] = {1.0f, 1.0f};
    ItemPool m_items;
};

} // namespace kvl
