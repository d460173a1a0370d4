// Gamepads of the input module through a device that has them: connection,
// extension and button events, rumble, and the pad functions of scripts.
#include <gtest/gtest.h>

#include "kernel/KVInputEvents.h"
#include "kernel/KVSDLInput.h"
#include "support/KVFakeInputDevice.h"
#include "support/KVInputHarness.h"
#include "support/KVRecordingInputListener.h"

using namespace kvl;
using kvtest::KVFakeInputDevice;
using kvtest::KVInputHarness;
using kvtest::KVRecordingInputListener;

namespace {

class KVInputPadsTest : public ::testing::Test {
protected:
    KVInputPadsTest() : harness(&device) {
        device.caps = KVINPUT_CAP_GAMEPADS;
        harness.Flush();
        harness.AddUnit("Game");
        harness.Run("calls = {}\n"
                    "local function log(name) return function(...) calls[#calls + 1] = "
                    "name .. ' ' .. table.concat({...}, ' ') end end\n"
                    "Game.OnPadConnect = log('connect')\nGame.OnPadDisconnect = log('disconnect')\n"
                    "Game.OnPadExtension = log('extension')\nGame.OnPadButtonDown = log('down')\n"
                    "Game.OnPadButtonUp = log('up')\n"
                    "KVInput.RegisterListener(Game, {'pad_connect', 'pad_disconnect', 'pad_extension', "
                    "'pad_down', 'pad_up'})");
    }
    std::vector<std::string> Calls() {
        std::vector<std::string> calls = harness.Host().Evaluate("unpack(calls)");
        harness.Run("calls = {}");
        return calls;
    }
    // The rumble journal of n frames, "1" on and "0" off per change, "." none.
    std::string RumbleFrames(int n, float dt = 0.1f) {
        std::string frames;
        for (int i = 0; i < n; ++i) {
            size_t before = device.journal.size();
            harness.Update(dt);
            frames += device.journal.size() == before ? '.' : device.journal.back().back();
        }
        return frames;
    }

    KVFakeInputDevice device;
    KVInputHarness harness;
};

TEST_F(KVInputPadsTest, ConnectionsAndExtensionsAreDeliveredWithThePadCountedFromOne) {
    KVRecordingInputListener native("native");
    harness.Input().AddListener(KVINPUT_PAD_CONNECT | KVINPUT_PAD_DISCONNECT, &native);
    device.AddPad(4, false);
    device.AddPad(4, false).connected = 0;
    harness.Update(0.25f);
    EXPECT_EQ(device.dts, (std::vector<float>{0.25f}));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"connect 1"}));
    EXPECT_EQ(native.calls, (std::vector<std::string>{"10000 0 0"}));
    device.pads[1].connected = 1;
    device.pads[1].extensionChanged = true;
    device.pads[0].connected = 0;
    device.pads[0].extensionChanged = true;  // a pad not connected reports nothing more
    harness.Update();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"disconnect 1", "connect 2", "extension 2"}));
    harness.Update();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(KVInputPadsTest, ButtonBitsGiveEventsInButtonOrderWithNamesOrNumbers) {
    KVFakeInputDevice::Pad& pad = device.AddPad(3, false);
    pad.buttonNames = {"A"};
    pad.bits = 0b01;
    harness.Update();
    pad.bits = 0b110;
    harness.Update();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"connect 1", "down 1 A", "up 1 A", "down 1 2", "down 1 3"}));
}

TEST_F(KVInputPadsTest, ButtonEventListsGiveButtonNumbersCountedFromOne) {
    KVFakeInputDevice::Pad& pad = device.AddPad(8, false);
    pad.info.buttonsAsBits = 0;
    pad.events = {0x80 | 4, 4, 0x80};
    harness.Update();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"connect 1", "down 1 5", "up 1 5", "down 1 1"}));
}

TEST_F(KVInputPadsTest, PadsAboveTheHighestKeptIndexAreDisconnected) {
    for (int i = 0; i < 6; ++i) device.AddPad(2, false);
    harness.Update();
    EXPECT_EQ(device.journal, (std::vector<std::string>{"disconnect 5"}));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"connect 1", "connect 2", "connect 3", "connect 4", "connect 5"}));
    device.journal.clear();
    harness.Run("KVInput.SetMaxNumberOfGamepad(2)");
    EXPECT_EQ(harness.Input().GetMaxPadIndex(), 1);
    EXPECT_EQ(device.journal, (std::vector<std::string>{"disconnect 2", "disconnect 3", "disconnect 4"}));
    harness.Update();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"disconnect 3", "disconnect 4", "disconnect 5"}));
    harness.Run("KVInput.DisconnectGamepad(1)");
    EXPECT_EQ(device.journal.back(), "disconnect 0");
}

TEST_F(KVInputPadsTest, RumbleRunsItsLevelOfFourFramesUntilTheTimeIsOut) {
    device.AddPad(2, true);
    harness.Update();
    struct Case {
        const char* call;
        const char* frames;  // what the device is told, frame by frame
    };
    const Case cases[] = {
        {"KVInput.RunPadRumble(1, 0.75, 0.5)", "..0.1.0.."},   // level 2: on two frames of four
        {"KVInput.RunPadRumble(1, 0.75, 0.1)", ".0..10..."},   // the weakest still pulses: level 1
        {"KVInput.RunPadRumble(1, 0.35, 3)", "...0....."},     // level 0: continuous
        {"KVInput.RunPadRumble(1, 0.35)", "...0....."},
        {"KVInput.RunPadRumble(1, 5, 0)", "........."},        // intensity 0: off
        {"KVInput.RunPadRumble(1, -1, 0.5)", "........."},     // no time: off
    };
    for (const Case& c : cases) {
        device.journal.clear();
        harness.Run(c.call);
        std::string told = device.journal.empty() ? "-" : device.journal.back();
        EXPECT_EQ(RumbleFrames(9), c.frames) << c.call << " first told " << told;
    }
    EXPECT_TRUE(harness.Errors().empty());
}

