#pragma once
// A shader program as display and shader units hand it their parameters:
// the values of one parameter at its location, as floats or as integers.
#include <cstdint>

#include "../kernel/KVTypes.h"

namespace kvl {

// Asked of a shader object the graphic device loaded (this engine's own id).
constexpr KVInterfaceId IID_IKVShaderProgram = MakeId(0x00574C7F, 0x5A9E3D21);

class IKVShaderProgram {
public:
    virtual int32_t SetFloatParameter(int32_t location, const float* values, int32_t count) = 0;
    virtual int32_t SetIntegerParameter(int32_t location, const int32_t* values, int32_t count) = 0;

protected:
    virtual ~IKVShaderProgram() = default;
};

} // namespace kvl
