// Pointer and touch events of the input module: event bits, clamping to the
// game area, native listeners, the hand-over of registered units to the
// scene's walk, and SDL events end to end.
#include <gtest/gtest.h>
#include <SDL.h>

#include <map>

#include "graphics/KVGraphic.h"
#include "kernel/KVInputEvents.h"
#include "kernel/IKVProperties.h"
#include "kernel/KVCore.h"
#include "kernel/KVModules.h"
#include "kernel/KVSDLInputInterface.h"
#include "kernel/KVSDLInput.h"
#include "support/KVFakeInputDevice.h"
#include "support/KVInputHarness.h"
#include "support/KVRecordingInputListener.h"
#include "support/KVSDLEvents.h"

using namespace kvl;
using kvtest::KVFakeInputDevice;
using kvtest::KVInputHarness;
using kvtest::KVRecordingInputListener;

namespace {

// A scene that gives draw numbers and a viewport, and records each unit
// handed to its walk ("pointer Unit mask x y" / "touch Unit k dx dy").
class RecordingScene : public KVInputSceneStandIn {
public:
    explicit RecordingScene(std::vector<std::string>* journal) : m_journal(journal) {}
    int32_t GetDrawNumber(IKVUnit* unit) override {
        auto it = drawNumbers.find(unit);
        return it == drawNumbers.end() ? -1 : it->second;
    }
    KVInputRect GetDeviceViewport() override { return viewport; }
    void DispatchPointerToUnit(const KVPointerDispatch& d) override {
        char text[128];
        std::snprintf(text, sizeof text, "pointer %s%s %x %d %d refs %d", d.unit->GetName().c_str(),
                      d.target ? ("->" + d.target->GetName()).c_str() : "", unsigned(*d.sharedMask), int(d.x),
                      int(d.y), int(d.unit->GetUnit()->GetRefCount()));
        m_journal->push_back(text);
        *d.sharedMask &= ~consume;
    }
    void DispatchTouchToUnit(const KVTouchDispatch& d) override {
        char text[128];
        std::snprintf(text, sizeof text, "touch %s %x %d %d %d", d.unit->GetName().c_str(),
                      unsigned(*d.sharedMask & d.entryMask), int(d.touch), int(d.deltaX), int(d.deltaY));
        m_journal->push_back(text);
    }

    std::map<IKVUnit*, int32_t> drawNumbers;
    KVInputRect viewport{0, 0, 1024, 768};
    uint32_t consume = 0;

private:
    std::vector<std::string>* m_journal;
};

KVPointerState Pointer(int x, int y) {
    KVPointerState p;
    p.x = x;
    p.y = y;
    return p;
}

KVTouchRecord Touch(bool pressed, bool moved, bool released, int x, int y) {
    KVTouchRecord t;
    t.pressed = pressed;
    t.moved = moved;
    t.released = released;
    t.pressX = t.moveX = t.releaseX = x;
    t.pressY = t.moveY = t.releaseY = y;
    return t;
}

class KVInputPointerTest : public ::testing::Test {
protected:
    KVInputPointerTest() : harness(&device), scene(&journal) {
        scene.SetGraphicDevice(&harness.Graphic());
        harness.Input().SetScene(&scene);
        harness.Flush();
    }
    void Send(const KVPointerState& pointer) {
        device.pointerStates.push_back(pointer);
        harness.Update();
    }

    KVFakeInputDevice device;
    KVInputHarness harness;
    std::vector<std::string> journal;
    RecordingScene scene;
};

TEST_F(KVInputPointerTest, ButtonsInsideTheGameAreaReachAListenerThatIsNoUnit) {
    KVRecordingInputListener listener("L");
    harness.Input().AddListener(0x7ff, &listener);
    KVPointerState p = Pointer(100, 200);
    p.dx = 3;
    p.leftPress = 1;
    p.rightRelease = 1;  // a release without a seen press, inside: delivered
    Send(p);
    p = Pointer(100, 200);
    p.wheel = 2;
    p.leftDoublePress = 1;
    p.rightDoublePress = 1;
    Send(p);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"211 100 200", "4c0 100 200"}));
    EXPECT_TRUE(harness.Input().GetMouseButtonState(1));
    EXPECT_EQ(harness.Input().GetInputState()->x, 100);
}