TEST_F(KVInputPadsTest, RumbleIsSwitchedOnAtOnceAndOnlyOnChanges) {
    device.AddPad(2, true);
    harness.Update();
    harness.Run("KVInput.RunPadRumble(1, 1, 0.5)");
    EXPECT_EQ(device.journal, (std::vector<std::string>{"rumble 0 1"}));
    harness.Run("KVInput.RunPadRumble(1, 1, 0.9)");
    EXPECT_EQ(device.journal.size(), 1u);
    harness.Run("KVInput.RunPadRumble(1, 1, 0)");
    EXPECT_EQ(device.journal, (std::vector<std::string>{"rumble 0 1", "rumble 0 0"}));
}

TEST_F(KVInputPadsTest, RumbleGoesOnWhenAPollFails) {
    device.AddPad(2, true);
    harness.Update();
    harness.Run("KVInput.RunPadRumble(1, 0.15)");
    device.pads[0].pollFails = true;
    EXPECT_EQ(RumbleFrames(3), ".0.");
}

TEST_F(KVInputPadsTest, ScriptsReadButtonsSticksAndAccelerometersByNumberOrName) {
    KVFakeInputDevice::Pad& pad = device.AddPad(40, true);
    pad.buttonNames = {"A", "B"};
    pad.sticks = {0.5f, -0.25f};
    pad.stickNames = {"left", "right"};
    pad.accelerations = {9.5f};
    pad.accelerometerNames = {"x"};
    pad.bits = 0x80000002u;
    harness.Update();
    EXPECT_EQ(harness.Host().Evaluate(
                  "KVInput.GetPadButtonState(1, 2), KVInput.GetPadButtonState(1, 'B'), "
                  "KVInput.GetPadButtonState(1, 1), KVInput.GetPadButtonState(1, 32), "
                  "KVInput.GetPadButtonState(1, 33), KVInput.GetPadButtonState(1, 40), "
                  "KVInput.GetPadButtonState(1, 'C'), KVInput.GetPadButtonState(2, 2), "
                  "KVInput.GetPadButtonState(1, true)"),
              (std::vector<std::string>{"1", "1", "0", "1", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(harness.Host().Evaluate("KVInput.GetPadStickPosition(1, 'right'), KVInput.GetPadStickPosition(1, 1), "
                                      "KVInput.GetPadStickPosition(1, 3), KVInput.GetPadAcceleration(1, 'x'), "
                                      "KVInput.GetPadAcceleration(1, 2), KVInput.GetPadAcceleration(0, 1)"),
              (std::vector<std::string>{"-0.25", "0.5", "0", "9.5", "0", "0"}));
    EXPECT_EQ(harness.Host().Evaluate("KVInput.GetPadInfos(1).NbButtons, KVInput.GetPadInfos(1).Rumble, "
                                      "KVInput.GetPadInfos(1).Name"),
              (std::vector<std::string>{"40", "true", "Pad1"}));
}

// The SDL device has no gamepads: every pad function answers its defaults.
TEST(KVInputPadsSDL, WithoutGamepadsThePadFunctionsAnswerTheirDefaults) {
    KVSDLInput device;
    KVInputHarness harness(&device);
    harness.Flush();
    harness.Update();
    EXPECT_EQ(harness.Host().Evaluate("KVInput.GetPadInfos(1).NbButtons, KVInput.GetPadInfos(1).NbSticks, "
                                      "KVInput.GetPadInfos(1).NbAccelerometers, KVInput.GetPadInfos(1).Speaker, "
                                      "KVInput.GetPadInfos(1).Rumble, KVInput.GetPadInfos(1).Name, "
                                      "KVInput.GetPadInfos(1).battery_level, KVInput.GetPadButtonState(1, 1), "
                                      "KVInput.GetPadStickPosition(1, 1)"),
              (std::vector<std::string>{"0", "0", "0", "false", "false", "", "1", "0", "0"}));
    harness.Run("KVInput.RunPadRumble(1, 1)");
    ASSERT_EQ(harness.Errors().size(), 1u);
    EXPECT_NE(harness.Errors()[0].find("Invalid gamepad index"), std::string::npos);
}

TEST_F(KVInputPadsTest, RumbleNeedsAPadThatHasIt) {
    device.AddPad(2, false);
    harness.Update();
    harness.Run("KVInput.RunPadRumble(1, 1)\nKVInput.RunPadRumble(2, 1)\nKVInput.RunPadRumble(1)");
    ASSERT_EQ(harness.Errors().size(), 3u);
    EXPECT_NE(harness.Errors()[0].find("Gamepad has no rumble"), std::string::npos);
    EXPECT_NE(harness.Errors()[1].find("Invalid gamepad index"), std::string::npos);
    EXPECT_NE(harness.Errors()[2].find("Invalid number of arguments"), std::string::npos);
    EXPECT_TRUE(device.journal.empty());
}

} // namespace
