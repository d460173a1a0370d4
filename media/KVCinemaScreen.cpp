#include "KVCinemaScreen.h"

#include <algorithm>

#include "../graphics/KVYUVConverter.h"
#include "../platform/KVEGLScreen.h"

// EGL's native types without the X11 headers: only handles are passed on.
#define EGL_NO_X11
#include <EGL/egl.h>
#include <GLES2/gl2.h>

namespace kvl {
namespace {

constexpr GLenum kSwitches[5] = {GL_SCISSOR_TEST, GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_STENCIL_TEST};
constexpr GLuint kPositionAttribute = 0;
constexpr GLuint kUvAttribute = 1;

const char* const kVertexShader =
    "attribute vec2 a_position;\n"
    "attribute vec2 a_uv;\n"
    "varying vec2 v_uv;\n"
    "void main() {\n"
    "    v_uv = a_uv;\n"
    "    gl_Position = vec4(a_position, 0.0, 1.0);\n"
    "}\n";

const char* const kFragmentShader =
    "precision mediump float;\n"
    "varying vec2 v_uv;\n"
    "uniform sampler2D u_frame;\n"
    "void main() {\n"
    "    gl_FragColor = texture2D(u_frame, v_uv);\n"
    "}\n";

GLuint Compile(GLenum kind, const char* source) {
    GLuint shader = glCreateShader(kind);
    if (shader == 0) return 0;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

bool KVCinemaScreen::Lend() {
    m_display = eglGetCurrentDisplay();
    m_context = eglGetCurrentContext();
    m_draw = eglGetCurrentSurface(EGL_DRAW);
    m_read = eglGetCurrentSurface(EGL_READ);
    if (m_display == EGL_NO_DISPLAY || m_context == EGL_NO_CONTEXT || m_draw == EGL_NO_SURFACE) {
        m_context = nullptr;
        return false;
    }
    glFinish();
    eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return true;
}

void KVCinemaScreen::TakeBack() {
    if (!m_context) return;
    eglMakeCurrent(m_display, m_draw, m_read, m_context);
    m_context = nullptr;
}

bool KVCinemaScreen::Begin(uint32_t frameWidth, uint32_t frameHeight) {
    m_current = false;
    if (!m_context || frameWidth == 0 || frameHeight == 0) return false;
    if (eglMakeCurrent(m_display, m_draw, m_read, m_context) != EGL_TRUE) return false;
    m_current = true;
    SaveState();
    m_width = frameWidth;
    m_height = frameHeight;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (largest <= 0 || frameWidth > uint32_t(largest) || frameHeight > uint32_t(largest) || !BuildProgram()) {
        End();
        return false;
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    m_texture = texture;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, GLsizei(frameWidth), GLsizei(frameHeight), 0, GL_RGB,
                 GL_UNSIGNED_SHORT_5_6_5, nullptr);
    m_pixels.assign(size_t(frameWidth) * frameHeight * 2, 0);
    return true;
}

bool KVCinemaScreen::BuildProgram() {
    GLuint vertex = Compile(GL_VERTEX_SHADER, kVertexShader);
    GLuint fragment = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
    GLuint program = vertex && fragment ? glCreateProgram() : 0;
    if (program) {
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glBindAttribLocation(program, kPositionAttribute, "a_position");
        glBindAttribLocation(program, kUvAttribute, "a_uv");
        glLinkProgram(program);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            glDeleteProgram(program);
            program = 0;
        }
    }
    // Flagged for deletion; they go with the program.
    if (vertex) glDeleteShader(vertex);
    if (fragment) glDeleteShader(fragment);
    m_program = program;
    return program != 0;
}

void KVCinemaScreen::Show(const KVTheoraFrame& frame) {
    if (!m_current || !m_texture || !m_picture.Take(frame) || m_picture.Width() != m_width ||
        m_picture.Height() != m_height)
        return;
    const uint8_t* const* planes = m_picture.Planes();
    KVYUVConverter::Convert(planes[0], planes[1], planes[2], m_picture.Stride(), int32_t(m_width), int32_t(m_height),
                            m_pixels.data(), int32_t(m_width * 2), 16);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(m_width), GLsizei(m_height), GL_RGB, GL_UNSIGNED_SHORT_5_6_5,
                    m_pixels.data());

    EGLint screenWidth = 0, screenHeight = 0;
    eglQuerySurface(m_display, m_draw, EGL_WIDTH, &screenWidth);
    eglQuerySurface(m_display, m_draw, EGL_HEIGHT, &screenHeight);
    if (screenWidth <= 0 || screenHeight <= 0) return;
    // The largest box of the frame's proportions that fits the screen.
    const float scale = std::min(float(screenWidth) / float(m_width), float(screenHeight) / float(m_height));
    const float x = float(m_width) * scale / float(screenWidth);
    const float y = float(m_height) * scale / float(screenHeight);
    // Row 0 of the frame is its top.
    const GLfloat positions[8] = {-x, -y, x, -y, -x, y, x, y};
    const GLfloat uvs[8] = {0, 1, 1, 1, 0, 0, 1, 0};

    for (GLenum which : kSwitches) glDisable(which);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glViewport(0, 0, screenWidth, screenHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(m_program);
    glEnableVertexAttribArray(kPositionAttribute);
    glEnableVertexAttribArray(kUvAttribute);
    glVertexAttribPointer(kPositionAttribute, 2, GL_FLOAT, GL_FALSE, 0, positions);
    glVertexAttribPointer(kUvAttribute, 2, GL_FLOAT, GL_FALSE, 0, uvs);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    // The engine's screen shows a frame its own way (a window may get it
    // through a copy); a context made elsewhere is swapped.
    if (ScreenIsOpen())
        ScreenSwapBuffers();
    else
        eglSwapBuffers(m_display, m_draw);
}

void KVCinemaScreen::End() {
    if (!m_current) return;
    if (m_texture) {
        GLuint texture = m_texture;
        glDeleteTextures(1, &texture);
        m_texture = 0;
    }
    if (m_program) {
        glDeleteProgram(m_program);
        m_program = 0;
    }
    RestoreState();
    glFinish();
    m_pixels.clear();
    m_pixels.shrink_to_fit();
    eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglReleaseThread();
    m_current = false;
}

void KVCinemaScreen::SaveState() {
    SavedState& s = m_saved;
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s.arrayBuffer);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clearColor);
    for (size_t i = 0; i < 5; ++i) s.enabled[i] = glIsEnabled(kSwitches[i]) ? 1 : 0;
    glGetVertexAttribiv(kPositionAttribute, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &s.attributeEnabled[0]);
    glGetVertexAttribiv(kUvAttribute, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &s.attributeEnabled[1]);
}

void KVCinemaScreen::RestoreState() {
    const SavedState& s = m_saved;
    glUseProgram(GLuint(s.program));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, GLuint(s.texture));
    glActiveTexture(GLenum(s.activeTexture));
    glBindBuffer(GL_ARRAY_BUFFER, GLuint(s.arrayBuffer));
    glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    glClearColor(s.clearColor[0], s.clearColor[1], s.clearColor[2], s.clearColor[3]);
    for (size_t i = 0; i < 5; ++i) {
        if (s.enabled[i])
            glEnable(kSwitches[i]);
        else
            glDisable(kSwitches[i]);
    }
    const GLuint attributes[2] = {kPositionAttribute, kUvAttribute};
    for (size_t i = 0; i < 2; ++i) {
        if (s.attributeEnabled[i])
            glEnableVertexAttribArray(attributes[i]);
        else
            glDisableVertexAttribArray(attributes[i]);
    }
}

} // namespace kvl
