// External unit types registered under "Embeddable": the registration of a
// module's phase 3, the life of the external with its host, the forwarded
// operations, interface queries through the host and event routing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "kernel/KVCore.h"
#include "support/KVTestExternals.h"
#include "support/KVTestUnitEvents.h"
#include "units/KVSceneManager.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnitClass.h"

using namespace kvl;
using kvtest::KVTestCoreHost;
using kvtest::KVTestEmbeddableUnit;
using kvtest::KVTestExternal;
using kvtest::KVTestUnitEvents;
using kvtest::KVTestUpdateExternal;
using Records = std::vector<std::string>;

namespace {

// A core that answers nothing.
class Bare : public IKVUnknown {};

IKVUnitExternal* ImplementationOf(KVUnit* unit) {
    void* face = nullptr;
    return unit && unit->QueryInterface(IID_IKVUnitExternal, &face) == KV_OK ? static_cast<IKVUnitExternal*>(face)
                                                                              : nullptr;
}

class KVUnitExternalTest : public ::testing::Test {
protected:
    KVUnitExternalTest() {
        KVTestEmbeddableUnit::UseForEmbeddable();
        videoClass = RegisterExternalType(Core(), KVTestExternal::Type());
        units.Namespace("TestVideo001", {"OnCreate", "OnFire"});
        units.Take();
    }
    ~KVUnitExternalTest() override { EXPECT_EQ(KVTestExternal::Live(), 0); }

    IKVUnknown* Core() { return static_cast<IKVCore*>(&units.Host().Core()); }
    KVTestEmbeddableUnit* Video() {
        IKVUnit* unit = nullptr;
        EXPECT_EQ(units.Factory().NewUnit(videoClass, &unit), KV_OK);
        return unit ? static_cast<KVTestEmbeddableUnit*>(unit->GetUnit()) : nullptr;
    }
    static KVTestExternal* ExternalOf(KVUnit* unit) {
        return static_cast<KVTestExternal*>(static_cast<IKVExternal*>(unit->GetExtraData()));
    }

    KVTestUnitEvents units;
    int32_t videoClass = -1;
};

} // namespace

TEST_F(KVUnitExternalTest, ATypeRegistersUnderEmbeddableWithItsAttributesAndMethods) {
    ASSERT_GE(videoClass, 0);
    KVUnitFactory& factory = units.Factory();
    const KVUnitClass* record = factory.GetClass(videoClass);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->name, "TestVideo");
    EXPECT_EQ(record->baseClass, factory.FindClassByName("Embeddable"));
    EXPECT_EQ(record->id, 0x7E5700E0ull);
    EXPECT_EQ(record->createExtra, &KVTestExternal::Create);
    const KVAttributeDesc* speed = factory.FindAttributeById(videoClass, KVTestExternal::kSpeedId);
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->storageKind, KVSTORE_EXTRA);

    // The unit is made as an embeddable unit; the external is attached to
    // it before the host looks for its interfaces and raises "OnCreate";
    // enabling the unit then runs the attributes' change callbacks.
    KVTestEmbeddableUnit* video = Video();
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(units.Take(), (Records{"ext:Attach", "TestVideo001:OnCreate", "ext:SpeedChanged"}));
    KVTestExternal* external = ExternalOf(video);
    EXPECT_EQ(external->Host(), static_cast<IKVUnit*>(video));
    EXPECT_EQ(video->GetExternalImplementation(), static_cast<IKVUnitExternal*>(external));
    ASSERT_EQ(video->GetPixelSource(), static_cast<IKVUnitSpriteExternal*>(external));
    external->color = 0xFF102030u;
    EXPECT_EQ(video->GetPixelSource()->GetPixelColor(3, 4), 0xFF102030u);
    units.Take();

    // Attributes address the external object; methods receive it.
    units.Run("assert(TestVideo001.Speed == 1)\nTestVideo001.Speed = 2.5");
    EXPECT_FLOAT_EQ(external->speed, 2.5f);
    units.Run("TestVideo001:Fire()");
    EXPECT_EQ(units.Take(), (Records{"ext:SpeedChanged", "ext:Fire", "TestVideo001:OnFire"}));
    video->Release();
}

TEST_F(KVUnitExternalTest, ACoreWithoutAUnitFactoryRegistersNothing) {
    const int32_t classes = units.Factory().GetClassCount();
    Bare bare;
    EXPECT_EQ(RegisterExternalType(&bare, KVTestExternal::Type("Nothing", 0x7E5700EEull)), -1);
    EXPECT_EQ(RegisterExternalType(nullptr, KVTestExternal::Type("Nothing", 0x7E5700EEull)), -1);
    EXPECT_EQ(units.Factory().GetClassCount(), classes);
    EXPECT_EQ(units.Factory().FindClassByName("Nothing"), -1);
}

