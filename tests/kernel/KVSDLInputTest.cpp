// The SDL input device: SDL events into pointer state, key events and
// touches, and its extension module.
#include <gtest/gtest.h>
#include <SDL.h>

#include "kernel/KVModules.h"
#include "kernel/KVPlatformCreators.h"
#include "kernel/KVSDLInput.h"
#include "kernel/KVSDLInputInterface.h"
#include "support/KVFakeGraphicDevice.h"

using namespace kvl;
using kvtest::KVFakeGraphicDevice;

namespace {

SDL_Event Motion(int x, int y, int which = 0) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = Uint16(x);
    e.motion.y = Uint16(y);
    e.motion.which = Uint8(which);
    return e;
}

SDL_Event Button(bool down, int button, int x, int y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = Uint8(button);
    e.button.x = Uint16(x);
    e.button.y = Uint16(y);
    return e;
}

SDL_Event Key(bool down, int scancode, int unicode) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = Uint8(scancode);
    e.key.keysym.unicode = Uint16(unicode);
    return e;
}

class KVSDLInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        graphic.screen.width = 320;
        graphic.screen.height = 480;
        input.Start(&graphic);
    }
    void Feed(const SDL_Event& e) { input.HandleEvent(&e); }

    KVFakeGraphicDevice graphic;
    KVSDLInput input;
};

TEST_F(KVSDLInputTest, AnswersPointerKeyboardAndTouchesAndNoGamepads) {
    EXPECT_EQ(input.GetCaps(), 11u);
    EXPECT_EQ(input.GetPadCount(0.1f), 0);
    KVPadInfo info;
    KVPadState pad;
    uint32_t bits = 0;
    std::vector<uint8_t> events;
    std::string name;
    EXPECT_EQ(input.GetPadInfo(0, &info), 1);
    EXPECT_EQ(input.PollPad(0, &pad), 1);
    EXPECT_EQ(input.GetPadButtonBits(0, &bits), 1);
    EXPECT_EQ(input.GetPadButtonEvents(0, &events), 1);
    EXPECT_EQ(input.SetPadRumble(0, 1), 1);
    EXPECT_EQ(input.HasPadExtensionChanged(0), 0);
    EXPECT_EQ(input.DisconnectPad(0), 1);
    EXPECT_EQ(input.GetPadButtonName(0, 0, &name), 1);
    EXPECT_EQ(input.GetPadStickName(0, 0, &name), 1);
    EXPECT_EQ(input.GetPadAccelerometerName(0, 0, &name), 1);
    EXPECT_EQ(input.SetPointerPosition(5, 5), 1);
    EXPECT_EQ(input.KeyCodeToChar('a'), 0u);
    void* out = &input;
    EXPECT_EQ(input.QueryInterface(IID_IKVInputDevice, &out), 2);
    EXPECT_EQ(out, nullptr);
}

TEST_F(KVSDLInputTest, PressAndReleaseInOneFrameGiveBothBytesAndOneTouch) {
    Feed(Button(true, SDL_BUTTON_LEFT, 10, 20));
    Feed(Button(false, SDL_BUTTON_LEFT, 12, 22));
    KVPointerState state;
    ASSERT_EQ(input.GetPointerState(&state), 1);
    EXPECT_EQ(state.leftPress, 1);
    EXPECT_EQ(state.leftRelease, 1);
    EXPECT_EQ(state.rightPress, 0);
    EXPECT_EQ(state.x, 12);
    EXPECT_EQ(state.y, 22);
    EXPECT_EQ(state.dx, 0);  // nothing reported before
    EXPECT_EQ(input.GetPointerState(&state), 0);

    std::vector<KVTouchRecord> touches;
    ASSERT_EQ(input.GetTouches(&touches), 1);
    ASSERT_EQ(touches.size(), 2u);
    EXPECT_EQ(touches[0].pressed, 1);
    EXPECT_EQ(touches[0].released, 1);
    EXPECT_EQ(touches[0].pressX, 10);
    EXPECT_EQ(touches[0].releaseY, 22);
    EXPECT_EQ(touches[1].pressed, 0);
    EXPECT_EQ(input.GetTouches(&touches), 0);
}

