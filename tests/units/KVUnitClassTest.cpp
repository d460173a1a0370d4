#include <gtest/gtest.h>

#include "support/KVAttributeTableCheck.h"
#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"
#include "units/KVAttributeManipulator.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

// Scene files name the attributes of every unit by these ids.
TEST(KVUnitClassTest, AttributesOfClassUnitKeepTheirIdsTypesAndFlags) {
    KVTestUnits units;
    const KVUnitClass* record = units.Factory().GetClass(0);
    ASSERT_EQ(record->name, "Unit");
    EXPECT_EQ(record->id, 0x003D29C14B38FBC8ull);
    EXPECT_EQ(record->description, "Base unit class");
    EXPECT_EQ(record->baseClass, -1);
    EXPECT_EQ(KVUnit::GetUnitClassIndex(), 0);

    using kvtest::KVAttributeCallback;
    constexpr KVAttributeCallback NONE = KVAttributeCallback::NONE, SETTER = KVAttributeCallback::SETTER,
                                  CHANGED = KVAttributeCallback::CHANGED, GETTER = KVAttributeCallback::GETTER;
    kvtest::ExpectAttributeTable(*record, 0, {
        {"Name", 4, 1, 0x00200979E573C234ull, "111000001000", SETTER, "", 0},
        {"Flags~CloseOnDisable~Visible~InvisibleWhenStopped~AcceptAllInput~Update", 5, 5, 0x000764128619D23Eull,
         "111100000000", NONE, "", 0},
        {"Enabled", 7, 1, 0x00183357A5F94083ull, "111301000000", CHANGED, "", 0},
        {"Children", 6, 1, 0x0012DAFBE3D7BAC8ull, "111001001000", SETTER, "", 0},
        {"Uid", 13, 1, 0x005749C3F337FEA0ull, "011000111000", NONE, "", 0},
        {"Index", 0, 1, 0x0022B30F84B3ABD8ull, "110000111000", NONE, "", 0},
        {"Class", 4, 1, 0x001F93675F28567Eull, "110000111000", NONE, "", 0},
        {"Parent", 9, 1, 0x003DA57E889D1B5Eull, "110001101000", SETTER, "", 0},
        {"Kvl", 4, 1, 0x002CDA029353EC74ull, "110000110000", GETTER, "", 0},
        {"Layer", 9, 1, 0x006AE992B5CB0A4Cull, "111000000000", NONE, "Layer", 0},
        {"ParentEnabled", 7, 1, 0x0011944A35A58936ull, "010000111000", NONE, "", 0},
        {"Cameras", 6, 1, 0x005BC527B3281A50ull, "111000000000", NONE, "Camera", 0},
        {"EditorFolder", 4, 1, 0x00358CAA279D71F6ull, "011001000000", CHANGED, "", 0},
        {"AliasName", 4, 1, 0x005AA269F0A30060ull, "111001000000", CHANGED, "", 0},
        {"Owner", 9, 1, 0x002A101EF55D370Eull, "111000000000", SETTER, "", 0},
        {"Visible", 16, 1, 0x0059C057E6426024ull, "110001000001", CHANGED, "", 1},
        {"CloseOnDisable", 16, 1, 0x00037A8A97B23491ull, "110000000001", NONE, "", 0},
        {"AcceptAllInput", 16, 1, 0x006CCA75F71473FCull, "110000000001", NONE, "", 3},
        {"Update", 16, 1, 0x001CFCE73F3908E9ull, "110000000001", NONE, "", 4},
    });
    EXPECT_EQ(record->listedCount, 16);
}

