#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <list>
#include <random>
#include <vector>

#include "kernel/KVIndexedList.h"

using kvl::KVIndexedList;

namespace {

std::vector<int> Values(KVIndexedList<int>& list) {
    std::vector<int> out;
    for (int32_t i = list.Head(); i != KVIndexedList<int>::kNone; i = list.Next(i)) out.push_back(*list.At(i));
    return out;
}

} // namespace

TEST(KVIndexedListTest, IndicesStayAndFreedSlotsAreReused) {
    KVIndexedList<int> list;
    int32_t a = list.PushBack(10);
    int32_t b = list.PushBack(20);
    int32_t c = list.PushBack(30);
    EXPECT_EQ(Values(list), (std::vector<int>{10, 20, 30}));
    list.Remove(b);
    EXPECT_FALSE(list.IsLive(b));
    EXPECT_EQ(list.At(b), nullptr);
    EXPECT_EQ(*list.At(c), 30);
    EXPECT_EQ(list.Size(), 2u);
    int32_t d = list.PushBack(40);
    EXPECT_EQ(d, b);  // the freed slot comes back before the array grows
    EXPECT_EQ(Values(list), (std::vector<int>{10, 30, 40}));
    list.MoveToTail(a);
    EXPECT_EQ(Values(list), (std::vector<int>{30, 40, 10}));
    EXPECT_EQ(list.Head(), c);
    EXPECT_EQ(list.Tail(), a);
    list.Remove(a);
    list.Remove(a);  // twice: nothing
    list.Remove(-1);
    list.Remove(99);
    EXPECT_EQ(Values(list), (std::vector<int>{30, 40}));
    list.Clear();
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_EQ(list.Head(), KVIndexedList<int>::kNone);
}

TEST(KVIndexedListTest, WalksSurviveRemovals) {
    KVIndexedList<int> list;
    std::vector<int32_t> idx;
    for (int v = 0; v < 6; ++v) idx.push_back(list.PushBack(v));
    KVIndexedList<int>::Iterator it(list, list.Head());
    KVIndexedList<int>::Iterator other(list, idx[3]);
    std::vector<int> seen;
    while (!it.AtEnd()) {
        int32_t i = it.Index();
        it.Next();
        seen.push_back(*list.At(i));
        // Removing the current one and the one the walk stands on.
        if (*list.At(i) == 1) {
            list.Remove(i);
            list.Remove(idx[2]);
        }
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 3, 4, 5}));
    // An iterator on a removed slot moves to its successor.
    list.Remove(idx[3]);
    EXPECT_EQ(other.Index(), idx[4]);
    list.Remove(idx[5]);
    list.Remove(idx[4]);
    EXPECT_TRUE(other.AtEnd());
}

TEST(KVIndexedListTest, FreedSlotsComeBackFirstFreedFirstReused) {
    KVIndexedList<int> list;
    for (int v = 0; v < 3; ++v) list.PushBack(v);
    list.Remove(2);
    list.Remove(0);
    list.Remove(0);  // already free: refused, the free chain stays 2, 0, 1
    list.Remove(1);
    EXPECT_EQ(list.Head(), KVIndexedList<int>::kNone);
    EXPECT_EQ(list.Tail(), KVIndexedList<int>::kNone);
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_EQ(list.PushBack(10), 2);
    EXPECT_EQ(list.PushBack(11), 0);
    EXPECT_EQ(list.PushBack(12), 1);
    EXPECT_EQ(list.PushBack(13), 3);  // the chain is empty: the array grows
    EXPECT_EQ(Values(list), (std::vector<int>{10, 11, 12, 13}));
}

namespace {

// The same list kept as a std::list of (index, value), with its free slots in
// a queue: inserts take the oldest free slot, or a new one.
struct ListModel {
    std::list<std::pair<int32_t, int>> items;
    std::deque<int32_t> free;
    int32_t slots = 0;

    int32_t Insert(int value) {
        int32_t index = slots;
        if (!free.empty()) {
            index = free.front();
            free.pop_front();
        } else {
            ++slots;
        }
        items.emplace_back(index, value);
        return index;
    }
    // Removes a live index; a walk's cursor standing on it moves on first.
    void Remove(int32_t index, std::list<std::pair<int32_t, int>>::iterator* cursor = nullptr) {
        auto it = std::find_if(items.begin(), items.end(), [&](const auto& p) { return p.first == index; });
        if (it == items.end()) return;
        if (cursor && *cursor == it) ++*cursor;
        items.erase(it);
        free.push_back(index);
    }
    std::vector<std::pair<int32_t, int>> Contents() const { return {items.begin(), items.end()}; }
};

std::vector<std::pair<int32_t, int>> Contents(KVIndexedList<int>& list) {
    std::vector<std::pair<int32_t, int>> out;
    for (int32_t i = list.Head(); i != KVIndexedList<int>::kNone; i = list.Next(i)) out.emplace_back(i, *list.At(i));
    return out;
}

} // namespace

