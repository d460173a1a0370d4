#include "KVLoadAnimator.h"

#include <lua.hpp>

#include <cmath>

#include "../KVLua/KVLua.h"
#include "../graphics/IKVGraphicDevice.h"
#include "../graphics/IKVGraphic.h"
#include "../graphics/IKVResourceTexture.h"
#include "KVCore.h"
#include "KVPath.h"
#include "KVTimer.h"

namespace kvl {

// ---- item pool ----

KVLoadAnimator::ItemPool::Walk::Walk(ItemPool& pool) : m_pool(pool), m_next(pool.m_drawHead) {
    m_pool.m_walks.push_back(this);
}

KVLoadAnimator::ItemPool::Walk::~Walk() {
    std::vector<Walk*>& walks = m_pool.m_walks;
    for (size_t i = walks.size(); i-- > 0;) {
        if (walks[i] == this) {
            walks.erase(walks.begin() + std::ptrdiff_t(i));
            break;
        }
    }
}

int32_t KVLoadAnimator::ItemPool::Walk::Next() {
    int32_t current = m_next;
    if (current >= 0) m_next = m_pool.m_items[size_t(current)].next;
    return current;
}

int32_t KVLoadAnimator::ItemPool::Add(const Item& item) {
    int32_t index;
    if (m_freeHead >= 0) {
        index = m_freeHead;
        m_freeHead = m_items[size_t(index)].next;
        if (m_freeHead < 0) m_freeTail = -1;
    } else {
        index = int32_t(m_items.size());
        m_items.emplace_back();
    }
    Item& slot = m_items[size_t(index)];
    slot = item;
    slot.live = true;
    slot.previous = m_drawTail;
    slot.next = -1;
    if (m_drawTail >= 0) {
        m_items[size_t(m_drawTail)].next = index;
    } else {
        m_drawHead = index;
    }
    m_drawTail = index;
    ++m_count;
    return index;
}

KVLoadAnimator::Item* KVLoadAnimator::ItemPool::Get(int32_t index) {
    if (index < 0 || size_t(index) >= m_items.size()) return nullptr;
    Item& item = m_items[size_t(index)];
    return item.live ? &item : nullptr;
}

bool KVLoadAnimator::ItemPool::Close(int32_t index) {
    Item* item = Get(index);
    if (!item) return false;
    for (Walk* walk : m_walks) {
        if (walk->m_next == index) walk->m_next = item->next;
    }
    if (item->previous >= 0) {
        m_items[size_t(item->previous)].next = item->next;
    } else {
        m_drawHead = item->next;
    }
    if (item->next >= 0) {
        m_items[size_t(item->next)].previous = item->previous;
    } else {
        m_drawTail = item->previous;
    }
    item->live = false;
    item->texture = nullptr;
    item->previous = -1;
    item->next = -1;
    if (m_freeTail >= 0) {
        m_items[size_t(m_freeTail)].next = index;
    } else {
        m_freeHead = index;
    }
    m_freeTail = index;
    --m_count;
    return true;
}

void KVLoadAnimator::ItemPool::Clear() {
    m_items.clear();
    m_drawHead = m_drawTail = -1;
    m_freeHead = m_freeTail = -1;
    m_count = 0;
    for (Walk* walk : m_walks) walk->m_next = -1;
}

std::vector<int32_t> KVLoadAnimator::ItemPool::DrawingOrder() const {
    std::vector<int32_t> order;
    for (int32_t i = m_drawHead; i >= 0; i = m_items[size_t(i)].next) order.push_back(i);
    return order;
}

// ---- animator ----

KVLoadAnimator::~KVLoadAnimator() {
    // Normally stopped by the core's release already; never leak the script.
    ReleaseItemsAndScript();
}

void KVLoadAnimator::ReleaseItemsAndScript() {
    {
        ItemPool::Walk walk(m_items);
        for (int32_t i = walk.Next(); i >= 0; i = walk.Next()) {
            Item* item = m_items.Get(i);
            if (item && item->texture) {
                item->texture->Release();
                item->texture = nullptr;
            }
        }
    }
    m_items.Clear();
    if (m_state) {
        if (KVLua* lua = KVLua::Instance()) {
            lua->CloseStateOn(m_state);
        } else {
            lua_close(m_state);
        }
        m_state = nullptr;
    }
}

void KVLoadAnimator::Init() {
    KVCore* core = KVCore::Instance();
    if (core) {
        m_device2D = QueryCoreInterface<IKVGraphicDevice2D>(IID_IKVGraphicDevice2D);
        m_device = QueryCoreInterface<IKVGraphicDevice>(IID_IKVGraphicDevice);
    }
    m_running = false;
    m_suspendRequested = false;
    m_resolutionSet = false;
    m_state = nullptr;
    m_editorMode = core && core->IsEditorMode();
    m_enabled = !m_editorMode;
}

int32_t KVLoadAnimator::Start(const std::string& scriptPath) {
    if (!m_enabled) return 1;
    // A second start never leaves the earlier script and its items behind.
    if (m_state) Stop();
    std::string path = MakeAbsolutePath(GetProjectDirectory(), scriptPath);
    // Games ship their scripts compiled: "x.lua" is played from "x.luac".
    if (!m_editorMode && (path.empty() || path.back() != 'c')) path += 'c';
    KVLua* lua = KVLua::Instance();
    if (!lua) return 1;
    m_state = lua->CreateStateFromFile(path.c_str());
    if (!m_state) return 1;
    RegisterFunctions();
    if (lua->CallFunctionOn(m_state, nullptr, "OnAnimatorInit", 0, nullptr) != KV_OK) {
        // Whatever the script made before failing goes too, and the game's
        // 2D scale comes back, since no Exit will ever stop it.
        Stop();
        return 1;
    }
    m_running = true;
    m_suspendRequested = false;
    m_lastUpdateTime = 0.0f;
    return 0;
}

void KVLoadAnimator::Update() {
    if (!m_running) return;
    KVTimer* timer = KVTimer::Instance();
    float now = timer ? timer->GetTimeFloat() : 0.0f;
    KVLua* lua = KVLua::Instance();
    if (m_lastUpdateTime != 0.0f && lua && m_state) {
        if (lua->PushNumberOn(m_state, double(now - m_lastUpdateTime)) == KV_OK) {
            lua->CallFunctionOn(m_state, nullptr, "OnAnimatorUpdate", 1, nullptr);
        }
    }
    m_lastUpdateTime = now;
    if (m_device2D && m_device2D->BeginFrame(1) == 0) {
        DrawItems();
        m_device2D->EndFrame();
        m_device2D->Present();
    }
    if (!m_running) Stop();
}

void KVLoadAnimator::Stop() {
    IKVGraphic* graphic = GetGraphicModule();
    if (m_resolutionSet && graphic) graphic->Set2DTransform(m_savedScale, false);
    ReleaseItemsAndScript();
    // Nothing is left to animate.
    m_running = false;
}

void KVLoadAnimator::DrawItems() {
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic) return;
    ItemPool::Walk walk(m_items);
    for (int32_t i = walk.Next(); i >= 0; i = walk.Next()) {
        const Item* item = m_items.Get(i);
        if (!item || !item->show) continue;
        if (item->kind == ITEM_SPRITE) {
            DrawSprite(*item);
        } else {
            DrawRect(*item);
        }
    }
}

