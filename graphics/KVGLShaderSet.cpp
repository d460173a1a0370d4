#include "KVGLShaderSet.h"

#include <GLES2/gl2.h>

#include <cstring>
#include <string>
#include <vector>

#include "KVGLRender.h"

namespace kvl {
namespace {

const char* const kVertexTextured =
    "attribute vec4 vertex_position; attribute vec4 vertex_color; attribute vec2 vertex_uv; "
    "varying vec4 shader_color; varying vec2 shader_uv; uniform mat4 global_transform; "
    "void main() { gl_Position = global_transform * vertex_position; shader_color = vertex_color; "
    "shader_uv = vertex_uv; }";
const char* const kVertexPlain =
    "attribute vec4 vertex_position; attribute vec4 vertex_color; varying vec4 shader_color; "
    "uniform mat4 global_transform; "
    "void main() { gl_Position = global_transform * vertex_position; shader_color = vertex_color; }";
const char* const kFragmentTextured =
    "uniform sampler2D color_texture; varying mediump vec4 shader_color; varying mediump vec2 shader_uv; "
    "void main() { gl_FragColor = texture2D(color_texture, shader_uv) * shader_color; }";
const char* const kFragmentPlain =
    "varying mediump vec4 shader_color; void main() { gl_FragColor = shader_color; }";

const KVGLShaderSet::Parameter kTexturedTable[] = {
    {0, "vertex_position", true},
    {1, "vertex_color", true},
    {2, "vertex_uv", true},
    {0, "global_transform", false},
};
const KVGLShaderSet::Parameter kPlainTable[] = {
    {0, "vertex_position", true},
    {1, "vertex_color", true},
    {0, "global_transform", false},
};

constexpr int32_t kMaxAttributes = 3;

// The info log of a shader or program, when it has more than its terminator.
template <class LengthQuery, class LogQuery>
void LogInfo(uint32_t name, LengthQuery queryLength, LogQuery queryLog) {
    GLint length = 0;
    queryLength(name, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return;
    std::vector<char> text(size_t(length) + 1, '\0');
    queryLog(name, length, nullptr, text.data());
    KVGLRender::LogError(text.data());
}

} // namespace

KVGLShaderSet::KVGLShaderSet() {
    std::memset(m_matrix, 0, sizeof(m_matrix));
    for (int i = 0; i < 4; ++i) m_matrix[i * 5] = 1.0f;
}

int32_t KVGLShaderSet::CompileShader(const char* source, uint32_t kind, uint32_t* out) {
    *out = 0;
    GLuint shader = glCreateShader(kind);
    if (shader == 0) return 1;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE) {
        *out = shader;
        return 0;
    }
    LogInfo(shader, glGetShaderiv, glGetShaderInfoLog);
    glDeleteShader(shader);
    return 1;
}

int32_t KVGLShaderSet::CreateShaderProgram(uint32_t vertex, uint32_t fragment, const Parameter* table, int32_t count,
                                           Program* out) {
    *out = Program();
    GLuint program = glCreateProgram();
    if (program == 0) {
        KVGLRender::LogError("Unable to create shader program");
        return 1;
    }
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    int32_t attributes = 0;
    uint32_t mask = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (!table[i].attribute) continue;
        glBindAttribLocation(program, GLuint(table[i].index), table[i].name);
        if (table[i].index + 1 > attributes) attributes = table[i].index + 1;
        mask |= 1u << table[i].index;
    }
    glLinkProgram(program);
    GLint location = glGetUniformLocation(program, "global_transform");
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_TRUE) {
        out->name = program;
        out->attributeCount = attributes;
        out->attributeMask = mask;
        out->transformLocation = location;
        return 0;
    }
    LogInfo(program, glGetProgramiv, glGetProgramInfoLog);
    glDetachShader(program, vertex);
    glDetachShader(program, fragment);
    glDeleteProgram(program);
    return 1;
}

void KVGLShaderSet::Build() {
    CompileShader(kVertexTextured, GL_VERTEX_SHADER, &m_vertexTextured);
    CompileShader(kVertexPlain, GL_VERTEX_SHADER, &m_vertexPlain);
    CompileShader(kFragmentTextured, GL_FRAGMENT_SHADER, &m_fragmentTextured);
    CompileShader(kFragmentPlain, GL_FRAGMENT_SHADER, &m_fragmentPlain);
    CreateShaderProgram(m_vertexTextured, m_fragmentTextured, kTexturedTable, 4, &m_textured);
    CreateShaderProgram(m_vertexPlain, m_fragmentPlain, kPlainTable, 3, &m_plain);
    m_current = nullptr;
    m_dirty = false;
}

bool KVGLShaderSet::Select(bool textured) {
    const Program* wanted = textured ? &m_textured : &m_plain;
    if (wanted != m_current) {
        glUseProgram(wanted->name);
        for (int32_t i = 0; i < kMaxAttributes; ++i) {
            if (wanted->attributeMask & (1u << i)) {
                glEnableVertexAttribArray(GLuint(i));
            } else {
                glDisableVertexAttribArray(GLuint(i));
            }
        }
        m_current = wanted;
        if (wanted->name != 0 && wanted->transformLocation >= 0) glUniformMatrix4fv(wanted->transformLocation, 1, GL_FALSE, m_matrix);
        m_dirty = false;
    } else if (m_dirty && wanted->transformLocation >= 0) {
        if (wanted->name != 0) glUniformMatrix4fv(wanted->transformLocation, 1, GL_FALSE, m_matrix);
        m_dirty = false;
    }
    return wanted->name != 0;
}

void KVGLShaderSet::SetMatrix(const float* matrix) {
    std::memcpy(m_matrix, matrix, sizeof(m_matrix));
    m_dirty = true;
}

void KVGLShaderSet::DestroyProgram(Program& program) {
    if (program.name == 0) return;
    GLuint attached[2] = {0, 0};
    GLsizei count = 0;
    glGetAttachedShaders(program.name, 2, &count, attached);
    for (GLsizei i = 0; i < count; ++i) glDetachShader(program.name, attached[i]);
    glDeleteProgram(program.name);
    program = Program();
}

void KVGLShaderSet::Destroy() {
    DestroyProgram(m_plain);
    DestroyProgram(m_textured);
    for (uint32_t* shader : {&m_fragmentPlain, &m_fragmentTextured, &m_vertexPlain, &m_vertexTextured}) {
        if (*shader != 0) glDeleteShader(*shader);
        *shader = 0;
    }
    m_current = nullptr;
}

} // namespace kvl
