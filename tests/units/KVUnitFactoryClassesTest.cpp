#include <gtest/gtest.h>

#include "support/KVLogCapture.h"
#include "support/KVTestUnits.h"
#include "units/IKVAttributeLua.h"
#include "units/KVAttributeManipulator.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

// A factory with no classes and a class registered by hand.
class KVUnitFactoryClassesTest : public ::testing::Test {
protected:
    int32_t Register(const std::string& name, uint64_t id, int32_t base = -1, const std::string& aliases = "") {
        KVUnitClassDesc desc;
        desc.name = name;
        desc.id = id;
        desc.baseClass = base;
        desc.aliasNames = aliases;
        desc.create = base < 0 ? &KVUnit::Create : nullptr;
        int32_t index = -1;
        EXPECT_EQ(factory.RegisterClass(desc, &index), KV_OK);
        return index;
    }
    int32_t Add(int32_t classIndex, const std::string& name, int32_t type, uint64_t id, bool listed = true,
                int32_t storage = KVSTORE_COMPONENT, int32_t count = 1) {
        KVAttributeDesc desc = KVTestUnits::Attribute(classIndex, type, name, id, count);
        desc.storageKind = storage;
        desc.flags[KVAF_LISTED] = listed ? 1 : 0;
        return factory.AddAttribute(desc);
    }
    std::string StoredName(int32_t classIndex, int32_t position) {
        const KVAttributeDesc* desc = factory.GetAttribute(classIndex, position);
        return desc ? desc->name : "<none>";
    }
    // The (position, element) found under a key, or {-1, -1}.
    KVAttributeSlot Key(int32_t classIndex, const std::string& key) {
        auto at = factory.GetClass(classIndex)->attributeNames.Find(key);
        return at.Empty() ? KVAttributeSlot{-1, -1} : at.Value();
    }

    kvtest::KVLogCapture log;
    KVUnitFactory factory;
};

TEST_F(KVUnitFactoryClassesTest, ZeroClassIdIsRefusedAndLogged) {
    KVUnitClassDesc desc;
    desc.name = "Broken";
    int32_t index = 77;
    EXPECT_EQ(factory.RegisterClass(desc, &index), KV_INVALID);
    EXPECT_EQ(index, 77);
    EXPECT_EQ(factory.GetClassCount(), 0);
    EXPECT_TRUE(log.HasError("Can't register unit class Broken"));
}

TEST_F(KVUnitFactoryClassesTest, NamesAreNormalisedUpToTheFirstDelimiter) {
    const struct {
        const char* given;
        const char* stored;
    } cases[] = {
        {"alpha test threshold", "alphaTestThreshold"},
        {"pixel shader", "pixelShader"},
        {"a  b", "aB"},
        {" lead", "Lead"},
        {"tab\tname", "tabName"},
        {"Mode ~off value~on value", "Mode~off value~on value"},
        {"file name@Image file|*.PNG", "fileName@Image file|*.PNG"},
        {"Already9", "Already9"},
        {"x 9", "x9"},
    };
    int32_t c = Register("C", 1);
    int32_t position = 0;
    for (const auto& test : cases) {
        ASSERT_EQ(Add(c, test.given, KVATTR_ENUM, uint64_t(100 + position), true, KVSTORE_UNIT), KV_OK);
        EXPECT_EQ(StoredName(c, position), test.stored) << test.given;
        ++position;
    }
}

