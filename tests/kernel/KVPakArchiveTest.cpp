#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "kernel/KVPakArchive.h"
#include "kernel/KVTypes.h"
#include "support/KVPakWriter.h"

using namespace kvl;

namespace {

// An archive made from a whole pak file (its head is skipped).
std::unique_ptr<KVPakArchive> FromFile(const std::string& file, bool compressed) {
    auto archive = std::make_unique<KVPakArchive>(compressed);
    uint32_t size = uint32_t(file.size()) - KVPakArchive::kHeadSize;
    EXPECT_TRUE(archive->Allocate(size));
    std::memcpy(archive->Body(), file.data() + KVPakArchive::kHeadSize, size);
    return archive;
}

// An archive from hand-made body words.
std::unique_ptr<KVPakArchive> FromWords(const std::vector<uint32_t>& words) {
    std::string body;
    for (uint32_t w : words) body.append(reinterpret_cast<const char*>(&w), 4);
    auto archive = std::make_unique<KVPakArchive>(false);
    EXPECT_TRUE(archive->Allocate(uint32_t(body.size())));
    std::memcpy(archive->Body(), body.data(), body.size());
    return archive;
}

uint32_t Node(char c, uint32_t flags, uint32_t child = 0) { return (uint32_t(uint8_t(c)) << 24) | flags | child; }

constexpr uint32_t C = KVPakArchive::kHasChildren;
constexpr uint32_t S = KVPakArchive::kHasSibling;
constexpr uint32_t F = KVPakArchive::kEndsFile;

} // namespace

TEST(KVPakArchiveTest, EveryEntryOfTheWriterIsFoundAndListed) {
    kvtest::KVPakWriter w;
    const std::map<std::string, std::string> files = {
        {"a", "1"}, {"a/b", "22"}, {"ab", "333"}, {"dir/x.txt", ""}, {"dir/y.txt", "y"}, {"\xe9t\xe9.txt", "accents"}};
    for (const auto& f : files) w.Add(f.first, f.second);
    for (bool compressed : {false, true}) {
        auto archive = FromFile(w.Build(compressed), compressed);
        ASSERT_TRUE(archive->Validate());
        std::map<std::string, uint32_t> seen;
        archive->ForEachEntry([&](const std::string& path, const PakFileRecord& r) { seen[path] = r.size; });
        ASSERT_EQ(seen.size(), files.size());
        for (const auto& f : files) {
            EXPECT_EQ(seen[f.first], f.second.size()) << f.first;
            PakFileRecord record;
            ASSERT_TRUE(archive->Lookup(f.first.data(), f.first.size(), &record)) << f.first;
            KVPakEntry entry;
            ASSERT_TRUE(entry.Open(*archive, record));
            std::string data(record.size + 1, '\0');
            uint32_t got = 0;
            // An empty entry is at its end at once: the read gives nothing and fails.
            EXPECT_EQ(entry.Read(&data[0], uint32_t(data.size()), &got), f.second.empty() ? KV_READ_FAILED : KV_OK);
            EXPECT_EQ(data.substr(0, got), f.second);
        }
        // Directories and prefixes are no files.
        for (const char* path : {"dir", "dir/", "di", "a/", "abc", ""})
            EXPECT_FALSE(archive->Lookup(path, std::strlen(path), nullptr)) << path;
    }
}

TEST(KVPakArchiveTest, DirectoriesThatAreNoTreesAreRejected) {
    struct Case {
        const char* name;
        std::vector<uint32_t> words;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"one file", {Node('a', F), 8, 0, 0}, true},
        {"empty node without file", {Node('a', 0)}, true},
        {"child list is its own parent list", {Node('a', C, 0)}, false},
        {"two nodes share a child list", {Node('a', C | S, 2), Node('b', C, 2), Node('x', 0)}, false},
        {"child list starts on a payload word", {Node('a', F | S), 12, Node('b', C, 1), 0, 0}, false},
        {"child past the body", {Node('a', C, 5)}, false},
        {"sibling past the body", {Node('a', S)}, false},
        {"payload word missing", {Node('a', F)}, false},
        {"record past the body", {Node('a', F), 4}, false},
        {"content past the body", {Node('a', F), 8, 16, 1}, false},
        {"content right at the end", {Node('a', F), 8, 16, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto archive = FromWords(c.words);
        EXPECT_EQ(archive->Validate(), c.valid);
        // Nothing is found in an archive that failed its check.
        if (!c.valid) {
            EXPECT_FALSE(archive->Lookup("a", 1, nullptr));
        }
    }
    // A body of one to three bytes cannot hold a node; an empty one holds no entry.
    for (uint32_t size : {1u, 2u, 3u}) {
        KVPakArchive archive(false);
        ASSERT_TRUE(archive.Allocate(size));
        EXPECT_FALSE(archive.Validate());
    }
    KVPakArchive empty(true);
    ASSERT_TRUE(empty.Allocate(0));
    EXPECT_TRUE(empty.Validate());
    KVPakArchive::ListState state;
    EXPECT_FALSE(empty.ListNext(&state, "*", nullptr, nullptr));
}

TEST(KVPakArchiveTest, HeadsAndDescriptors) {
    std::string head = kvtest::KVPakWriter().Build(false);
    ASSERT_EQ(head.size(), 32u);
    EXPECT_TRUE(KVPakArchive::CheckHead(reinterpret_cast<const uint8_t*>(head.data()), head.size()));
    EXPECT_FALSE(KVPakArchive::CheckHead(reinterpret_cast<const uint8_t*>(head.data()), 31));
    EXPECT_FALSE(KVPakArchive::CheckHead(nullptr, 32));

    std::vector<PakDescriptorRecord> records;
    std::string none = kvtest::BuildPakDescriptor({});
    EXPECT_TRUE(KVPakArchive::ParseDescriptor(reinterpret_cast<const uint8_t*>(none.data()), none.size(), &records));
    EXPECT_TRUE(records.empty());
    std::string two = kvtest::BuildPakDescriptor({{"a", true, false, "g"}, {"b", false, true, ""}}, 0);
    // Extra bytes after the records are not read.
    two += "trailing";
    ASSERT_TRUE(KVPakArchive::ParseDescriptor(reinterpret_cast<const uint8_t*>(two.data()), two.size(), &records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "a");
    EXPECT_EQ(records[0].group, "g");
    EXPECT_TRUE(records[0].loadWithProject);
    EXPECT_FALSE(records[0].compressed);
    EXPECT_TRUE(records[1].compressed);
    EXPECT_FALSE(KVPakArchive::ParseDescriptor(reinterpret_cast<const uint8_t*>(two.data()), 8 + 64 + 63, &records));
    EXPECT_TRUE(records.empty());
}

TEST(KVPakArchiveTest, EntriesOfADamagedRecordDoNotOpen) {
    // Records are checked when an entry opens as well as by the directory check.
    kvtest::KVPakWriter w;
    w.Add("f", "content");
    std::string file = w.Build(false);
    auto archive = FromFile(file, false);
    ASSERT_TRUE(archive->Validate());
    KVPakEntry entry;
    EXPECT_FALSE(entry.Open(*archive, PakFileRecord{archive->BodySize() - 2, 3}));
    EXPECT_FALSE(entry.IsOpen());
    uint32_t got = 9;
    char b[4];
    EXPECT_EQ(entry.Read(b, 4, &got), KV_INVALID);
    EXPECT_EQ(got, 0u);
    auto packed = FromFile(w.Build(true), true);
    ASSERT_TRUE(packed->Validate());
    EXPECT_FALSE(entry.Open(*packed, PakFileRecord{packed->BodySize() - 3, 3}));
}