TEST_F(KVSDLInputTest, RightButtonIsTouchOneAndOtherButtonsChangeNothing) {
    for (int button : {SDL_BUTTON_MIDDLE, SDL_BUTTON_WHEELUP, SDL_BUTTON_WHEELDOWN}) {
        Feed(Button(true, button, 50, 60));
        Feed(Button(false, button, 50, 60));
    }
    KVPointerState state;
    std::vector<KVTouchRecord> touches;
    EXPECT_EQ(input.GetPointerState(&state), 0);
    EXPECT_EQ(input.GetTouches(&touches), 0);

    Feed(Button(true, SDL_BUTTON_RIGHT, 7, 8));
    ASSERT_EQ(input.GetPointerState(&state), 1);
    EXPECT_EQ(state.rightPress, 1);
    EXPECT_EQ(state.leftPress, 0);
    ASSERT_EQ(input.GetTouches(&touches), 1);
    EXPECT_EQ(touches[1].pressed, 1);
    EXPECT_EQ(touches[1].pressX, 7);
    EXPECT_EQ(touches[0].pressed, 0);
}

TEST_F(KVSDLInputTest, MovesGiveDeltasAndPickTheTouchByDeviceIndex) {
    Feed(Motion(100, 50));
    KVPointerState state;
    ASSERT_EQ(input.GetPointerState(&state), 1);
    EXPECT_EQ(state.dx, 0);
    EXPECT_EQ(state.dy, 0);
    Feed(Motion(110, 45, 2));  // no touch of that index
    ASSERT_EQ(input.GetPointerState(&state), 1);
    EXPECT_EQ(state.x, 110);
    EXPECT_EQ(state.dx, 10);
    EXPECT_EQ(state.dy, -5);

    std::vector<KVTouchRecord> touches;
    ASSERT_EQ(input.GetTouches(&touches), 1);  // the first move, touch 0
    EXPECT_EQ(touches[0].moved, 1);
    EXPECT_EQ(touches[0].moveX, 100);
    EXPECT_EQ(input.GetTouches(&touches), 0);
    Feed(Motion(3, 4, 1));
    ASSERT_EQ(input.GetTouches(&touches), 1);
    EXPECT_EQ(touches[1].moved, 1);
    EXPECT_EQ(touches[0].moved, 0);
}

// The pointer and the touches of one finger lie in the same turned frame.
TEST_F(KVSDLInputTest, OrientationThreeTurnsPointerAndTouchesAlike) {
    graphic.orientation = 3;
    Feed(Motion(100, 50));
    Feed(Button(true, SDL_BUTTON_LEFT, 100, 50));
    KVPointerState state;
    ASSERT_EQ(input.GetPointerState(&state), 1);
    EXPECT_EQ(state.x, 270);
    EXPECT_EQ(state.y, 100);
    std::vector<KVTouchRecord> touches;
    ASSERT_EQ(input.GetTouches(&touches), 1);
    EXPECT_EQ(touches[0].moveX, 270);
    EXPECT_EQ(touches[0].moveY, 100);
    EXPECT_EQ(touches[0].pressX, 270);
    EXPECT_EQ(touches[0].pressY, 100);

    for (int orientation : {0, 1, 2}) {
        graphic.orientation = orientation;
        Feed(Button(false, SDL_BUTTON_LEFT, 100, 50));
        ASSERT_EQ(input.GetPointerState(&state), 1);
        EXPECT_EQ(state.x, 100) << orientation;
        ASSERT_EQ(input.GetTouches(&touches), 1);
        EXPECT_EQ(touches[0].releaseX, 100) << orientation;
    }
}

TEST_F(KVSDLInputTest, KeyEventsWaitForACharacterValueAndReleasesQueueOneToo) {
    KVKeyEvents events;
    EXPECT_EQ(input.GetKeyEvents(&events), 0);
    Feed(Key(true, 38, 'a'));
    Feed(Key(false, 38, 0));
    ASSERT_EQ(input.GetKeyEvents(&events), 1);
    ASSERT_EQ(events.keys.size(), 2u);
    EXPECT_EQ(events.keys[0].code, 38);
    EXPECT_EQ(events.keys[0].down, 1);
    EXPECT_EQ(events.keys[1].down, 0);
    EXPECT_EQ(events.characters, (std::vector<uint32_t>{'a', 0}));
    EXPECT_EQ(input.GetKeyEvents(&events), 0);
}