TEST_F(KVUnitExternalTest, AnExternalOfUpdateOnlyLeavesEveryOtherOperationAtZero) {
    KVExternalType type;
    type.className = "UpdateOnly";
    type.factory = &KVTestUpdateExternal::Create;
    type.classId = 0x7E5700E3ull;
    const int32_t updateOnly = RegisterExternalType(Core(), type);
    IKVUnit* made = nullptr;
    ASSERT_EQ(units.Factory().NewUnit(updateOnly, &made), KV_OK);
    KVUnit* unit = made->GetUnit();
    auto* external = static_cast<KVTestUpdateExternal*>(static_cast<IKVExternal*>(unit->GetExtraData()));
    IKVUnitExternal* ops = ImplementationOf(unit);
    ASSERT_EQ(ops, unit->GetExternalImplementation());

    // The host's forwarded operations reach the defaults and change nothing.
    unit->Play();
    unit->Pause();
    unit->ResetState();
    unit->SetDrawable(true);
    bool visible = false;
    unit->QueryVisible(&visible, -1);
    EXPECT_TRUE(visible);
    const std::vector<int32_t>& list = KVSceneManager::Instance()->GetList(unit->GetSceneList());
    EXPECT_EQ(std::count(list.begin(), list.end(), unit->GetIndex()), 1);  // still drawn
    units.Factory().Update(0.25f);
    EXPECT_EQ(external->updates, std::vector<float>{0.25f});

    uint8_t untouched = 7;
    const std::vector<std::function<int32_t()>> defaults = {
        [&] { return ops->Play(); },
        [&] { return ops->Pause(); },
        [&] { return ops->Stop(); },
        [&] { return ops->PreUpdate(); },
        [&] { return ops->Draw(); },
        [&] { return ops->AfterDraw(1); },
        [&] { return ops->SuppressDraw(&untouched); },
        [&] { return ops->StopIfSet(1); },
        [&] { return ops->OnAttributesRead(); },
        [&] { return ops->SetEnabledState(true); },
        [&] { return ops->OnReferenceDropped(nullptr); },
        [&] { return ops->OnReferenceChanged(nullptr); },
        [&] { return ops->Reserved14(1, 2); },
        [&] { return ops->Reserved15(1, 2); },
        [&] { return ops->Reserved16(1, 2); },
        [&] { return int32_t(ops->IsPointInside({1, 1}, nullptr, nullptr)); },
        [&] { return ops->Signal(1, 2); },
    };
    for (size_t i = 0; i < defaults.size(); ++i) EXPECT_EQ(defaults[i](), KV_OK) << "operation " << i;
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(external->updates.size(), 1u);
    made->Release();
}

TEST_F(KVUnitExternalTest, TheHostForwardsItsRunTimeOperationsButNeverStopIfSet) {
    KVTestEmbeddableUnit* video = Video();
    KVTestExternal* external = ExternalOf(video);
    units.Take();
    video->Play();
    video->Pause();
    video->ResetState();
    units.Factory().Update(0.5f);
    video->SetDrawable(true);
    bool visible = false;
    video->QueryVisible(&visible, -1);
    external->suppress = true;
    video->QueryVisible(&visible, -1);
    EXPECT_TRUE(visible);
    const std::vector<int32_t>& list = KVSceneManager::Instance()->GetList(video->GetSceneList());
    EXPECT_EQ(std::count(list.begin(), list.end(), video->GetIndex()), 1);  // the second one kept out
    video->SetEnabled(false);
    video->SetEnabled(true);
    EXPECT_EQ(units.Take(), (Records{"ext:Play", "ext:Pause", "ext:Stop", "ext:Update 0.50", "ext:SuppressDraw",
                                     "ext:SuppressDraw", "ext:SpeedChanged", "ext:SpeedChanged"}));
    video->Release();
}

TEST_F(KVUnitExternalTest, QueriesReachTheExternalThroughTheHostWithoutLooping) {
    KVTestEmbeddableUnit* video = Video();
    KVTestExternal* external = ExternalOf(video);
    void* found = nullptr;
    EXPECT_EQ(video->QueryInterface(IID_IKVUnitSpriteExternal, &found), KV_OK);
    EXPECT_EQ(found, static_cast<IKVUnitSpriteExternal*>(external));
    EXPECT_EQ(video->QueryInterface(IID_IKVUnit, &found), KV_OK);
    EXPECT_EQ(found, static_cast<IKVUnit*>(video));

    const KVInterfaceId unknown = MakeId(0x7E57, 0x1D);
    found = &found;
    EXPECT_EQ(video->QueryInterface(unknown, &found), KV_NOT_SUPPORTED);
    EXPECT_EQ(found, nullptr);
    // An external that asks its host back is answered 2 at once.
    external->askHost = true;
    units.Take();
    found = &found;
    EXPECT_EQ(video->QueryInterface(unknown, &found), KV_NOT_SUPPORTED);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(units.Take(), Records{"ext:AskHost"});
    video->Release();
}

TEST_F(KVUnitExternalTest, EventsGoToTheNotifiedUnitWhileItExistsElseToTheHost) {
    KVTestEmbeddableUnit* video = Video();
    KVUnit* other = units.Spawn("Other");
    units.Namespace("Other", {"OnFire"});
    units.Take();
    units.Run("TestVideo001:Fire()");
    units.Run("TestVideo001.UnitNotify = Other\nTestVideo001:Fire()");
    other->Release();
    units.Run("TestVideo001:Fire()");
    EXPECT_EQ(units.Take(), (Records{"ext:Fire", "TestVideo001:OnFire", "ext:Fire", "Other:OnFire", "Other:Close",
                                     "ext:Fire", "TestVideo001:OnFire"}));
    video->Release();
}

TEST_F(KVUnitExternalTest, ClosingTheHostDetachesAndReleasesTheExternalOnce) {
    KVTestEmbeddableUnit* video = Video();
    EXPECT_EQ(KVTestExternal::Live(), 1);
    EXPECT_EQ(ExternalOf(video)->GetRefCount(), 1);
    units.Take();
    video->Release();
    // Disabled for good (its attributes' disable pass), then closed.
    EXPECT_EQ(units.Take(), (Records{"ext:SpeedChanged", "ext:Detach", "ext:Deleted"}));
    EXPECT_EQ(KVTestExternal::Live(), 0);
}
