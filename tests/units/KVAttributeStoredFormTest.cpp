#include <gtest/gtest.h>

#include <cstring>

#include "support/KVLogCapture.h"
#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"
#include "units/KV2DTempl.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(w >> (8 * i)));
    return out;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::string& tail) {
    a.insert(a.end(), tail.begin(), tail.end());
    return a;
}

class KVAttributeStoredFormTest : public ::testing::Test {
protected:
    void SceneFile(uint32_t version) { units.Factory().SetLoading(true, version); }

    kvtest::KVLogCapture log;
    KVTestUnits units;
};

TEST_F(KVAttributeStoredFormTest, FixedSizeValuesRoundTripAndCompare) {
    auto m = KVTestUnits::Manipulator(KVATTR_F32, "Position~X~Y", 2);
    float position[2] = {1.5f, -2.0f};
    std::vector<uint8_t> stored;
    m->Write(position, &stored);
    EXPECT_EQ(stored.size(), 8u);
    EXPECT_EQ(m->GetSize(position), 8u);
    KVReadCursor cursor(stored.data(), stored.size());
    EXPECT_EQ(m->GetStoredSize(cursor), 8u);
    float copy[2] = {1.5f, 0.0f};
    EXPECT_FALSE(m->Read(copy, &cursor, true));
    EXPECT_EQ(copy[1], 0.0f);
    EXPECT_EQ(cursor.Left(), 0u);
    cursor = KVReadCursor(stored.data(), stored.size());
    EXPECT_FALSE(m->Read(copy, &cursor, false));
    EXPECT_EQ(copy[1], -2.0f);
    cursor = KVReadCursor(stored.data(), stored.size());
    EXPECT_TRUE(m->Read(copy, &cursor, false));

    // A stored boolean byte other than 0 reads as true.
    auto flag = KVTestUnits::Manipulator(KVATTR_BOOLEAN);
    const uint8_t two = 2;
    bool value = false;
    KVReadCursor one(&two, 1);
    EXPECT_FALSE(flag->Read(&value, &one, false));
    EXPECT_TRUE(value);
}

