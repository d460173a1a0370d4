#pragma once
// The value boxes that the attribute manipulators make.
#include "IKVAttributeLua.h"
#include "IKVUnitRef.h"

namespace kvl {

template <class T>
class KVAttributeLua : public IKVAttributeLua {
public:
    void* GetValue() override { return &m_value; }

private:
    T m_value{};
};

// Holds a pointer to a reference it owns: the value of a unit attribute.
template <class T>
class KVAttributeLuaPtr : public IKVAttributeLua {
public:
    explicit KVAttributeLuaPtr(T* object) : m_object(object) {}
    ~KVAttributeLuaPtr() override {
        if (m_object) m_object->Release();
    }
    KVAttributeLuaPtr(const KVAttributeLuaPtr&) = delete;
    KVAttributeLuaPtr& operator=(const KVAttributeLuaPtr&) = delete;
    void* GetValue() override { return &m_object; }

private:
    T* m_object;
};

} // namespace kvl
