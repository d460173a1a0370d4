// The "KVInput" script library: registrations from scripts, their handlers
// and the pointer queries. Only a boolean true returned by a handler
// consumes.
#include <gtest/gtest.h>
#include <lua.hpp>

#include "kernel/KVInputEvents.h"
#include "support/KVFakeInputDevice.h"
#include "support/KVInputHarness.h"
#include "support/KVRecordingInputListener.h"

using namespace kvl;
using kvtest::KVFakeInputDevice;
using kvtest::KVInputHarness;
using kvtest::KVRecordingInputListener;

namespace {

class KVInputLibTest : public ::testing::Test {
protected:
    KVInputLibTest() : harness(&device) {
        harness.Flush();
        harness.Run("calls = {}\nfunction Log(text) calls[#calls + 1] = text end");
    }

    void Key(uint8_t code, bool down, uint32_t character = 0) {
        KVKeyEvents events;
        events.keys.push_back({code, uint8_t(down ? 1 : 0)});
        events.characters.push_back(character);
        device.keyEvents.push_back(events);
        harness.Update();
    }
    std::vector<std::string> Calls() { return harness.Host().Evaluate("unpack(calls)"); }

    KVFakeInputDevice device;
    KVInputHarness harness;
};

TEST_F(KVInputLibTest, PublishesItsFourteenFunctions) {
    EXPECT_EQ(harness.Host().TableKeys("KVInput"),
              (std::vector<std::string>{"DisconnectGamepad", "GetMouseButtonState", "GetPadAcceleration",
                                        "GetPadButtonState", "GetPadInfos", "GetPadStickPosition",
                                        "IsMouseOutsideScreen", "KeycodeToChar", "RegisterListener",
                                        "RunPadRumble", "SetListenerPriority", "SetMaxNumberOfGamepad",
                                        "SetMousePosition", "UnregisterListener"}));
}

TEST_F(KVInputLibTest, RegisteredUnitsReceiveKeyHandlersWithTheirArguments) {
    harness.AddUnit("Hero");
    harness.Run("function Hero.OnKeyDown(code) Log('down ' .. code) end\n"
                "function Hero.OnKeyUp(code) Log('up ' .. code) end\n"
                "function Hero.OnKeyChar(text, name) Log('char [' .. text .. '] ' .. name) end\n"
                "KVInput.RegisterListener(Hero, {'key_down', 'key_char'})\n"
                "KVInput.RegisterListener(Hero, 'key_up')");
    EXPECT_EQ(harness.Input().CountEntries(KVInput::PRIORITY_NORMAL), 1u);
    Key(30, true, 'a');
    Key(30, false, 0);
    KVKeyEvents named;
    named.characters = {1001, 1025};
    device.keyEvents.push_back(named);
    harness.Update();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"down 30", "char [a] common", "up 30", "char [] common",
                                                  "char [] left", "char [] control"}));
    EXPECT_TRUE(harness.Errors().empty());
}

TEST_F(KVInputLibTest, AnotherUnitMayReceiveTheCallsAndASecondRegistrationKeepsIt) {
    harness.AddUnit("Hero");
    harness.AddUnit("Panel");
    harness.AddUnit("Other");
    harness.Run("function Hero.OnKeyDown(code) Log('hero') end\n"
                "function Panel.OnKeyDown(code) Log('panel') end\n"
                "function Panel.OnKeyUp(code) Log('panel up') end\n"
                "function Other.OnKeyUp(code) Log('other up') end\n"
                "KVInput.RegisterListener(Hero, 'key_down', Panel)\n"
                "KVInput.RegisterListener(Hero, 'key_up', Other)");
    Key(5, true);
    Key(5, false);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"panel", "panel up"}));
}

TEST_F(KVInputLibTest, AHandlerThatReturnsTrueConsumesTheEvent) {
    harness.AddUnit("First");
    harness.AddUnit("Second");
    harness.Run("answer = nil\n"
                "function First.OnKeyDown(code) Log('first') return answer end\n"
                "function Second.OnKeyDown(code) Log('second') end\n"
                "KVInput.RegisterListener(First, 'key_down')\n"
                "KVInput.RegisterListener(Second, 'key_down')");
    KVRecordingInputListener after("after");
    harness.Input().AddListener(KVINPUT_KEY_DOWN, &after);
    struct Case {
        const char* answer;
        bool consumed;
    };
    for (const Case& c : {Case{"nil", false}, Case{"false", false}, Case{"true", true}, Case{"1", false}}) {
        harness.Run(std::string("calls = {} answer = ") + c.answer);
        after.calls.clear();
        Key(6, true);
        EXPECT_EQ(Calls().size(), c.consumed ? 1u : 2u) << c.answer;
        EXPECT_EQ(after.calls.size(), c.consumed ? 0u : 1u) << c.answer;
    }
    EXPECT_EQ(lua_gettop(harness.Host().State()), 0);
}

TEST_F(KVInputLibTest, AnUnknownEventRegistersNoneOfTheNames) {
    harness.AddUnit("Hero");
    harness.Run("KVInput.RegisterListener(Hero, {'key_down', 'key_press'})");
    EXPECT_EQ(harness.Input().CountEntries(KVInput::PRIORITY_NORMAL), 0u);
    ASSERT_EQ(harness.Errors().size(), 1u);
    EXPECT_NE(harness.Errors()[0].find("key_press is an unknown event"), std::string::npos);
    harness.Run("KVInput.RegisterListener(Hero)");
    EXPECT_NE(harness.Errors().back().find("Invalid number of arguments"), std::string::npos);
    harness.Run("KVInput.RegisterListener({}, 'key_down')");
    EXPECT_NE(harness.Errors().back().find("Bad or missing argument (Arg #1)"), std::string::npos);
    EXPECT_EQ(harness.Input().CountEntries(KVInput::PRIORITY_NORMAL), 0u);
}

