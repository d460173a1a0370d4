#include <gtest/gtest.h>

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