TEST_F(KVAttributeStoredFormTest, SceneFileStringsArePaddedInEveryVersionBut20002) {
    auto m = KVTestUnits::Manipulator(KVATTR_STRING);
    std::string hello = "hello";
    std::vector<uint8_t> memory;
    m->Write(&hello, &memory);
    EXPECT_EQ(memory.size(), 9u);
    EXPECT_EQ(m->GetSize(&hello), 9u);

    // Two strings one after the other, padded and unpadded.
    const std::vector<uint8_t> padded = Concat(Concat(Bytes({5}), std::string("hello\0\0\0", 8)), "");
    const std::vector<uint8_t> paddedPair = Concat(Concat(padded, std::string("\x02\0\0\0", 4)), std::string("ok\0\0", 4));
    const std::vector<uint8_t> plainPair = Concat(Concat(Bytes({5}), "hello"), std::string("\x02\0\0\0ok", 6));
    const struct {
        uint32_t version;
        const std::vector<uint8_t>* data;
        uint32_t firstSize;
    } cases[] = {
        {0x10001, &paddedPair, 12}, {0x20001, &paddedPair, 12}, {0x20002, &plainPair, 9},
        {0x20003, &paddedPair, 12}, {0x20004, &paddedPair, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        SceneFile(c.version);
        KVReadCursor cursor(c.data->data(), c.data->size());
        // The size measured and the size read agree, so the next value is
        // read from its own place.
        EXPECT_EQ(m->GetStoredSize(cursor), c.firstSize);
        std::string first, second;
        m->Read(&first, &cursor, false);
        EXPECT_EQ(size_t(cursor.pos - c.data->data()), c.firstSize);
        m->Read(&second, &cursor, false);
        EXPECT_EQ(first, "hello");
        EXPECT_EQ(second, "ok");
        EXPECT_FALSE(cursor.failed);
    }
    // Characters after a NUL are not part of the text; equal reads say so.
    SceneFile(0x20004);
    const std::vector<uint8_t> nul = Concat(Bytes({4}), std::string("ab\0c", 4));
    std::string text = "ab";
    KVReadCursor cursor(nul.data(), nul.size());
    EXPECT_TRUE(m->Read(&text, &cursor, false));
    EXPECT_EQ(cursor.Left(), 0u);
}

TEST_F(KVAttributeStoredFormTest, UnitReferencesAreIndexesInMemoryAndUidsInSceneFiles) {
    KVUnit* owner = units.Create();
    KVUnit* target = units.Create();
    target->SetUid(0xABCDEF0123ull);
    auto m = KVTestUnits::Manipulator(KVATTR_UNIT);
    IKVUnitRef* ref = units.Factory().MakeUnitRef(owner->GetIndex(), &KVUnit::kLayerId);
    ref->SetIndex(target->GetIndex());

    std::vector<uint8_t> memory;
    m->Write(&ref, &memory);
    EXPECT_EQ(memory, Bytes({uint32_t(target->GetIndex())}));
    KVReadCursor cursor(memory.data(), memory.size());
    EXPECT_EQ(m->GetStoredSize(cursor), 4u);
    EXPECT_TRUE(m->Read(&ref, &cursor, false));
    std::string text;
    cursor = KVReadCursor(memory.data(), memory.size());
    m->FormatStored(&text, &cursor);
    EXPECT_EQ(text, "ABCDEF0123");

    // Scene files: the uid, 16 bytes wide up to version 0x20001.
    for (uint32_t version : {0x20001u, 0x20002u}) {
        SceneFile(version);
        uint32_t width = version <= 0x20001 ? 16 : 8;
        std::vector<uint8_t> scene = Bytes({0x9, 0x1, 0xEEEEEEEE, 0xEEEEEEEE});
        scene.resize(width);
        cursor = KVReadCursor(scene.data(), scene.size());
        EXPECT_EQ(m->GetStoredSize(cursor), width);
        EXPECT_FALSE(m->Read(&ref, &cursor, true));
        EXPECT_TRUE(units.Factory().GetPendingLinks().empty());
        cursor = KVReadCursor(scene.data(), scene.size());
        EXPECT_FALSE(m->Read(&ref, &cursor, false));
        EXPECT_EQ(cursor.Left(), 0u);
        EXPECT_EQ(*ref->GetUnitUid(), 0x100000009ull);
        ASSERT_EQ(units.Factory().GetPendingLinks().size(), 1u);
        EXPECT_EQ(units.Factory().GetPendingLinks()[0], ref);
        units.Factory().ClearPendingLinks();
    }
    ref->Release();
}

TEST_F(KVAttributeStoredFormTest, UnitArraysLeaveOutGoneAndRuntimeUnits) {
    KVUnit* scene = units.Create("Unit", 0);
    KVUnit* runtime = units.Create();
    scene->SetUid(0x11);
    auto m = KVTestUnits::Manipulator(KVATTR_ARRAY_UNIT);
    KVUnitRefArray refs;
    refs.SetOwner(scene->GetIndex(), KVUnit::kChildrenId);
    m->ParseElement(&refs, std::to_string(scene->GetIndex()) + "|4294967295|" + std::to_string(runtime->GetIndex()) + "|77", 0);
    ASSERT_EQ(refs.Size(), 4u);

    std::vector<uint8_t> memory;
    m->Write(&refs, &memory);
    EXPECT_EQ(memory, Bytes({2, uint32_t(scene->GetIndex()), 0xFFFFFFFF}));
    EXPECT_EQ(m->GetSize(&refs), 12u);

    std::string text;
    KVReadCursor cursor(memory.data(), memory.size());
    m->FormatStored(&text, &cursor);
    EXPECT_EQ(text, "11;0");

    KVUnitRefArray copy;
    copy.SetOwner(runtime->GetIndex(), KVUnit::kCamerasId);
    cursor = KVReadCursor(memory.data(), memory.size());
    EXPECT_EQ(m->GetStoredSize(cursor), 12u);
    EXPECT_FALSE(m->Read(&copy, &cursor, false));
    ASSERT_EQ(copy.Size(), 2u);
    EXPECT_EQ(copy.At(0)->GetIndex(), scene->GetIndex());
    EXPECT_EQ(*copy.At(0)->GetAttributeId(), KVUnit::kCamerasId);

    // Scene files: a count and one uid per entry.
    SceneFile(0x20003);
    const std::vector<uint8_t> stored = Bytes({2, 0x21, 0, 0x22, 0});
    cursor = KVReadCursor(stored.data(), stored.size());
    EXPECT_EQ(m->GetStoredSize(cursor), 20u);
    EXPECT_FALSE(m->Read(&copy, &cursor, false));
    ASSERT_EQ(copy.Size(), 2u);
    EXPECT_EQ(*copy.At(1)->GetUnitUid(), 0x22u);
    EXPECT_EQ(units.Factory().GetPendingLinks().size(), 2u);
    units.Factory().ClearPendingLinks();
}

TEST_F(KVAttributeStoredFormTest, PositionListsCompareCountAndPairs) {
    auto m = KVTestUnits::Manipulator(KVATTR_ARRAY_KVPOS2D);
    KVPositionList list{{1, -2}, {3, 4}};
    std::vector<uint8_t> stored;
    m->Write(&list, &stored);
    EXPECT_EQ(stored, Bytes({2, 1, 0xFFFFFFFE, 3, 4}));
    KVPositionList copy{{1, -2}};
    KVReadCursor cursor(stored.data(), stored.size());
    EXPECT_FALSE(m->Read(&copy, &cursor, false));
    EXPECT_EQ(copy, list);
    cursor = KVReadCursor(stored.data(), stored.size());
    EXPECT_TRUE(m->Read(&copy, &cursor, false));
    std::string text;
    cursor = KVReadCursor(stored.data(), stored.size());
    m->FormatStored(&text, &cursor);
    EXPECT_EQ(text, "1;-2;3;4");
}

TEST_F(KVAttributeStoredFormTest, StoredTextsParseWithoutChecks) {
    const struct {
        int32_t type;
        const char* text;
        uint64_t bits;  // the first value's bytes, zero-extended
    } cases[] = {
        {KVATTR_U32, "", 0},
        {KVATTR_U32, "-1", 0xFFFFFFFFu},
        {KVATTR_U32, "4294967296", 0},
        {KVATTR_U32, "1a", 59},  // 'a' counts as digit 49
        {KVATTR_COLOR, "255", 255},
        {KVATTR_BOOLEAN_COMPACT, "18", 18},
        {KVATTR_S32, "-5", 0xFFFFFFFBu},
        {KVATTR_BOOLEAN, "1", 1},
        {KVATTR_BOOLEAN, "true", 0},
        {KVATTR_UID, "0a", 10},
        {KVATTR_UID, "0A", 10},
        {KVATTR_UID, "FFFFFFFFFFFFFFFF1", 0xFFFFFFFFFFFFFFF1ull},
    };
    for (const auto& c : cases) {
        uint8_t value[8] = {};
        KVTestUnits::Manipulator(c.type)->ParseStored(c.text, value);
        uint64_t bits = 0;
        std::memcpy(&bits, value, c.type == KVATTR_UID ? 8 : c.type == KVATTR_BOOLEAN ? 1 : 4);
        EXPECT_EQ(bits, c.bits) << c.type << " " << c.text;
    }
    const struct {
        const char* text;
        float value;
    } floats[] = {{"", 0.0f}, {"1.5", 1.5f}, {"-2,25", -2.25f}, {"12", 12.0f}, {"0.125", 0.125f}};
    for (const auto& f : floats) {
        float v = -1.0f;
        KVTestUnits::Manipulator(KVATTR_F32)->ParseStored(f.text, &v);
        EXPECT_EQ(v, f.value) << f.text;
    }
    KVPositionList list{{9, 9}};
    KVTestUnits::Manipulator(KVATTR_ARRAY_KVPOS2D)->ParseStored("1;-2;30;4;5", &list);
    EXPECT_EQ(list, (KVPositionList{{1, -2}, {30, 4}, {5, 0}}));

    // Uids print in upper case without leading zeros.
    const std::vector<uint8_t> uid = {0xEF, 0xBE, 0xAD, 0x0B, 0, 0, 0, 0};
    KVReadCursor cursor(uid.data(), uid.size());
    std::string text;
    KVTestUnits::Manipulator(KVATTR_UID)->FormatStored(&text, &cursor);
    EXPECT_EQ(text, "BADBEEF");
}

TEST_F(KVAttributeStoredFormTest, ReferencesParsedFromStoredTextWaitForTheirUids) {
    KVUnit* owner = units.Create();
    IKVUnitRef* ref = units.Factory().MakeUnitRef(owner->GetIndex(), &KVUnit::kParentId);
    KVTestUnits::Manipulator(KVATTR_UNIT)->ParseStored("1f", &ref);
    EXPECT_EQ(*ref->GetUnitUid(), 0x1Fu);
    KVUnitRefArray refs;
    refs.SetOwner(owner->GetIndex(), KVUnit::kChildrenId);
    auto array = KVTestUnits::Manipulator(KVATTR_ARRAY_UNIT);
    array->ParseStored("A;b", &refs);
    ASSERT_EQ(refs.Size(), 2u);
    EXPECT_EQ(*refs.At(1)->GetUnitUid(), 0xBu);
    EXPECT_EQ(units.Factory().GetPendingLinks().size(), 3u);
    array->ParseStored("", &refs);
    EXPECT_TRUE(refs.Empty());
    units.Factory().ClearPendingLinks();
    ref->Release();
}

// Every stored-form reader stays inside its value block: cut short at any
// length, a value is refused with a logged error and nothing past the end
// is touched.
TEST_F(KVAttributeStoredFormTest, TruncatedValuesAreRefusedAtEveryLength) {
    KVUnit* owner = units.Create();
    const struct {
        int32_t type;
        std::vector<uint8_t> full;
        uint32_t scene;  // 0: memory copies
    } cases[] = {
        {KVATTR_U32, Bytes({7}), 0},
        {KVATTR_UID, Bytes({1, 2}), 0},
        {KVATTR_STRING, Concat(Bytes({3}), "abc"), 0},
        {KVATTR_STRING, Concat(Bytes({3}), std::string("abc\0", 4)), 0x20001},
        {KVATTR_UNIT, Bytes({1}), 0},
        {KVATTR_UNIT, Bytes({1, 2, 3, 4}), 0x20001},
        {KVATTR_ARRAY_UNIT, Bytes({2, 1, 2}), 0},
        {KVATTR_ARRAY_UNIT, Bytes({1, 5, 6}), 0x20002},
        {KVATTR_ARRAY_KVPOS2D, Bytes({1, 5, 6}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        units.Factory().SetLoading(c.scene != 0, c.scene);
        auto desc = KVTestUnits::Describe(c.type, "Value");
        for (size_t length = 0; length < c.full.size(); ++length) {
            // The bytes live on the heap, exactly as long as the cut.
            std::vector<uint8_t> cut(c.full.begin(), c.full.begin() + std::ptrdiff_t(length));
            std::unique_ptr<uint8_t[]> bytes(new uint8_t[length + 1]);
            if (length) std::memcpy(bytes.get(), cut.data(), length);
            log.Clear();
            KVUnitRefArray refs;
            refs.SetOwner(owner->GetIndex(), KVUnit::kChildrenId);
            IKVUnitRef* ref = units.Factory().MakeUnitRef(owner->GetIndex(), &KVUnit::kLayerId);
            std::string text;
            KVPositionList list;
            uint64_t number = 0;
            void* value = c.type == KVATTR_STRING ? static_cast<void*>(&text)
                        : c.type == KVATTR_UNIT ? static_cast<void*>(&ref)
                        : c.type == KVATTR_ARRAY_UNIT ? static_cast<void*>(&refs)
                        : c.type == KVATTR_ARRAY_KVPOS2D ? static_cast<void*>(&list)
                                                           : static_cast<void*>(&number);
            KVReadCursor cursor(bytes.get(), length);
            EXPECT_GT(desc.manipulator->GetStoredSize(cursor), length);
            desc.manipulator->Read(value, &cursor, false);
            EXPECT_TRUE(cursor.failed) << length;
            EXPECT_EQ(cursor.Left(), length) << length;
            EXPECT_TRUE(log.HasErrorContaining("Attribute Value: a value of")) << length;
            EXPECT_TRUE(text.empty() && refs.Empty() && list.empty() && number == 0);
            if (c.scene == 0 && c.type != KVATTR_UNIT && c.type != KVATTR_ARRAY_UNIT) {
                KVReadCursor again(bytes.get(), length);
                desc.manipulator->FormatStored(&text, &again);
                EXPECT_TRUE(again.failed);
                EXPECT_TRUE(text.empty());
            }
            ref->Release();
            units.Factory().ClearPendingLinks();
        }
    }
    // An absurd count is refused before anything is made.
    units.Factory().SetLoading(false, 0);
    const std::vector<uint8_t> absurd = Bytes({0xFFFFFFFF, 1, 2});
    KVPositionList list;
    KVReadCursor cursor(absurd.data(), absurd.size());
    KVTestUnits::Manipulator(KVATTR_ARRAY_KVPOS2D)->Read(&list, &cursor, false);
    EXPECT_TRUE(cursor.failed);
    EXPECT_TRUE(list.empty());
}

} // namespace
