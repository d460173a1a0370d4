#pragma once
// The shader parameters of a display or shader unit: which parameters of
// the unit's table a shader program takes, at which locations. A list is
// filled from the shader's description file (the shader's path followed by
// ".info"): one line per parameter, "name, location, up to four numbers",
// ";" starting a comment.
#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

class IKVShaderProgram;

struct KVShaderParamEntry {
    std::string name;
    int32_t index = -1;     // of the parameter in the unit's table
    int32_t location = 0;   // in the shader program
};

struct KVShaderParamList {
    std::vector<KVShaderParamEntry> entries;
    // Where the unit keeps its shader program (which may be empty).
    IKVShaderProgram** program = nullptr;
};

// One line of a description file, as read.
struct KVShaderParamLine {
    std::string name;
    int32_t location = 0;
    float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// The parameter lines of a description text, in order.
std::vector<KVShaderParamLine> ParseShaderParamText(const std::string& text);

} // namespace kvl
