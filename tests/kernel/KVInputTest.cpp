// The input module's priority lists, native listeners, key events, command
// mode, the flush after phase 2 and its properties.
#include <gtest/gtest.h>

#include "kernel/KVInputEvents.h"
#include "support/KVFakeInputDevice.h"
#include "support/KVInputHarness.h"
#include "support/KVRecordingInputListener.h"

using namespace kvl;
using kvtest::KVFakeInputDevice;
using kvtest::KVInputHarness;
using kvtest::KVRecordingInputListener;

namespace {

KVKeyEvents Keys(std::vector<KVKeyEvent> keys, std::vector<uint32_t> characters = {}) {
    KVKeyEvents events;
    events.keys = std::move(keys);
    events.characters = std::move(characters);
    return events;
}

class KVInputTest : public ::testing::Test {
protected:
    KVInputTest() : harness(&device) { device.caps = KVINPUT_CAP_KEYBOARD; }

    // One key press delivered after the flush.
    void PressKey(uint8_t code) {
        device.keyEvents.push_back(Keys({{code, 1}}, {0}));
        harness.Update();
    }

    KVFakeInputDevice device;
    KVInputHarness harness;
    std::vector<std::string> journal;
};

TEST_F(KVInputTest, AnswersItsInterfaceAndDeclaresItsTwoProperties) {
    void* out = nullptr;
    ASSERT_EQ(harness.Input().QueryInterface(IID_IKVInput, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVInput*>(&harness.Input()));
    EXPECT_EQ(harness.Input().QueryInterface(IID_IKVInputDevice, &out), 2);
    EXPECT_EQ(out, nullptr);

    struct Expected {
        const char* key;
        const char* display;
        uint64_t id;
    };
    for (const Expected& e : {Expected{"Commands", "Commands", 0x0019977187D90B77ull},
                              Expected{"LogLeftClicks", "Log left clicks", 0x003453B63F7331F2ull}}) {
        const PropertyDescriptor* p = harness.Host().Properties().FindByKey(e.key);
        ASSERT_NE(p, nullptr) << e.key;
        EXPECT_EQ(p->displayName, e.display);
        EXPECT_EQ(p->section, "Input");
        EXPECT_EQ(p->id, e.id);
        EXPECT_EQ(p->type, PROPERTY_BOOLEAN);
        EXPECT_FALSE(*static_cast<bool*>(p->target));
    }
    EXPECT_EQ(harness.Input().GetInputState()->x, 0);
}

TEST_F(KVInputTest, TheTwoUpdatesAfterPhaseTwoDiscardWhatWasQueued) {
    KVRecordingInputListener listener("L");
    harness.Input().AddListener(KVINPUT_KEY_DOWN, &listener);
    EXPECT_EQ(harness.Input().GetFlushCountdown(), 2);
    device.keyEvents.push_back(Keys({{30, 1}}, {0}));
    device.keyEvents.push_back(Keys({{31, 1}}, {0}));
    device.keyEvents.push_back(Keys({{32, 1}}, {0}));
    harness.Update();
    harness.Update();
    EXPECT_TRUE(listener.calls.empty());
    EXPECT_FALSE(harness.Input().IsKeyDown(30));
    harness.Update();
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"800 32 0"}));
    EXPECT_TRUE(harness.Input().IsKeyDown(32));
}

TEST_F(KVInputTest, WithoutADeviceTheUpdateAnswersOne) {
    harness.Input().SetDevice(nullptr);
    EXPECT_EQ(harness.Input().Update(0.1f), 1);
}

TEST_F(KVInputTest, ListsAreWalkedHighNormalLowAndAClearedBitStopsLaterEntries) {
    harness.Flush();
    KVUnit* lowUnit = harness.AddUnit("Low");
    KVUnit* highUnit = harness.AddUnit("High");
    KVRecordingInputListener low("low", &journal), normal("normal", &journal), high("high", &journal);
    low.SetUnit(lowUnit, lowUnit->GetIndex());
    high.SetUnit(highUnit, highUnit->GetIndex());
    KVInput& input = harness.Input();
    input.AddListener(KVINPUT_KEY_DOWN, &low);
    input.AddListener(KVINPUT_KEY_DOWN | KVINPUT_KEY_UP, &normal);
    input.AddListener(KVINPUT_KEY_DOWN, &high);
    EXPECT_EQ(input.SetPriority(lowUnit, KVInput::PRIORITY_LOW), KV_OK);
    EXPECT_EQ(input.SetPriority(highUnit, KVInput::PRIORITY_HIGH), KV_OK);
    PressKey(40);
    EXPECT_EQ(journal, (std::vector<std::string>{"high 800 40 0", "normal 800 40 0", "low 800 40 0"}));

    journal.clear();
    normal.consume = KVINPUT_KEY_DOWN;
    PressKey(41);
    EXPECT_EQ(journal, (std::vector<std::string>{"high 800 41 0", "normal 800 41 0"}));
}

