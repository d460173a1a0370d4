#include <gtest/gtest.h>

#include "units/NameTrie.h"

using namespace kvl;

namespace {

std::vector<int32_t> ValuesOf(const NameTrie<int32_t>& trie, const std::string& name) {
    std::vector<int32_t> values;
    for (auto at = trie.Find(name); !at.Empty(); at = NameTrie<int32_t>::NextOfName(at)) values.push_back(at.Value());
    return values;
}

TEST(NameTrieTest, NamesAreExactKeysAndShareValuesInOrder) {
    NameTrie<int32_t> trie;
    trie.Insert("Sprite", 1);
    trie.Insert("sprite", 2);
    trie.Insert("Sprite", 3);
    trie.Insert("Spr", 4);
    trie.Insert("Sprites", 5);
    EXPECT_EQ(trie.GetCount(), 5);
    EXPECT_EQ(ValuesOf(trie, "Sprite"), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(ValuesOf(trie, "sprite"), (std::vector<int32_t>{2}));
    EXPECT_EQ(ValuesOf(trie, "Spr"), (std::vector<int32_t>{4}));
    // Prefixes without values of their own, and names that run past a leaf.
    EXPECT_TRUE(trie.Find("Sp").Empty());
    EXPECT_TRUE(trie.Find("Spritesheet").Empty());
    EXPECT_TRUE(trie.Find("").Empty());
}

TEST(NameTrieTest, EmptyNameIsNeverInserted) {
    NameTrie<int32_t> trie;
    EXPECT_EQ(trie.Insert("", 7), 0);
    EXPECT_EQ(trie.GetCount(), 0);
    EXPECT_TRUE(trie.IsEmpty());
}

TEST(NameTrieTest, EraseGivesTheNextValueAndPrunesEmptyBranches) {
    NameTrie<int32_t> trie;
    trie.Insert("ab", 1);
    trie.Insert("abcd", 2);
    trie.Insert("abce", 3);
    trie.Insert("ab", 4);

    // The next value of the same name comes first.
    auto next = trie.Erase(trie.Find("ab"));
    ASSERT_FALSE(next.Empty());
    EXPECT_EQ(next.Value(), 4);
    // Then depth first: abcd's value after ab's last one.
    next = trie.Erase(next);
    ASSERT_FALSE(next.Empty());
    EXPECT_EQ(next.Value(), 2);
    EXPECT_EQ(trie.GetCount(), 2);

    // Erasing abcd's only value removes its leaf "d" only: "c" still leads to "e".
    next = trie.Erase(next);
    ASSERT_FALSE(next.Empty());
    EXPECT_EQ(next.Value(), 3);
    EXPECT_EQ(ValuesOf(trie, "abce"), (std::vector<int32_t>{3}));
    EXPECT_TRUE(trie.Find("abcd").Empty());

    // The last value takes every node with it.
    EXPECT_TRUE(trie.Erase(next).Empty());
    EXPECT_TRUE(trie.IsEmpty());
    EXPECT_EQ(trie.GetCount(), 0);
}

TEST(NameTrieTest, CopiesAreDeepAndClearEmpties) {
    NameTrie<KVAttributeSlot> base;
    base.Insert("Size_X", KVAttributeSlot{3, 0});
    NameTrie<KVAttributeSlot> derived = base;
    derived.Insert("Size_Y", KVAttributeSlot{3, 1});
    EXPECT_TRUE(base.Find("Size_Y").Empty());
    ASSERT_FALSE(derived.Find("Size_X").Empty());
    EXPECT_EQ(derived.Find("Size_X").Value(), (KVAttributeSlot{3, 0}));
    EXPECT_EQ(derived.GetCount(), 2);
    derived.Clear();
    EXPECT_TRUE(derived.Find("Size_X").Empty());
    EXPECT_FALSE(base.Find("Size_X").Empty());
}

} // namespace