TEST_F(KVUnitFactoryClassesTest, NameIndexKeysFollowTheDelimiterAndType) {
    int32_t c = Register("C", 1);
    Add(c, "Alpha", KVATTR_F32, 10, true, KVSTORE_UNIT);
    Add(c, "Size~X~Y", KVATTR_U32, 11, true, KVSTORE_UNIT, 2);
    Add(c, "Mode~Off~On", KVATTR_ENUM, 12, true, KVSTORE_UNIT);
    Add(c, "Image@Image file|*.PNG", KVATTR_PATH, 13, true, KVSTORE_UNIT);
    Add(c, "Grid~W~H@ignored", KVATTR_S32, 14, true, KVSTORE_UNIT, 2);
    const struct {
        const char* key;
        KVAttributeSlot slot;
    } keys[] = {
        {"Alpha", {0, 0}},  {"Size_X", {1, 0}}, {"Size_Y", {1, 1}}, {"Size", {-1, -1}},  {"Mode", {2, 0}},
        {"Mode_Off", {-1, -1}}, {"Image", {3, 0}}, {"Grid_W", {4, 0}}, {"Grid_H", {4, 1}}, {"alpha", {-1, -1}},
    };
    for (const auto& k : keys) EXPECT_EQ(Key(c, k.key), k.slot) << k.key;

    // The lookup by name takes the part before "@" or "~", whole.
    EXPECT_EQ(factory.FindAttributeIndex(c, "Size"), 1);
    EXPECT_EQ(factory.FindAttributeIndex(c, "Siz"), -1);
    EXPECT_EQ(factory.FindAttributeIndex(c, "Image"), 3);
    EXPECT_EQ(factory.FindAttributeIndex(c, "Alpha"), 0);
    EXPECT_EQ(factory.FindAttributeIndex(c, "Alph"), -1);
    EXPECT_EQ(factory.FindAttributeIndex(c, "Size~X~Y"), 1);
    EXPECT_EQ(factory.FindAttributeIndex(99, "Size"), -1);
}

TEST_F(KVUnitFactoryClassesTest, ListedMapSkipsUnlistedAttributes) {
    int32_t c = Register("C", 1);
    Add(c, "First", KVATTR_U32, 10, true, KVSTORE_UNIT);
    Add(c, "Hidden", KVATTR_F32, 11, false, KVSTORE_UNIT);
    Add(c, "Third", KVATTR_STRING, 12, true, KVSTORE_UNIT);
    const KVUnitClass* record = factory.GetClass(c);
    EXPECT_EQ(record->listedCount, 2);
    EXPECT_EQ(record->attributes[0].listedMap, 0);
    EXPECT_EQ(record->attributes[1].listedMap, 2);
    EXPECT_EQ(factory.GetListedAttributeType(c, 0), KVATTR_U32);
    EXPECT_EQ(factory.GetListedAttributeType(c, 1), KVATTR_STRING);
    EXPECT_EQ(factory.GetListedAttributeType(c, 2), -1);
    // First elements count the element counts before.
    EXPECT_EQ(record->attributes[2].firstElement, 2);
}

