#pragma once
// A shader program as display and shader units hand it their parameters:
// the values of one parameter at its location, as floats or as integers.
#include <cstdint>

namespace kvl {

class IKVShaderProgram {
public:
    virtual int32_t SetFloatParameter(int32_t location, const float* values, int32_t count) = 0;
    virtual int32_t SetIntegerParameter(int32_t location, const int32_t* values, int32_t count) = 0;

protected:
    virtual ~IKVShaderProgram() = default;
};

} // namespace kvl
