#include "platform/KVEGLScreen.h"

#include <GLES2/gl2.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace kvl;

namespace {

class KVEGLScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    }
    void TearDown() override {
        ScreenClose();
        SDL_Quit();
    }
};

TEST_F(KVEGLScreenTest, DummyVideoGetsAnOffScreenOpenGLES2Context) {
    ASSERT_EQ(ScreenOpen(40, 30), 0);
    EXPECT_TRUE(ScreenIsOpen());
    EXPECT_FALSE(ScreenIsWindow());
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::strncmp(version, "OpenGL ES ", 10), 0) << version;
    GLint box[4];
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[2], 40);
    EXPECT_EQ(box[3], 30);
    EXPECT_EQ(ScreenSwapBuffers(), 0);
    ScreenClose();
    EXPECT_FALSE(ScreenIsOpen());
    EXPECT_EQ(ScreenSwapBuffers(), 1);
}

TEST_F(KVEGLScreenTest, ScreenWithoutSizeIsRefused) {
    EXPECT_EQ(ScreenOpen(0, 30), 1);
    EXPECT_EQ(ScreenOpen(40, -1), 1);
    EXPECT_FALSE(ScreenIsOpen());
}

TEST_F(KVEGLScreenTest, OpeningAgainReplacesTheScreen) {
    ASSERT_EQ(ScreenOpen(16, 16), 0);
    ASSERT_EQ(ScreenOpen(24, 8), 0);
    GLint box[4];
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[2], 24);
    EXPECT_EQ(box[3], 8);
}

} // namespace