// Each attribute's place is the unit field it names: text written through
// the attribute comes back through the unit's own accessors.
TEST(KVUnitClassTest, AttributesReachTheirUnitFields) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* unit = units.Create();
    KVUnit* other = units.Create();
    ASSERT_NE(unit, nullptr);
    auto text = [&](const char* name, int32_t element = 0) {
        const KVAttributeDesc* a = factory.GetAttribute(0, factory.FindAttributeIndex(0, name));
        void* holder = nullptr;
        EXPECT_EQ(factory.GetHolder(unit, *a, &holder), KV_OK);
        std::string out = "<untouched>";
        if (holder) a->manipulator->FormatElement(&out, holder, element);
        return out;
    };
    auto parse = [&](const char* name, const std::string& value, int32_t element = 0) {
        const KVAttributeDesc* a = factory.GetAttribute(0, factory.FindAttributeIndex(0, name));
        void* holder = nullptr;
        ASSERT_EQ(factory.GetHolder(unit, *a, &holder), KV_OK);
        a->manipulator->SetUnit(unit->GetIndex());
        a->manipulator->ParseElement(holder, value, element);
    };

    EXPECT_EQ(text("Index"), std::to_string(unit->GetIndex()));
    EXPECT_EQ(text("Class"), "Unit");
    EXPECT_EQ(text("Enabled"), "true");
    // A run-time unit is enabled as it is created.
    EXPECT_EQ(text("ParentEnabled"), "true");
    EXPECT_EQ(text("Flags", 1), "true");
    EXPECT_EQ(text("Flags", 2), "false");
    EXPECT_EQ(text("Update"), "true");
    EXPECT_EQ(text("Parent"), "4294967295");
    EXPECT_EQ(text("Children"), "");

    parse("Name", "Hero");
    EXPECT_EQ(unit->GetName(), "Hero");
    parse("AcceptAllInput", "TRUE");
    EXPECT_EQ(unit->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT, uint32_t(KVUNIT_ACCEPT_ALL_INPUT));
    parse("Flags", "false", 4);
    EXPECT_EQ(unit->GetFlags() & KVUNIT_UPDATE, 0u);
    parse("EditorFolder", "a/b");
    EXPECT_EQ(unit->GetEditorFolder(), "a/b");
    parse("AliasName", "Boss");
    EXPECT_EQ(unit->GetAliasName(), "Boss");
    parse("Layer", std::to_string(other->GetIndex()));
    EXPECT_EQ(unit->GetLayerRef()->GetIndex(), other->GetIndex());
    EXPECT_EQ(*unit->GetLayerRef()->GetUnitUid(), other->GetUid());
    parse("Cameras", std::to_string(other->GetIndex()) + "|4294967295");
    ASSERT_EQ(unit->GetCameras()->Size(), 2u);
    EXPECT_EQ(unit->GetCameras()->At(0)->GetIndex(), other->GetIndex());
    EXPECT_EQ(*unit->GetCameras()->At(0)->GetAttributeId(), KVUnit::kCamerasId);
    EXPECT_EQ(unit->GetCameras()->At(1)->GetIndex(), -1);
    parse("Enabled", "false");
    EXPECT_FALSE(unit->GetWantedEnabled());

    // Kvl is computed: a unit made at run time belongs to no scene file.
    const KVAttributeDesc* kvl = factory.GetAttribute(0, factory.FindAttributeIndex(0, "Kvl"));
    void* untouched = &units;
    EXPECT_EQ(factory.GetHolder(unit, *kvl, &untouched), KV_OK);
    EXPECT_EQ(untouched, &units);
    KVAttributeComputed computed;
    kvl->getter(unit, &computed);
    EXPECT_EQ(computed.text, "Dynamic");
}

TEST(KVUnitClassTest, WritesRunTheSettersAndChangedHooks) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* unit = units.Create();
    KVUnit* owner = units.Create();
    auto position = [&](const char* name) { return factory.FindAttributeIndex(0, name); };

    // Name goes through its setter from a staging copy.
    std::string name = "Renamed";
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), position("Name"), 0, &name), KV_OK);
    EXPECT_EQ(unit->GetName(), "Renamed");

    // EditorFolder's hook turns separators and ends the folder with one.
    std::string folder = "a/b";
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), position("EditorFolder"), 0, &folder), KV_OK);
    EXPECT_EQ(unit->GetEditorFolder(), "a\\b\\");
    folder = "";
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), position("EditorFolder"), 0, &folder), KV_OK);
    EXPECT_EQ(unit->GetEditorFolder(), "");

    // Owner's setter files the unit with its new owner.
    IKVUnitRef* ref = factory.MakeUnitRef(-1, nullptr);
    ref->SetIndex(owner->GetIndex());
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), position("Owner"), 0, &ref), KV_OK);
    ref->Release();
    EXPECT_EQ(unit->GetOwnerRef()->GetIndex(), owner->GetIndex());
    EXPECT_EQ(owner->GetOwnedUnits(), std::vector<int32_t>{unit->GetIndex()});

    // Visible's single-bit view recomputes the effective visibility.
    uint32_t word = 0;
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), position("Visible"), 0, &word), KV_OK);
    EXPECT_EQ(unit->GetFlags() & (KVUNIT_VISIBLE | KVUNIT_EFFECTIVELY_VISIBLE), 0u);
    word = KVUNIT_VISIBLE;
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), position("Visible"), 0, &word), KV_OK);
    EXPECT_NE(unit->GetFlags() & KVUNIT_EFFECTIVELY_VISIBLE, 0u);

    EXPECT_EQ(factory.SetAttributeElement(9999, position("Name"), 0, &name), KV_INVALID);
    EXPECT_EQ(factory.SetAttributeElement(unit->GetIndex(), 99, 0, &name), KV_NOT_FOUND);
}

TEST(KVUnitClassTest, ClosingATargetDropsEveryReferenceToIt) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* holder = units.Create();
    KVUnit* target = units.Create();
    KVUnit* other = units.Create();
    IKVUnitRef* refs[3];
    for (IKVUnitRef*& ref : refs) {
        ref = factory.MakeUnitRef(holder->GetIndex(), &KVUnit::kLayerId);
        ref->SetIndex(target->GetIndex());
    }
    KVUnitRefArray* cameras = holder->GetCameras();
    for (KVUnit* unit : {other, target, other}) {
        IKVUnitRef* ref = factory.MakeUnitRef(holder->GetIndex(), &KVUnit::kCamerasId);
        ref->SetIndex(unit->GetIndex());
        cameras->Append(ref);
    }
    int32_t targetIndex = target->GetIndex();
    target->Release();
    EXPECT_FALSE(factory.IsValidUnit(targetIndex));
    for (IKVUnitRef* ref : refs) {
        EXPECT_EQ(ref->GetIndex(), -1);
        EXPECT_EQ(*ref->GetUnitUid(), 0u);
        ref->Release();
    }
    ASSERT_EQ(cameras->Size(), 2u);
    EXPECT_EQ(cameras->At(1)->GetIndex(), other->GetIndex());
}

} // namespace