TEST_F(KVInputTest, EntriesOfDisabledOrHiddenUnitsAreSkipped) {
    harness.Flush();
    KVUnit* unit = harness.AddUnit("Button");
    KVRecordingInputListener listener("L");
    listener.SetUnit(unit, unit->GetIndex());
    harness.Input().AddListener(KVINPUT_KEY_DOWN, &listener);
    struct Case {
        bool enabled;
        uint32_t flags;
        bool wantsHidden;
        bool delivered;
    };
    const Case cases[] = {
        {true, 0x1000012, false, true},  {false, 0x1000012, false, false}, {true, 0x12, false, false},
        {true, 0x12, true, true},        {true, 0x1400012, false, false},
    };
    for (const Case& c : cases) {
        unit->SetEnabled(c.enabled);
        unit->SetFlags(c.flags);
        listener.wantsHidden = c.wantsHidden;
        listener.calls.clear();
        PressKey(50);
        EXPECT_EQ(listener.calls.size(), c.delivered ? 1u : 0u) << c.enabled << " " << c.flags << " " << c.wantsHidden;
    }
}

TEST_F(KVInputTest, AddingTheSameListenerTwiceWidensItsEntry) {
    KVRecordingInputListener listener("L");
    KVInput& input = harness.Input();
    EXPECT_EQ(input.AddListener(KVINPUT_KEY_DOWN, &listener), KV_OK);
    EXPECT_EQ(input.AddListener(KVINPUT_KEY_UP, &listener), KV_OK);
    EXPECT_EQ(input.CountEntries(KVInput::PRIORITY_NORMAL), 1u);
    harness.Flush();
    device.keyEvents.push_back(Keys({{7, 1}, {7, 0}}, {0, 0}));
    harness.Update();
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"800 7 0", "1000 7 0"}));
    EXPECT_EQ(input.RemoveListener(&listener), KV_OK);
    EXPECT_EQ(input.RemoveListener(&listener), KV_NOT_FOUND);
}

TEST_F(KVInputTest, AUnitKeepsOneLinkPerEntryWhileTheEntryLives) {
    KVUnit* unit = harness.AddUnit("Unit");
    KVRecordingInputListener listener("L");
    listener.SetUnit(unit, unit->GetIndex());
    KVInput& input = harness.Input();
    input.AddListener(KVINPUT_KEY_DOWN, &listener);
    input.RegisterScriptListener(unit, KVINPUT_KEY_UP, unit);
    EXPECT_EQ(input.CountEntries(KVInput::PRIORITY_NORMAL), 2u);  // native and script entries
    EXPECT_EQ(unit->GetListenerCount(), 2u);
    input.RemoveListener(&listener);
    EXPECT_EQ(unit->GetListenerCount(), 1u);
    harness.Close(unit);  // the unit going away takes its entry
    EXPECT_EQ(input.CountEntries(KVInput::PRIORITY_NORMAL), 0u);

    KVUnit* other = harness.AddUnit("Other");
    input.RegisterScriptListener(other, KVINPUT_KEY_UP, other);
    input.Release(2);
    EXPECT_EQ(input.CountEntries(KVInput::PRIORITY_NORMAL), 0u);
    EXPECT_TRUE(other->GetListenerCount() == 0);
}

// Handlers that unregister parties or close units while a key event is
// delivered: removed entries are not called, new ones wait for the next
// event, and the walk goes on safely.
TEST_F(KVInputTest, HandlersMayChangeTheListsDuringADelivery) {
    harness.Flush();
    KVInput& input = harness.Input();
    KVUnit* firstUnit = harness.AddUnit("First");
    KVRecordingInputListener first("first", &journal), second("second", &journal), third("third", &journal),
        late("late", &journal);
    first.SetUnit(firstUnit, firstUnit->GetIndex());
    input.AddListener(KVINPUT_KEY_DOWN, &first);
    input.AddListener(KVINPUT_KEY_DOWN, &second);
    input.AddListener(KVINPUT_KEY_DOWN, &third);
    first.onInput = [&] {
        harness.Close(firstUnit);
        input.AddListener(KVINPUT_KEY_DOWN, &late);
    };
    second.onInput = [&] { input.RemoveListener(&third); };
    PressKey(9);
    EXPECT_EQ(journal, (std::vector<std::string>{"first 800 9 0", "second 800 9 0"}));
    journal.clear();
    PressKey(10);
    EXPECT_EQ(journal, (std::vector<std::string>{"second 800 10 0", "late 800 10 0"}));
}

