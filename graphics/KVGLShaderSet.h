#pragma once
// The built-in GLSL programs of the 2D batch: textured and plain colour,
// each with the uniform "global_transform", which is uploaded only when it
// changed or the program changed.
#include <cstdint>

namespace kvl {

class KVGLShaderSet {
public:
    // One attribute or uniform of a program: attributes are bound to their index.
    struct Parameter {
        int32_t index;
        const char* name;
        bool attribute;
    };
    struct Program {
        uint32_t name = 0;
        int32_t attributeCount = 0;
        uint32_t attributeMask = 0;  // bit i: attribute i is read
        int32_t transformLocation = -1;
    };

    KVGLShaderSet();

    // Compiles the four shaders and links the two programs; failures are
    // logged and leave the failed program without a name.
    void Build();
    // Makes the textured (flag set) or the plain program current; false when
    // that program could not be built.
    bool Select(bool textured);
    void SetMatrix(const float* matrix);
    void Destroy();

    // Shader kind is GL_VERTEX_SHADER or GL_FRAGMENT_SHADER. 0 or 1.
    int32_t CompileShader(const char* source, uint32_t kind, uint32_t* out);
    int32_t CreateShaderProgram(uint32_t vertex, uint32_t fragment, const Parameter* table, int32_t count,
                                Program* out);

    const Program& GetTexturedProgram() const { return m_textured; }
    const Program& GetPlainProgram() const { return m_plain; }
    const Program* GetCurrent() const { return m_current; }

private:
    void DestroyProgram(Program& program);

    uint32_t m_vertexTextured = 0;
    uint32_t m_vertexPlain = 0;
    uint32_t m_fragmentTextured = 0;
    uint32_t m_fragmentPlain = 0;
    Program m_textured;
    Program m_plain;
    const Program* m_current = nullptr;
    float m_matrix[16];
    bool m_dirty = false;
};

} // namespace kvl
