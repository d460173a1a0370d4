#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

// One value of a fixed-size type in its bytes.
struct Raw {
    uint8_t bytes[8] = {};
    template <class T>
    static Raw Of(T v) {
        Raw r;
        std::memcpy(r.bytes, &v, sizeof(T));
        return r;
    }
    template <class T>
    T As() const {
        T v;
        std::memcpy(&v, bytes, sizeof(T));
        return v;
    }
};

std::string FormatRaw(int32_t type, Raw value, int32_t element = 0, int32_t bit = 0) {
    std::string out = "<untouched>";
    KVTestUnits::Manipulator(type, "A~B~C", 1, bit)->FormatElement(&out, value.bytes, element);
    return out;
}

Raw ParseRaw(int32_t type, const std::string& text, Raw start = Raw{}, int32_t element = 0, int32_t bit = 0) {
    KVTestUnits::Manipulator(type, "A~B~C", 1, bit)->ParseElement(start.bytes, text, element);
    return start;
}

TEST(KVAttributeTextFormTest, NumbersFormatAsTheirKind) {
    const struct {
        int32_t type;
        Raw value;
        const char* text;
    } cases[] = {
        {KVATTR_U32, Raw::Of(uint32_t(4000000000u)), "4000000000"},
        {KVATTR_ENUM, Raw::Of(uint32_t(2)), "2"},
        {KVATTR_S32, Raw::Of(int32_t(-12)), "-12"},
        {KVATTR_F32, Raw::Of(1.5f), "1.500"},
        {KVATTR_F32, Raw::Of(-0.25f), "-0.250"},
        {KVATTR_F32_ROTATION, Raw::Of(3.1415927f), "180.000"},
        {KVATTR_COLOR, Raw::Of(uint32_t(0x000000FF)), "000000ff"},
        {KVATTR_COLOR, Raw::Of(uint32_t(0xFF00A0FF)), "ff00a0ff"},
        {KVATTR_BOOLEAN, Raw::Of(true), "true"},
        {KVATTR_BOOLEAN, Raw::Of(false), "false"},
        {KVATTR_UID, Raw::Of(uint64_t(0x1234)), "<untouched>"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatRaw(c.type, c.value), c.text) << c.type << " " << c.text;
}

TEST(KVAttributeTextFormTest, NumbersParseForgivingly) {
    const struct {
        int32_t type;
        const char* text;
        uint64_t stored;  // the value's bytes, zero-extended
    } cases[] = {
        {KVATTR_U32, "  +42xyz", 42},
        {KVATTR_U32, "-1", 0xFFFFFFFFu},
        {KVATTR_U32, "abc", 0},
        // A u32 keeps its full range, so a value copied as text survives.
        {KVATTR_U32, "4000000000", 4000000000u},
        {KVATTR_U32, "99999999999", 0xFFFFFFFFu},
        {KVATTR_U32, "-99999999999", 0x80000000u},
        {KVATTR_ENUM, "3", 3},
        {KVATTR_S32, "-2147483649", 0x80000000u},
        {KVATTR_S32, "4000000000", 0x7FFFFFFFu},
        {KVATTR_S32, "\t-7", 0xFFFFFFF9u},
        {KVATTR_COLOR, "ff0000ff", 0xFF0000FFu},
        {KVATTR_COLOR, "FF0000FF", 0xFF0000FFu},
        {KVATTR_COLOR, "Z", 35},
        {KVATTR_COLOR, "g1", 1},
        {KVATTR_COLOR, "123456789", 0x23456789u},
        {KVATTR_BOOLEAN, "TRUE", 1},
        {KVATTR_BOOLEAN, "True", 1},
        {KVATTR_BOOLEAN, "yes", 0},
        {KVATTR_BOOLEAN, "1", 0},
        {KVATTR_UID, "1234", 0},
    };
    for (const auto& c : cases) {
        Raw r = ParseRaw(c.type, c.text);
        uint64_t stored = c.type == KVATTR_UID ? r.As<uint64_t>() : c.type == KVATTR_BOOLEAN ? r.bytes[0] : r.As<uint32_t>();
        EXPECT_EQ(stored, c.stored) << c.type << " " << c.text;
    }
    EXPECT_EQ(ParseRaw(KVATTR_F32, " 2.5e1").As<float>(), 25.0f);
    EXPECT_EQ(ParseRaw(KVATTR_F32, "1e300").As<float>(), INFINITY);
    EXPECT_EQ(ParseRaw(KVATTR_F32, "x").As<float>(), 0.0f);
    EXPECT_EQ(ParseRaw(KVATTR_F32_ROTATION, "90").As<float>(), 1.5707964f);
    EXPECT_EQ(ParseRaw(KVATTR_F32_ROTATION, "-180").As<float>(), -3.1415927f);
}

TEST(KVAttributeTextFormTest, BitsAreClearedOnlyByTheirOwnWords) {
    const uint32_t start = 0x10;
    const struct {
        int32_t type;
        const char* text;
        int32_t element;
        int32_t bit;
        uint32_t word;
    } cases[] = {
        // Flags: the element is the bit, and only exactly "false" clears it.
        {KVATTR_FLAGS, "false", 4, 0, 0x00},
        {KVATTR_FLAGS, "False", 4, 0, 0x10},
        {KVATTR_FLAGS, "anything", 1, 0, 0x12},
        {KVATTR_FLAGS, "", 0, 0, 0x11},
        {KVATTR_FLAGS, "true", 40, 0, 0x10},
        // A compact boolean: the descriptor's bit, set only by "true".
        {KVATTR_BOOLEAN_COMPACT, "TRUE", 0, 1, 0x12},
        {KVATTR_BOOLEAN_COMPACT, "False", 0, 4, 0x00},
        {KVATTR_BOOLEAN_COMPACT, "yes", 0, 4, 0x00},
    };
    for (const auto& c : cases) {
        Raw r = ParseRaw(c.type, c.text, Raw::Of(start), c.element, c.bit);
        EXPECT_EQ(r.As<uint32_t>(), c.word) << c.type << " " << c.text;
    }
    EXPECT_EQ(FormatRaw(KVATTR_FLAGS, Raw::Of(start), 4), "true");
    EXPECT_EQ(FormatRaw(KVATTR_FLAGS, Raw::Of(start), 3), "false");
    EXPECT_EQ(FormatRaw(KVATTR_FLAGS, Raw::Of(start), 32), "<untouched>");
    EXPECT_EQ(FormatRaw(KVATTR_BOOLEAN_COMPACT, Raw::Of(start), 0, 4), "true");
    EXPECT_EQ(FormatRaw(KVATTR_BOOLEAN_COMPACT, Raw::Of(start), 0, 1), "false");
}

TEST(KVAttributeTextFormTest, StringsAndPathsAreTakenAsTheyStand) {
    for (int32_t type : {KVATTR_STRING, KVATTR_PATH, KVATTR_PATHS, KVATTR_STRING_ALT}) {
        auto m = KVTestUnits::Manipulator(type);
        std::string value;
        m->ParseElement(&value, " Data\\A.PNG|b ", 0);
        EXPECT_EQ(value, " Data\\A.PNG|b ");
        std::string out;
        m->FormatElement(&out, &value, 0);
        EXPECT_EQ(out, value);
    }
}

TEST(KVAttributeTextFormTest, UnitReferencesTravelAsIndexes) {
    KVTestUnits units;
    KVUnit* a = units.Create();
    KVUnit* b = units.Create();
    auto unit = KVTestUnits::Manipulator(KVATTR_UNIT);
    IKVUnitRef* ref = units.Factory().MakeUnitRef(a->GetIndex(), &KVUnit::kLayerId);
    std::string out;
    unit->FormatElement(&out, &ref, 0);
    EXPECT_EQ(out, "4294967295");
    const struct {
        const char* text;
        int32_t index;
    } parses[] = {
        {"", -1}, {"4294967295", -1}, {"-1", -1}, {"7x", 7}, {"4294967296", 0},
    };
    for (const auto& p : parses) {
        ref->SetIndex(b->GetIndex());
        unit->ParseElement(&ref, p.text, 0);
        EXPECT_EQ(ref->GetIndex(), p.index) << p.text;
    }
    unit->ParseElement(&ref, std::to_string(b->GetIndex()), 0);
    unit->FormatElement(&out, &ref, 0);
    EXPECT_EQ(out, std::to_string(b->GetIndex()));
    ref->Release();

    auto array = KVTestUnits::Manipulator(KVATTR_ARRAY_UNIT);
    KVUnitRefArray refs;
    refs.SetOwner(a->GetIndex(), KVUnit::kCamerasId);
    array->FormatElement(&out, &refs, 0);
    EXPECT_EQ(out, "");
    array->ParseElement(&refs, "", 0);
    EXPECT_TRUE(refs.Empty());
    array->ParseElement(&refs, std::to_string(b->GetIndex()) + "|4294967295|" + std::to_string(a->GetIndex()), 0);
    ASSERT_EQ(refs.Size(), 3u);
    EXPECT_EQ(refs.At(1)->GetIndex(), -1);
    EXPECT_EQ(refs.At(2)->GetIndex(), a->GetIndex());
    EXPECT_EQ(*refs.At(2)->GetAttributeId(), KVUnit::kCamerasId);
    EXPECT_EQ(refs.At(2)->GetOwner(), static_cast<IKVUnit*>(a));
    array->FormatElement(&out, &refs, 0);
    EXPECT_EQ(out, std::to_string(b->GetIndex()) + "|4294967295|" + std::to_string(a->GetIndex()));
}

} // namespace