TEST_F(KVInputPointerTest, OutsideTheGameAreaPressesAreDroppedAndReleasesNeedASeenPress) {
    KVRecordingInputListener listener("L");
    harness.Input().AddListener(0x7ff, &listener);
    KVPointerState p = Pointer(2000, -40);
    p.leftPress = 1;
    p.rightRelease = 1;
    p.rightPress = 0;
    Send(p);
    EXPECT_TRUE(listener.calls.empty());
    // InputState is held on the left and top only; the event point on all sides.
    EXPECT_EQ(harness.Input().GetInputState()->x, 2000);
    EXPECT_EQ(harness.Input().GetInputState()->y, 0);

    p = Pointer(10, 10);
    p.rightPress = 1;
    Send(p);
    p = Pointer(5000, 900);
    p.rightRelease = 1;
    p.leftDoublePress = 1;
    Send(p);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"2 10 10", "10 1023 767"}));
    EXPECT_FALSE(harness.Input().GetMouseButtonState(2));
}

TEST_F(KVInputPointerTest, RegisteredUnitsGoToTheSceneDrawnLastFirst) {
    KVUnit* back = harness.AddUnit("Back");
    KVUnit* front = harness.AddUnit("Front");
    KVUnit* middle = harness.AddUnit("Middle");
    KVUnit* panel = harness.AddUnit("Panel");
    scene.drawNumbers = {{back, 3}, {front, 9}, {middle, 5}};
    KVRecordingInputListener native("Middle", &journal);
    native.SetUnit(middle, middle->GetIndex());
    harness.Run("KVInput.RegisterListener(Back, 'mouse_ldown', Panel)\n"
                "KVInput.RegisterListener(Front, {'mouse_ldown', 'mouse_move'})");
    harness.Input().AddListener(KVINPUT_MOUSE_LDOWN, &native);
    scene.consume = KVINPUT_MOUSE_MOVE;  // the first walk consumes the move
    KVPointerState p = Pointer(30, 40);
    p.dx = 1;
    p.leftPress = 1;
    Send(p);
    EXPECT_EQ(journal, (std::vector<std::string>{"pointer Front 201 30 40 refs 2", "Middle 1 30 40",
                                                  "pointer Back->Panel 1 30 40 refs 2"}));
    for (KVUnit* unit : {back, front, middle, panel}) EXPECT_EQ(unit->GetRefCount(), 1) << unit->GetName();
}

TEST_F(KVInputPointerTest, WhatANativeListenerConsumesNoPartyAfterItGets) {
    KVUnit* back = harness.AddUnit("Back");
    KVUnit* button = harness.AddUnit("Button");
    KVUnit* below = harness.AddUnit("Below");
    scene.drawNumbers = {{back, 3}, {button, 9}, {below, 5}};
    KVRecordingInputListener native("Button", &journal);
    native.SetUnit(button, button->GetIndex());
    native.consume = KVINPUT_MOUSE_LDOWN;
    KVRecordingInputListener under("Below", &journal);
    under.SetUnit(below, below->GetIndex());
    harness.Run("KVInput.RegisterListener(Back, {'mouse_ldown', 'mouse_move'})");
    harness.Input().AddListener(KVINPUT_MOUSE_LDOWN | KVINPUT_MOUSE_MOVE, &native);
    harness.Input().AddListener(KVINPUT_MOUSE_LDOWN | KVINPUT_MOUSE_MOVE, &under);
    KVPointerState p = Pointer(30, 40);
    p.dx = 1;
    p.leftPress = 1;
    Send(p);
    EXPECT_EQ(journal, (std::vector<std::string>{"Button 201 30 40", "Below 200 30 40",
                                                  "pointer Back 200 30 40 refs 2"}));
}

TEST_F(KVInputPointerTest, TouchesGiveTheirBitsAndMovesMeasureFromTheLastPressOrMove) {
    KVRecordingInputListener listener("L");
    harness.Input().AddListener(KVINPUT_TOUCH_DOWN | KVINPUT_TOUCH_MOVE | KVINPUT_TOUCH_UP, &listener);
    harness.AddUnit("Pad");
    harness.Run("KVInput.RegisterListener(Pad, {'touch_down', 'touch_move', 'touch_up'})");

    KVTouchRecord first = Touch(true, true, false, 10, 20);
    first.moveX = 15;
    first.moveY = 26;
    device.touchLists.push_back({first, KVTouchRecord()});
    harness.Update();
    device.touchLists.push_back({Touch(false, true, false, 20, 30), Touch(true, false, false, 70, 80)});
    harness.Update();
    device.touchLists.push_back({Touch(false, false, true, 21, 31)});
    harness.Update();
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"280000 15 26", "200000 20 30", "80000 70 80",
                                                        "100000 21 31"}));
    EXPECT_EQ(journal, (std::vector<std::string>{"touch Pad 280000 0 5 6", "touch Pad 200000 0 5 4",
                                                  "touch Pad 80000 1 0 0", "touch Pad 100000 0 0 0"}));
}