TEST_F(KVSDLInputTest, PushedSDLEventsReachTheDeviceThroughTheMainLoopsHandler) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_NE(GetSDLInputHandler(), nullptr);
    SDL_Event pushed[] = {Key(true, 20, 'q'), Motion(30, 40), Button(true, SDL_BUTTON_LEFT, 31, 41)};
    for (SDL_Event& e : pushed) ASSERT_EQ(SDL_PushEvent(&e), 0);
    SDL_Event e;
    while (SDL_PollEvent(&e)) GetSDLInputHandler()(&e);
    SDL_Quit();

    KVKeyEvents keys;
    ASSERT_EQ(input.GetKeyEvents(&keys), 1);
    EXPECT_EQ(keys.keys[0].code, 20);
    EXPECT_EQ(keys.characters, (std::vector<uint32_t>{'q'}));
    KVPointerState state;
    ASSERT_EQ(input.GetPointerState(&state), 1);
    EXPECT_EQ(state.leftPress, 1);
    EXPECT_EQ(state.x, 31);
}

// SDL fills a key event's unicode value only while its translation is on;
// starting its video turns it off, and the device, started after it,
// turns it on.
TEST(KVSDLInputUnicode, StartingTheDeviceTurnsOnSDLsCharacterTranslation) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_EnableUNICODE(0);
    KVFakeGraphicDevice graphic;
    KVSDLInput input;
    input.Start(&graphic);
    EXPECT_EQ(SDL_EnableUNICODE(-1), 1);
    SDL_Event pushed = Key(true, 38, 0xE9);
    ASSERT_EQ(SDL_PushEvent(&pushed), 0);
    SDL_Event e;
    while (SDL_PollEvent(&e)) input.HandleEvent(&e);
    SDL_Quit();
    KVKeyEvents keys;
    ASSERT_EQ(input.GetKeyEvents(&keys), 1);
    EXPECT_EQ(keys.characters, (std::vector<uint32_t>{0xE9}));
}

// Answers the graphic device, as the core does for the extension modules.
class GraphicHost : public IKVUnknown {
public:
    explicit GraphicHost(IKVGraphicDevice* device) : m_device(device) {}
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVGraphicDevice) return AnswerInterface(m_device, out);
        return IKVUnknown::QueryInterface(id, out);
    }

private:
    IKVGraphicDevice* m_device;
};

TEST(KVSDLInputInterface, CreatorMakesTheDeviceAndTheModuleHandsItOut) {
    EXPECT_EQ(PlatformCreators().at(5), &CreateSDLInputInterface);
    KVFakeGraphicDevice graphic;
    graphic.screen.width = 200;
    graphic.orientation = 3;
    GraphicHost host(&graphic);
    KVModuleCreateInfo info{&host, 0};
    KVModules modules;
    ASSERT_EQ(modules.RegisterModule(&CreateSDLInputInterface), KV_OK);
    KVSDLInputInterface* module = KVSDLInputInterface::Instance();
    ASSERT_NE(module, nullptr);
    ASSERT_NE(KVSDLInput::Instance(), nullptr);  // made in phase 0
    EXPECT_EQ(CreateSDLInputInterface(&info), module);
    EXPECT_EQ(module->GetId(), 0x10d96627e471ull);
    EXPECT_EQ(module->GetPriority(), 1);
    void* out = nullptr;
    ASSERT_EQ(module->QueryInterface(IID_IKVInputDevice, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVInputDevice*>(KVSDLInput::Instance()));
    EXPECT_EQ(module->QueryInterface(MakeId(1, 2), &out), 2);
    EXPECT_EQ(out, nullptr);

    // Phase 2 takes the graphic device from the host.
    modules.InitAll(2);
    SDL_Event e = Motion(10, 20);
    GetSDLInputHandler()(&e);
    KVPointerState state;
    ASSERT_EQ(KVSDLInput::Instance()->GetPointerState(&state), 1);
    EXPECT_EQ(state.x, 180);

    modules.Release(4);
    EXPECT_EQ(KVSDLInput::Instance(), nullptr);
    EXPECT_EQ(GetSDLInputHandler(), nullptr);
}

} // namespace