TEST_F(KVInputLibTest, PrioritiesMoveTheFirstEntryOfAUnit) {
    for (const char* name : {"A", "B", "C", "D"}) {
        harness.AddUnit(name);
        harness.Run(std::string("function ") + name + ".OnKeyDown() Log('" + name + "') end\n" +
                    "KVInput.RegisterListener(" + name + ", 'key_down')");
    }
    harness.Run("KVInput.SetListenerPriority(B, 'high')\n"
                "KVInput.SetListenerPriority(C, 'high')\n"
                "KVInput.SetListenerPriority(A, 'low')\n"
                "KVInput.SetListenerPriority(D, 'low')\n"
                "KVInput.SetListenerPriority(D, 'low')");
    Key(1, true);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"C", "B", "A", "D"}));
    EXPECT_TRUE(harness.Errors().empty());

    harness.AddUnit("E");
    harness.Run("KVInput.SetListenerPriority(A, 'top')\nKVInput.SetListenerPriority(E, 'high')");
    ASSERT_EQ(harness.Errors().size(), 2u);
    EXPECT_NE(harness.Errors()[0].find("top is an unknown priority"), std::string::npos);
    EXPECT_NE(harness.Errors()[1].find("Listener not registered."), std::string::npos);

    harness.Run("calls = {}\nKVInput.UnregisterListener(C)\nKVInput.UnregisterListener(C)");
    Key(1, true);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"B", "A", "D"}));
}

TEST_F(KVInputLibTest, AUnitAndItsNativeListenerAreTwoEntries) {
    KVUnit* unit = harness.AddUnit("Button");
    KVRecordingInputListener listener("native");
    listener.SetUnit(unit, unit->GetIndex());
    harness.Input().AddListener(KVINPUT_KEY_DOWN, &listener);
    harness.Run("function Button.OnKeyDown() Log('script') end\nKVInput.RegisterListener(Button, 'key_down')");
    EXPECT_EQ(harness.Input().CountEntries(KVInput::PRIORITY_NORMAL), 2u);
    Key(2, true);
    EXPECT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"script"}));
}

// A target that went away is no longer called; its registering unit stays.
TEST_F(KVInputLibTest, ATargetThatWentAwayIsNotCalled) {
    harness.AddUnit("Hero");
    KVUnit* panel = harness.AddUnit("Panel");
    harness.Run("function Panel.OnKeyDown() Log('panel') end\nKVInput.RegisterListener(Hero, 'key_down', Panel)");
    harness.Close(panel);
    Key(3, true);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(harness.Input().CountEntries(KVInput::PRIORITY_NORMAL), 1u);
}

TEST_F(KVInputLibTest, AHandlerThatClosesUnitsDuringADeliveryIsSafe) {
    KVUnit* first = harness.AddUnit("First");
    KVUnit* second = harness.AddUnit("Second");
    harness.AddUnit("Third");
    harness.Run("function First.OnKeyDown() Log('first') CloseUnits() end\n"
                "function Second.OnKeyDown() Log('second') end\n"
                "function Third.OnKeyDown() Log('third') end\n"
                "KVInput.RegisterListener(First, 'key_down')\n"
                "KVInput.RegisterListener(Second, 'key_down')\n"
                "KVInput.RegisterListener(Third, 'key_down')");
    static KVUnit* s_first = nullptr;
    static KVUnit* s_second = nullptr;
    s_first = first;
    s_second = second;
    lua_register(harness.Host().State(), "CloseUnits", [](lua_State*) -> int {
        KVInputHarness::Close(s_first);
        KVInputHarness::Close(s_second);
        return 0;
    });
    Key(4, true);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(harness.Input().CountEntries(KVInput::PRIORITY_NORMAL), 1u);
}

TEST_F(KVInputLibTest, KeycodeToCharAsksTheDevice) {
    device.characters[65] = 'A';
    EXPECT_EQ(harness.Host().Evaluate("KVInput.KeycodeToChar(65)"), (std::vector<std::string>{"A"}));
    EXPECT_EQ(harness.Host().Evaluate("KVInput.KeycodeToChar(67)"), (std::vector<std::string>{""}));
    EXPECT_EQ(harness.Host().Evaluate("KVInput.KeycodeToChar(65 + 512)"), (std::vector<std::string>{"A"}));
    harness.Run("KVInput.KeycodeToChar()");
    EXPECT_NE(harness.Errors().back().find("Invalid number of arguments"), std::string::npos);
}

TEST_F(KVInputLibTest, MouseButtonsAndTheOutsideFlagFollowThePointer) {
    device.caps = KVINPUT_CAP_POINTER;
    KVPointerState pointer;
    pointer.x = 10;
    pointer.y = 10;
    pointer.rightPress = 1;
    pointer.outside = 1;
    device.pointerStates.push_back(pointer);
    harness.Update();
    EXPECT_EQ(harness.Host().Evaluate("KVInput.GetMouseButtonState(1), KVInput.GetMouseButtonState(2), "
                                      "KVInput.GetMouseButtonState(3), KVInput.GetMouseButtonState(4), "
                                      "KVInput.IsMouseOutsideScreen()"),
              (std::vector<std::string>{"false", "true", "false", "false", "true"}));
}

TEST_F(KVInputLibTest, SetMousePositionConvertsGameToDevicePixels) {
    harness.Run("KVInput.SetMousePosition(100.4, 50)");
    harness.Graphic().screen.width = 512;
    harness.Graphic().screen.height = 256;
    harness.Run("KVInput.SetMousePosition(128, 64)");
    EXPECT_EQ(device.journal, (std::vector<std::string>{"pointer 100 50", "pointer 128 64"}));
}

} // namespace