TEST_F(KVUnitFactoryClassesTest, DerivedClassesKeepInheritedPositionsAndKindsGoOneWay) {
    int32_t base = Register("Base", 1);
    Add(base, "A", KVATTR_U32, 10, true, KVSTORE_UNIT);
    Add(base, "B", KVATTR_U32, 11, false, KVSTORE_COMPONENT);
    int32_t derived = Register("Derived", 2, base);
    Add(derived, "C", KVATTR_STRING, 12, true, KVSTORE_COMPONENT);
    int32_t other = Register("Other", 3);

    const KVUnitClass* d = factory.GetClass(derived);
    ASSERT_EQ(d->attributes.size(), 3u);
    EXPECT_EQ(factory.FindAttributePosition(derived, 10), 0);
    EXPECT_EQ(factory.FindAttributePosition(derived, 11), 1);
    EXPECT_EQ(factory.FindAttributePosition(derived, 12), 2);
    EXPECT_EQ(factory.FindAttributePosition(base, 12), -1);
    EXPECT_EQ(d->attributes[0].manipulator, factory.GetClass(base)->attributes[0].manipulator);
    EXPECT_EQ(d->components, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(d->attributes[2].offset, 1);
    EXPECT_EQ(d->listedCount, 2);
    EXPECT_EQ(d->create, &KVUnit::Create);
    EXPECT_EQ(Key(derived, "A"), (KVAttributeSlot{0, 0}));
    EXPECT_EQ(Key(base, "C"), (KVAttributeSlot{-1, -1}));

    KVUnit* unit = nullptr;
    ASSERT_EQ(factory.CreateUnit(derived, &unit, KVCREATE_RUNTIME, -1, 0), KV_OK);
    EXPECT_TRUE(factory.IsUnitOfClass(unit, base));
    EXPECT_TRUE(factory.IsUnitOfClass(unit, derived));
    EXPECT_FALSE(factory.IsUnitOfClass(unit, other));
    KVUnit* plain = nullptr;
    ASSERT_EQ(factory.CreateUnit(base, &plain, KVCREATE_RUNTIME, -1, 0), KV_OK);
    EXPECT_FALSE(factory.IsUnitOfClass(plain, derived));
    // One value box per storage-kind-2 attribute, in order.
    EXPECT_EQ(unit->GetComponents().size(), 2u);
    EXPECT_EQ(plain->GetComponents().size(), 1u);
}

TEST_F(KVUnitFactoryClassesTest, ClassesAreFoundByNameThenAliasThenId) {
    int32_t a = Register("Sprite", 1, -1, "Image;Picture");
    int32_t b = Register("Image", 2);
    EXPECT_EQ(factory.FindClassByName("Sprite"), a);
    // An exact name wins over an earlier class's alias.
    EXPECT_EQ(factory.FindClassByName("Image"), b);
    EXPECT_EQ(factory.FindClassByName("Picture"), a);
    EXPECT_EQ(factory.FindClassByName("Image;Picture"), -1);
    EXPECT_EQ(factory.FindClassByName("sprite"), -1);
    EXPECT_EQ(factory.FindClassByName(""), -1);
    EXPECT_EQ(factory.FindClassById(2), b);
    EXPECT_EQ(factory.FindClassById(3), -1);
}

TEST_F(KVUnitFactoryClassesTest, StorageKindTwoRefusesARepeatedId) {
    int32_t c = Register("C", 1);
    EXPECT_EQ(Add(c, "A", KVATTR_U32, 10), KV_OK);
    EXPECT_EQ(Add(c, "B", KVATTR_F32, 10), KV_ATTRIBUTE_EXISTS);
    EXPECT_EQ(factory.GetClass(c)->attributes.size(), 1u);
    // A type without a manipulator is refused instead of stored without one.
    EXPECT_EQ(Add(c, "C", 17, 11), KV_INVALID);
    EXPECT_EQ(Add(c, "D", -1, 12), KV_INVALID);
    EXPECT_EQ(factory.GetClass(c)->attributes.size(), 1u);
}

TEST_F(KVUnitFactoryClassesTest, UpdateAttributeRewritesOnlyAnAttributeThatExists) {
    int32_t c = Register("C", 1);
    Add(c, "A", KVATTR_U32, 10, true, KVSTORE_UNIT);
    Add(c, "B", KVATTR_U32, 11, true, KVSTORE_UNIT);
    KVAttributeDesc desc = *factory.GetAttribute(c, 1);
    auto manipulator = desc.manipulator;
    desc.position = -1;
    desc.name = "Renamed";
    desc.flags[KVAF_READ_ONLY] = 1;
    int32_t position = -1;
    ASSERT_EQ(factory.UpdateAttribute(desc, &position), KV_OK);
    EXPECT_EQ(position, 1);
    const KVAttributeDesc* stored = factory.GetAttribute(c, 1);
    EXPECT_EQ(stored->name, "Renamed");
    EXPECT_TRUE(stored->HasFlag(KVAF_READ_ONLY));
    EXPECT_EQ(stored->position, 1);
    EXPECT_EQ(stored->manipulator, manipulator);
    EXPECT_EQ(stored->firstElement, 1);

    desc.id = 99;
    EXPECT_EQ(factory.UpdateAttribute(desc, &position), KV_NOT_FOUND);
    desc.position = 5;
    EXPECT_EQ(factory.UpdateAttribute(desc, &position), KV_NOT_FOUND);
    desc.classIndex = 9;
    EXPECT_EQ(factory.UpdateAttribute(desc, &position), KV_NOT_FOUND);
    EXPECT_EQ(factory.GetClass(c)->attributes.size(), 2u);
}

TEST_F(KVUnitFactoryClassesTest, AClassThatCannotMakeUnitsFailsCreation) {
    KVUnitClassDesc desc;
    desc.name = "Abstract";
    desc.id = 5;
    int32_t index = -1;
    ASSERT_EQ(factory.RegisterClass(desc, &index), KV_OK);
    KVUnit* unit = reinterpret_cast<KVUnit*>(1);
    EXPECT_EQ(factory.CreateUnit(index, &unit, KVCREATE_RUNTIME, -1, 0), KV_INVALID);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(factory.CreateUnit(index + 1, &unit, KVCREATE_RUNTIME, -1, 0), KV_CLASS_OUT_OF_RANGE);
    EXPECT_EQ(factory.GetUnitCount(), 0);
}

TEST_F(KVUnitFactoryClassesTest, ProjectClassesDeriveAndDynamicAttributesReachLiveUnits) {
    int32_t base = Register("Base", 1);
    Add(base, "A", KVATTR_U32, 10, true, KVSTORE_UNIT);
    EXPECT_EQ(factory.CreateProjectClass("Nope", -1, 9), -1);

    int32_t project = factory.CreateProjectClass("Enemy", base, 0x1234);
    ASSERT_GE(project, 0);
    const KVUnitClass* record = factory.GetClass(project);
    EXPECT_TRUE(record->projectClass);
    EXPECT_EQ(record->baseClass, base);
    EXPECT_EQ(factory.FindClassById(0x1234), project);

    KVUnit* first = nullptr;
    KVUnit* second = nullptr;
    KVUnit* ofBase = nullptr;
    ASSERT_EQ(factory.CreateUnit(project, &first, KVCREATE_RUNTIME, -1, 0), KV_OK);
    ASSERT_EQ(factory.CreateUnit(project, &second, KVCREATE_RUNTIME, -1, 0), KV_OK);
    ASSERT_EQ(factory.CreateUnit(base, &ofBase, KVCREATE_RUNTIME, -1, 0), KV_OK);
    EXPECT_TRUE(factory.IsUnitOfClass(first, base));

    ASSERT_EQ(factory.AddDynamicAttribute("hit points", project, 0x77, KVATTR_S32, true), KV_OK);
    ASSERT_EQ(factory.AddDynamicAttribute("speed", project, 0x78, KVATTR_F32, false), KV_OK);
    EXPECT_EQ(factory.AddDynamicAttribute("again", project, 0x77, KVATTR_S32, true), KV_ATTRIBUTE_EXISTS);
    const KVAttributeDesc* hp = factory.FindAttributeById(project, 0x77);
    ASSERT_NE(hp, nullptr);
    EXPECT_EQ(hp->name, "hitPoints");
    EXPECT_EQ(hp->storageKind, KVSTORE_COMPONENT);
    const uint8_t expected[KVAF_COUNT] = {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), std::begin(hp->flags)));
    EXPECT_EQ(first->GetComponents().size(), 1u);
    EXPECT_EQ(second->GetComponents().size(), 1u);
    EXPECT_EQ(ofBase->GetComponents().size(), 0u);

    // The box holds the value that writes reach.
    int32_t value = -5;
    ASSERT_EQ(factory.SetAttributeElement(first->GetIndex(), hp->position, 0, &value), KV_OK);
    void* holder = nullptr;
    ASSERT_EQ(factory.GetHolder(first, *hp, &holder), KV_OK);
    EXPECT_EQ(*static_cast<int32_t*>(holder), -5);
    // The attribute added without existing units has no box on them yet.
    EXPECT_EQ(factory.GetHolder(first, *factory.FindAttributeById(project, 0x78), &holder), KV_NO_HOLDER);

    // A nameless copy has no kinds until it is named.
    int32_t copy = factory.DeriveClass(base);
    EXPECT_FALSE(factory.GetClass(copy)->IsKindOf(copy));
    EXPECT_EQ(factory.GetClass(copy)->attributes.size(), 1u);
}