// Random inserts and removals, also of free and unknown slots, and walks that
// remove the visited slot, the one about to be visited, or everything.
TEST(KVIndexedListTest, FollowsAStdListModel) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    for (int round = 0; round < 40; ++round) {
        KVIndexedList<int> list;
        ListModel model;
        int next = 0;
        for (int op = 0; op < 300; ++op) {
            int kind = pick(10);
            if (kind < 5 || model.items.empty()) {
                ASSERT_EQ(list.PushBack(next), model.Insert(next));
                ++next;
            } else if (kind < 8) {
                int32_t index = pick(model.slots + 2) - 1;  // live, free, -1 or past the end
                list.Remove(index);
                model.Remove(index);
            } else {
                KVIndexedList<int>::Iterator it(list, list.Head());
                auto cursor = model.items.begin();
                while (!it.AtEnd()) {
                    int32_t current = it.Index();
                    it.Next();
                    ASSERT_NE(cursor, model.items.end());
                    ASSERT_EQ(current, cursor->first);
                    ++cursor;
                    switch (pick(5)) {
                    case 0:
                        list.Remove(current);
                        model.Remove(current, &cursor);
                        break;
                    case 1:
                        if (!it.AtEnd()) {
                            int32_t ahead = it.Index();
                            list.Remove(ahead);
                            model.Remove(ahead, &cursor);
                        }
                        break;
                    case 2:
                        ASSERT_EQ(list.PushBack(next), model.Insert(next));
                        ++next;
                        break;
                    case 3:
                        if (pick(8) == 0) {
                            for (auto [index, value] : model.Contents()) {
                                list.Remove(index);
                                model.Remove(index, &cursor);
                            }
                        }
                        break;
                    default:
                        break;
                    }
                }
                EXPECT_EQ(cursor, model.items.end());
            }
            ASSERT_EQ(Contents(list), model.Contents()) << "round " << round << " op " << op;
            ASSERT_EQ(list.Size(), model.items.size());
            ASSERT_EQ(list.Tail(), model.items.empty() ? KVIndexedList<int>::kNone : model.items.back().first);
        }
    }
}

namespace {

using Cursor = KVIndexedList<int>::Cursor;

std::vector<int> Walk(KVIndexedList<int>& list, Cursor& cursor, int32_t removeAt, int32_t removeOther) {
    std::vector<int> seen;
    for (; !cursor.AtEnd(); cursor.Next()) {
        seen.push_back(*list.At(cursor.Current()));
        if (cursor.Current() == removeAt) {
            list.Remove(removeAt, true);
            if (removeOther != -1) list.Remove(removeOther, true);
        }
    }
    return seen;
}

} // namespace

// A cursor keeps the slot it stands on and its neighbours: removing the
// slot it stands on, or the one it goes to next, leaves the rest visited once.
TEST(KVIndexedListTest, CursorsVisitTheRestOnceWhatEverIsRemoved) {
    struct Case {
        const char* name;
        int32_t removeAt, removeOther;
        std::vector<int> seen;
    };
    const std::vector<Case> cases = {
        {"current", 2, -1, {0, 1, 2, 3, 4}},
        {"current and next", 1, 2, {0, 1, 3, 4}},
        {"next only", 0, 1, {0, 2, 3, 4}},
        {"the tail from its predecessor", 3, 4, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVIndexedList<int> list;
        for (int v = 0; v < 5; ++v) list.PushBack(v);
        auto cursor = list.Begin();
        EXPECT_EQ(Walk(list, *cursor, c.removeAt, c.removeOther), c.seen);
        EXPECT_EQ(cursor->Current(), -1);
        EXPECT_EQ(cursor->Previous(), -1);
    }
    KVIndexedList<int> empty;
    auto cursor = empty.Begin();
    EXPECT_TRUE(cursor->AtEnd());
    EXPECT_EQ(cursor->Current(), -1);
}

TEST(KVIndexedListTest, EraseAnswersACursorOnTheFollowingSlotThatGoesWithIt) {
    KVIndexedList<int> list;
    for (int v = 0; v < 5; ++v) list.PushBack(v);
    auto watching = list.Begin();
    watching->Next();  // on 1, next 2
    {
        auto after = list.Erase(2);
        EXPECT_EQ(after->Current(), 3);
        EXPECT_EQ(after->Previous(), 1);
        EXPECT_EQ(after->NextSlot(), 4);
        EXPECT_EQ(list.CursorCount(), 2u);
        EXPECT_EQ(watching->NextSlot(), 3);
    }
    EXPECT_EQ(list.CursorCount(), 1u);
    list.Erase(4);  // an unused answer is dropped at once
    EXPECT_EQ(list.CursorCount(), 1u);
    EXPECT_TRUE(list.Erase(3)->AtEnd());
    EXPECT_EQ(watching->NextSlot(), -1);
    EXPECT_EQ(Values(list), (std::vector<int>{0, 1}));
    watching.reset();
    EXPECT_EQ(list.CursorCount(), 0u);
}

// Slots freed with a mark are passed by until the marks are cleared;
// append mode never reuses.
TEST(KVIndexedListTest, MarkedSlotsWaitAndAppendModeGrows) {
    KVIndexedList<int> list;
    for (int v = 0; v < 5; ++v) list.PushBack(v);
    list.Remove(3, true);
    EXPECT_TRUE(list.IsFreedMarked(3));
    EXPECT_EQ(list.PushBack(10, false), 5);
    list.Remove(1);
    EXPECT_EQ(list.PushBack(11, false), 1);
    EXPECT_EQ(list.PushBack(12, true), 6);
    list.ClearFreedMarks();
    EXPECT_FALSE(list.IsFreedMarked(3));
    EXPECT_EQ(list.PushBack(13, false), 3);
    EXPECT_EQ(list.PushBack(14, false), 7);
    EXPECT_EQ(list.SlotCount(), 8u);
    EXPECT_EQ(Values(list), (std::vector<int>{0, 2, 4, 10, 11, 12, 13, 14}));
}

// A cursor that outlives its list is left standing nowhere.
TEST(KVIndexedListTest, ACursorOutlivingItsListIsHarmless) {
    std::unique_ptr<Cursor> cursor;
    {
        KVIndexedList<int> list;
        list.PushBack(1);
        cursor = list.Begin();
        list.Clear();
        EXPECT_TRUE(cursor->AtEnd());
    }
    cursor.reset();
}