TEST_F(KVInputPointerTest, SetMousePositionUsesTheActiveViewportAndThe2DScale) {
    scene.viewport = KVInputRect{100, 50, 612, 434};
    harness.Run("KVInput.SetMousePosition(512, 384)\nKVInput.SetMousePosition(0, 0)");
    KVGraphic graphic;
    const float scale[2] = {2.0f, 0.5f};
    graphic.Set2DTransform(scale, false);
    harness.Run("KVInput.SetMousePosition(128, 96)");
    EXPECT_EQ(device.journal, (std::vector<std::string>{"pointer 356 242", "pointer 100 50", "pointer 228 74"}));
}

// SDL events pushed on the queue, handed to the SDL device by the main
// loop's handler, reach a native listener as named events.
class KVInputSDLTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        device.reset(new KVSDLInput());
        harness.reset(new KVInputHarness(device.get()));
        harness->Graphic().screen.width = 320;
        harness->Graphic().screen.height = 480;
        device->Start(&harness->Graphic());
        harness->Flush();
    }
    void TearDown() override {
        harness.reset();
        device.reset();
        SDL_Quit();
    }
    static void Push(const SDL_Event& e) { kvtest::PushSDLEvent(e); }
    static SDL_Event Button(bool down, int x, int y) { return kvtest::SDLButton(down, x, y); }
    void Frame() {
        kvtest::PumpSDLEvents();
        harness->Update();
    }

    std::unique_ptr<KVSDLInput> device;
    std::unique_ptr<KVInputHarness> harness;
};

TEST_F(KVInputSDLTest, AClickAndAKeyReachTheirListenersWithNamesAndPoints) {
    KVRecordingInputListener listener("L");
    harness->Input().AddListener(KVINPUT_MOUSE_LDOWN | KVINPUT_MOUSE_LUP | KVINPUT_TOUCH_DOWN |
                                     KVINPUT_TOUCH_UP | KVINPUT_KEY_DOWN,
                                 &listener);
    harness->AddUnit("Hero");
    harness->Run("calls = {}\n"
                 "function Hero.OnKeyDown(code) calls[#calls + 1] = 'down ' .. code end\n"
                 "function Hero.OnKeyChar(text, name) calls[#calls + 1] = text .. ' ' .. name end\n"
                 "KVInput.RegisterListener(Hero, {'key_down', 'key_char'})");
    Push(Button(true, 40, 60));
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.scancode = 38;
    key.key.keysym.unicode = 'a';
    Push(key);
    Frame();
    Push(Button(false, 41, 61));
    Frame();
    EXPECT_EQ(listener.calls,
              (std::vector<std::string>{"1 40 60", "800 38 0", "80000 40 60", "8 41 61", "100000 41 61"}));
    EXPECT_EQ(harness->Host().Evaluate("unpack(calls)"), (std::vector<std::string>{"down 38", "a common"}));
}

TEST_F(KVInputSDLTest, InOrientationThreeTheClickAndTheTouchShareTheTurnedPoint) {
    harness->Graphic().orientation = 3;
    KVRecordingInputListener listener("L");
    harness->Input().AddListener(KVINPUT_MOUSE_LDOWN | KVINPUT_TOUCH_DOWN, &listener);
    Push(Button(true, 100, 50));
    Frame();
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"1 270 100", "80000 270 100"}));
}

} // namespace

namespace {

// In the engine the module finds the SDL device, the graphic device and
// the property registry through the core.
TEST(KVInputCore, TheModuleFindsTheSDLDeviceThroughTheCore) {
    kvtest::TempWorkDir dir;
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    KVCore* core = KVCore::Instance(false);
    core->Init(0);
    KVModules::Instance()->RegisterModule(&kvtest::KVFakeGraphicDevice::Create);
    KVModules::Instance()->RegisterModule(&CreateSDLInputInterface);
    core->Init(1);
    core->Init(2);
    KVInput* input = KVInput::Instance();
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->GetCaps(), 11u);
    PropertyTarget commands;
    IKVProperties* properties = QueryCoreInterface<IKVProperties>(IID_IKVProperties);
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(properties->FindProperty(KVInput::kCommandsId, &commands), KV_OK);

    KVRecordingInputListener listener("L");
    input->AddListener(KVINPUT_MOUSE_LDOWN, &listener);
    input->Update(0.02f);
    input->Update(0.02f);
    kvtest::PushSDLEvent(kvtest::SDLButton(true, 12, 34));
    kvtest::PumpSDLEvents();
    input->Update(0.02f);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"1 12 34"}));
    input->RemoveListener(&listener);
    KVCore::ShutdownCore();
    SDL_Quit();
}

} // namespace