TEST_F(KVInputTest, CommandModeTogglesOnZWithKey17AndSwallowsKeysWhileOn) {
    harness.SetProperty("Commands", true);
    harness.Flush();
    KVRecordingInputListener listener("L");
    harness.Input().AddListener(KVINPUT_KEY_DOWN | KVINPUT_KEY_UP, &listener);
    device.keyEvents.push_back(
        Keys({{17, 1}, {'z', 1}, {'a', 1}, {'z', 0}, {'b', 1}}, {0, 0, 0, 0, 0}));
    harness.Update();
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"800 17 0", "1000 122 0", "800 98 0"}));
    EXPECT_FALSE(harness.Input().IsCommandMode());
    device.keyEvents.push_back(Keys({{'z', 1}}, {0}));
    harness.Update();
    EXPECT_TRUE(harness.Input().IsCommandMode());
    EXPECT_TRUE(harness.Input().IsKeyDown('a'));  // key states follow swallowed keys too
}

TEST_F(KVInputTest, WithoutCommandsZAndKey17AreOrdinaryKeys) {
    harness.Flush();
    KVRecordingInputListener listener("L");
    harness.Input().AddListener(KVINPUT_KEY_DOWN, &listener);
    device.keyEvents.push_back(Keys({{17, 1}, {'z', 1}}, {0, 0}));
    harness.Update();
    EXPECT_EQ(listener.calls.size(), 2u);
    EXPECT_FALSE(harness.Input().IsCommandMode());
}

TEST(KVInputEvents, TableNamesBitsAndHandlers) {
    EXPECT_EQ(FindInputEvent("mouse_ldown"), 0x1u);
    EXPECT_EQ(FindInputEvent("mouse_move"), 0x200u);
    EXPECT_EQ(FindInputEvent("touch_move"), 0x200000u);
    EXPECT_EQ(FindInputEvent("Mouse_ldown"), 0u);
    EXPECT_EQ(FindInputEvent(""), 0u);
    uint32_t all = 0;
    int rows = 0;
    for (const KVInputEventKind* k = kInputEvents; k->name[0]; ++k, ++rows) all |= k->mask;
    EXPECT_EQ(rows, 21);
    EXPECT_EQ(all, 0x3ffeffu);  // every bit up to 0x200000 but 0x100
    EXPECT_STREQ(kInputEvents[13].handler, "OnPadButtonDown");
}

TEST(KVInputEvents, KeyCharTextsAndNames) {
    struct Case {
        uint32_t value;
        const char* text;
        const char* name;
    };
    const Case cases[] = {
        {0, "", "common"},         {'a', "a", "common"},       {256 + 'b', "b", "common"},
        {512, "", "common"},       {1000, "\xe8", "common"},   {1001, "", "left"},
        {1010, "", "delete"},      {1011, "", "backspace"},    {1012, "", "f1"},
        {1023, "", "f12"},         {1024, "", "shift"},        {1026, "", "alt"},
        {1027, "", "common"},      {0x4e2d, "", "common"},
    };
    for (const Case& c : cases) {
        std::string text, name;
        DescribeKeyChar(c.value, &text, &name);
        EXPECT_EQ(text, c.text) << c.value;
        EXPECT_EQ(name, c.name) << c.value;
    }
}

TEST_F(KVInputTest, TheClickLineIsWrittenOnlyWhenLeftClicksAreLogged) {
    harness.Input().LogLeftClick("Button", 10, 20, true);
    EXPECT_TRUE(harness.Host().Log().Lines().empty());
    harness.SetProperty("LogLeftClicks", true);
    harness.Input().LogLeftClick("Button", 10, 20, true);
    harness.Input().LogLeftClick("Button", 10, 20, false);
    const auto& lines = harness.Host().Log().Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "Left click on Button (x=10 y=20) event processed");
    EXPECT_EQ(lines[0].level, 0);
    EXPECT_EQ(lines[1].text, "Left click on Button (x=10 y=20)");
}

} // namespace
