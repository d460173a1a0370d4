// The built-in programs: both build on Mesa, and compile or link failures go
// to the log as "KVGL error: " lines at the information level.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <string>

#include "graphics/KVGLShaderSet.h"
#include "support/KVGLDeviceTest.h"

using namespace kvl;

namespace {

class KVGLShaderSetTest : public kvtest::KVGLDeviceTest {
protected:
    void SetUp() override {
        KVGLDeviceTest::SetUp();
        ASSERT_TRUE(OpenDevice(16, 16));
    }
    // Lines of the log that start with the device's prefix; the capture
    // keeps level-2 lines apart, so none of these may be among them.
    int32_t DeviceErrorLines() {
        int32_t count = 0;
        for (const std::string& line : Log().Lines()) count += line.rfind("KVGL error: ", 0) == 0 ? 1 : 0;
        EXPECT_TRUE(Log().Errors().empty());
        return count;
    }
};

TEST_F(KVGLShaderSetTest, BothProgramsBuildWithTheirAttributes) {
    const KVGLShaderSet* shaders = Device().GetShaderSet();
    ASSERT_NE(shaders, nullptr);
    EXPECT_NE(shaders->GetTexturedProgram().name, 0u);
    EXPECT_EQ(shaders->GetTexturedProgram().attributeCount, 3);
    EXPECT_GE(shaders->GetTexturedProgram().transformLocation, 0);
    EXPECT_NE(shaders->GetPlainProgram().name, 0u);
    EXPECT_EQ(shaders->GetPlainProgram().attributeCount, 2);
    GLuint program = shaders->GetTexturedProgram().name;
    EXPECT_EQ(glGetAttribLocation(program, "vertex_uv"), 2);
    EXPECT_EQ(glGetAttribLocation(program, "vertex_color"), 1);
    EXPECT_EQ(DeviceErrorLines(), 0);
}

TEST_F(KVGLShaderSetTest, CompileFailureIsLoggedAndGivesNoShader) {
    KVGLShaderSet shaders;
    uint32_t name = 77;
    EXPECT_EQ(shaders.CompileShader("void main() { this is not glsl }", GL_FRAGMENT_SHADER, &name), 1);
    EXPECT_EQ(name, 0u);
    EXPECT_EQ(DeviceErrorLines(), 1);
}

TEST_F(KVGLShaderSetTest, LinkFailureIsLoggedAndTheProgramIsDeleted) {
    KVGLShaderSet shaders;
    uint32_t vertex = 0, fragment = 0;
    ASSERT_EQ(shaders.CompileShader("attribute vec4 p; void main() { gl_Position = p; }", GL_VERTEX_SHADER, &vertex),
              0);
    // The fragment shader reads a varying that the vertex shader never writes.
    ASSERT_EQ(shaders.CompileShader("varying mediump vec4 missing; void main() { gl_FragColor = missing; }",
                                    GL_FRAGMENT_SHADER, &fragment),
              0);
    const KVGLShaderSet::Parameter table[] = {{0, "p", true}};
    KVGLShaderSet::Program program;
    EXPECT_EQ(shaders.CreateShaderProgram(vertex, fragment, table, 1, &program), 1);
    EXPECT_EQ(program.name, 0u);
    EXPECT_EQ(DeviceErrorLines(), 1);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
}

TEST_F(KVGLShaderSetTest, MatrixIsUploadedWhenTheProgramOrTheMatrixChanges) {
    KVGLShaderSet* shaders = Device().GetShaderSet();
    const float scale[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    shaders->SetMatrix(scale);
    ASSERT_TRUE(shaders->Select(false));
    GLfloat read[16];
    const KVGLShaderSet::Program& plain = shaders->GetPlainProgram();
    glGetUniformfv(plain.name, plain.transformLocation, read);
    EXPECT_EQ(read[0], 2.0f);
    // Changed behind the set's back: a select of the current program without
    // a new matrix uploads nothing.
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glUniformMatrix4fv(plain.transformLocation, 1, GL_FALSE, identity);
    shaders->Select(false);
    glGetUniformfv(plain.name, plain.transformLocation, read);
    EXPECT_EQ(read[0], 1.0f);
    shaders->SetMatrix(scale);
    shaders->Select(false);
    glGetUniformfv(plain.name, plain.transformLocation, read);
    EXPECT_EQ(read[0], 2.0f);
}

} // namespace