void KVLoadAnimator::DrawSprite(const Item& item) {
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic || !item.texture) return;
    graphic->SetTextureStage(0, item.texture);
    graphic->ResetTextureStages();
    KVDrawState state;
    state.blend = 1;
    state.textureFlag = 1;
    graphic->SetDrawState(&state, m_resolutionSet ? 0 : KVDRAW_BATCH);
    // p -> R(p - c) + c + (x, y), c being the image's centre.
    const int32_t* size = item.texture->GetImageSize();
    float cx = float(size[0] / 2);
    float cy = float(size[1] / 2);
    float cosine = std::cos(item.rotation);
    float sine = std::sin(item.rotation);
    float tx = cx - (cosine * cx - sine * cy) + float(item.x);
    float ty = cy - (sine * cx + cosine * cy) + float(item.y);
    const float matrix[6] = {cosine, sine, -sine, cosine, tx, ty};
    graphic->SetViewTransform(matrix);
    ImageDrawRecord image;
    image.color = item.color;
    graphic->DrawImage(&image);
    graphic->EndDraw();
}

void KVLoadAnimator::DrawRect(const Item& item) {
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic) return;
    // Rectangles stand where sprites do: in device pixels, or in the
    // resource resolution's coordinates once one is set; whatever a sprite
    // left as the view transform does not move them.
    KVDrawState plain;
    graphic->SetDrawState(&plain, m_resolutionSet ? 0 : KVDRAW_BATCH);
    const float identity[6] = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    graphic->SetViewTransform(identity);
    // Edges wrap like the 32-bit sums they are, without overflow.
    const KVDeviceRect rect = {item.x, item.y, int32_t(uint32_t(item.x) + uint32_t(item.width)),
                               int32_t(uint32_t(item.y) + uint32_t(item.height))};
    graphic->FillRect(&rect, &item.color, 1);
    graphic->EndDraw();
}

int32_t KVLoadAnimator::CreateSprite(const std::string& path) {
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic) return -1;
    std::string full = MakeAbsolutePath(GetProjectDirectory(), path);
    IKVResourceTexture* texture = nullptr;
    if (graphic->CreateTextureFromFile(full.c_str(), nullptr, &texture, 0) != KV_OK || !texture) return -1;
    Item item;
    item.kind = ITEM_SPRITE;
    item.color = 0xFFFFFFFFu;
    item.texture = texture;
    return m_items.Add(item);
}

int32_t KVLoadAnimator::CreateRect() {
    Item item;
    item.kind = ITEM_RECT;
    item.color = 0xFF000000u;
    return m_items.Add(item);
}

void KVLoadAnimator::CloseItem(int32_t index) {
    Item* item = m_items.Get(index);
    if (!item) return;
    IKVResourceTexture* texture = item->texture;
    m_items.Close(index);
    if (texture) texture->Release();
}

void KVLoadAnimator::SetResourceResolution(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) return;
    IKVGraphic* graphic = GetGraphicModule();
    const KVDisplayMode* screen = m_device ? m_device->GetScreenSize() : nullptr;
    if (!graphic || !screen) return;
    if (!m_resolutionSet) {
        const float* current = graphic->GetEffectiveScale();
        m_savedScale[0] = current[0];
        m_savedScale[1] = current[1];
        m_resolutionSet = true;
    }
    const float scale[2] = {float(screen->width) / float(width), float(screen->height) / float(height)};
    // Without auto-fit: the screen shows exactly width x height.
    graphic->Set2DTransform(scale, false);
}

bool KVLoadAnimator::IsProjectLoading() const {
    KVCore* core = KVCore::Instance();
    return core && core->IsProjectLoading();
}

} // namespace kvl