TEST(KVUnitFactoryBuiltinsTest, PhaseTwoRegistersTheBuiltinClassesInTheirFixedOrder) {
    KVTestUnits units;
    const struct {
        const char* name;
        const char* base;
        uint64_t id;
    } classes[] = {
        {"Unit", nullptr, 0x003D29C14B38FBC8ull},          {"Unit3D", "Unit", 0x001BFA31A4A1E5E8ull},
        {"Display3D", "Unit3D", 0x00440A9C1D3082F8ull},     {"Camera", "Unit3D", 0x00316AFAD437A05Cull},
        {"Mesh", "Display3D", 0x005FFDDAD7109E30ull},       {"Unit2D", "Unit", 0x00379C696A716AA0ull},
        {"Display2D", "Unit2D", 0x005BC7C54FB51660ull},     {"Sprite", "Display2D", 0x006B2C9FC97EF464ull},
        {"Embeddable", "Sprite", 0x00603EC316795E20ull},    {"Shape", "Display2D", 0x005284A190C37378ull},
        {"Cursor", "Sprite", 0x0042FEDDC943ECECull},        {"Fader", "Shape", 0x004BC756E394F170ull},
        {"Light", "Unit3D", 0x003C1C111C8F207Cull},         {"Sound", "Unit", 0x0060454A4DD644CCull},
        {"GUIButton", "Sprite", 0x0001D4BF0C206EE0ull},     {"GUIFont", "Sprite", 0x002829639E7B37AAull},
        {"Text", "Display2D", 0x00035838F285DF17ull},       {"TTFText", "Embeddable", 0x0039F0ACF86CA52Cull},
        {"Area", "Unit2D", 0x006A1B16A3272144ull},          {"Node3D", "Unit3D", 0x0012F0A7FBA0B654ull},
        {"Node2D", "Unit2D", 0x003704345E5F6300ull},        {"Timer", "Unit", 0x00312FCDD16D06A8ull},
        {"Layer", "Unit", 0x0063D10DF3128150ull},           {"ParticleEmitter", "Display3D", 0x0013F2EA0B8797E6ull},
        {"Fog", "Unit", 0x0026DF79A357CBA2ull},             {"Mirror", "Display3D", 0x001F6F0861F39BF9ull},
        {"RenderTarget", "Embeddable", 0x00090580A047DAA3ull}, {"Shader", "Unit", 0x001BF2CDD8F931F4ull},
        {"CollisionGroup", "Unit", 0x0060247B439AB90Cull},  {"PSBlender", "Display2D", 0x004BDF2AACCCBDE8ull},
        {"Decal", "Unit3D", 0x0062931A07D4333Cull},         {"Curve", "Unit3D", 0x0047BCC6171485F0ull},
        {"Particle2DEmitter", "Display2D", 0x002C9922E725E400ull},
    };
    KVUnitFactory& factory = units.Factory();
    ASSERT_EQ(factory.GetClassCount(), 33);
    int32_t unitAttributes = int32_t(factory.GetClass(0)->attributes.size());
    for (int32_t i = 0; i < 33; ++i) {
        const KVUnitClass* record = factory.GetClass(i);
        EXPECT_EQ(record->name, classes[i].name);
        EXPECT_EQ(record->id, classes[i].id) << record->name;
        EXPECT_EQ(record->baseClass, classes[i].base ? factory.FindClassByName(classes[i].base) : -1) << record->name;
        EXPECT_LT(record->baseClass, i);
        EXPECT_EQ(int32_t(record->attributes.size()) >= unitAttributes, true);
        // Every class makes units: placeholders make base units.
        KVUnit* unit = units.Create(classes[i].name);
        ASSERT_NE(unit, nullptr) << record->name;
        EXPECT_TRUE(factory.IsUnitOfClass(unit, 0));
    }
    KVUnit* fader = units.Create("Fader");
    EXPECT_TRUE(factory.IsUnitOfClass(fader, units.ClassIndex("Display2D")));
    EXPECT_FALSE(factory.IsUnitOfClass(fader, units.ClassIndex("Sprite")));

    // A second project load keeps the table as it is.
    factory.Init(2);
    EXPECT_EQ(factory.GetClassCount(), 33);
}

} // namespace
