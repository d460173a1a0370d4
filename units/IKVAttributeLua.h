#pragma once
// A value box: one attribute value kept for one unit outside the unit
// object (attributes of storage kind 2, such as those a project class adds).

namespace kvl {

class IKVAttributeLua {
public:
    virtual ~IKVAttributeLua() = default;
    // Address of the held value.
    virtual void* GetValue() = 0;
};

} // namespace kvl
