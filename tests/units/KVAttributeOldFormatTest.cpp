#include <gtest/gtest.h>

#include "support/KVChunkWriter.h"
#include "support/KVLogCapture.h"
#include "support/KVMemoryFile.h"
#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"
#include "units/KV2DTempl.h"
#include "units/KVChunkReader.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

// Values of scene sections older than version 0x20000, each read by the
// reader its manipulator chose.
TEST(KVAttributeOldFormatTest, EachTypeReadsItsOldForm) {
    kvtest::KVLogCapture log;
    KVTestUnits units;
    KVUnit* owner = units.Create();
    kvtest::KVChunkWriter w(true, true);
    const uint8_t boolean = 5;
    w.ValueU32(7).Value(&boolean, 1).String("abc").UnitRef(0x55).UnitRefArray({0x1, 0x2}).PointArray({{3, -4}});
    w.ValueU32(9);
    kvtest::KVMemoryFile files;
    files.SetFile("old.kvl", w.Data());
    KVChunkReader reader;
    reader.SetFileInterface(&files);
    ASSERT_EQ(reader.OpenFile("old.kvl"), KV_OK);
    reader.SetOldChunkHeader(true);
    reader.SetOldValueEncoding(true);

    auto read = [&](int32_t type, void* holder) {
        KVAttributeDesc desc = KVTestUnits::Describe(type);
        EXPECT_NE(desc.oldFormatReader, nullptr);
        return desc.oldFormatReader(reader, holder, desc.byteSize);
    };
    uint32_t number = 0;
    ASSERT_EQ(read(KVATTR_U32, &number), KV_OK);
    EXPECT_EQ(number, 7u);
    bool flag = false;
    ASSERT_EQ(read(KVATTR_BOOLEAN, &flag), KV_OK);
    EXPECT_TRUE(flag);
    std::string text;
    ASSERT_EQ(read(KVATTR_PATH, &text), KV_OK);
    EXPECT_EQ(text, "abc");
    IKVUnitRef* ref = units.Factory().MakeUnitRef(owner->GetIndex(), &KVUnit::kLayerId);
    ASSERT_EQ(read(KVATTR_UNIT, &ref), KV_OK);
    EXPECT_EQ(*ref->GetUnitUid(), 0x55u);
    KVUnitRefArray refs;
    refs.SetOwner(owner->GetIndex(), KVUnit::kChildrenId);
    ASSERT_EQ(read(KVATTR_ARRAY_UNIT, &refs), KV_OK);
    ASSERT_EQ(refs.Size(), 2u);
    EXPECT_EQ(*refs.At(1)->GetUnitUid(), 0x2u);
    EXPECT_EQ(*refs.At(1)->GetAttributeId(), KVUnit::kChildrenId);
    EXPECT_EQ(units.Factory().GetPendingLinks().size(), 3u);
    KVPositionList list;
    ASSERT_EQ(read(KVATTR_ARRAY_KVPOS2D, &list), KV_OK);
    EXPECT_EQ(list, (KVPositionList{{3, -4}}));
    // A value whose size word disagrees is refused and leaves the holder.
    float wide[2] = {0.5f, 0.5f};
    KVAttributeDesc pair = KVTestUnits::Describe(KVATTR_F32, "P~X~Y", 2);
    EXPECT_NE(pair.oldFormatReader(reader, wide, pair.byteSize), KV_OK);
    EXPECT_EQ(wide[0], 0.5f);
    units.Factory().ClearPendingLinks();
    ref->Release();
}

} // namespace
