#pragma once
#include "KVTypes.h"

namespace kvl {

// Root interface. Implementations answer the ids they support; anything else
// clears the out pointer and answers 2.
class IKVUnknown {
public:
    virtual int32_t QueryInterface(const KVInterfaceId& id, void** out) {
        if (out) *out = nullptr;
        (void)id;
        return KV_NOT_SUPPORTED;
    }

protected:
    virtual ~IKVUnknown() = default;
};

// Reference-counted object: the count starts at 1 and the object deletes
// itself when it drops to 0.
class IKVUnknownRef : public virtual IKVUnknown {
public:
    virtual int32_t Retain() = 0;
    virtual int32_t Release() = 0;
};

// Common count for reference-counted objects. Derive from it next to the
// IKVUnknownRef interface the class implements.
template <class Base>
class KVRefCounted : public Base {
public:
    int32_t Retain() override { return ++m_refCount; }
    int32_t Release() override {
        int32_t left = --m_refCount;
        if (left == 0) delete this;
        return left;
    }
    int32_t GetRefCount() const { return m_refCount; }

protected:
    ~KVRefCounted() override = default;

private:
    int32_t m_refCount = 1;
};

// Helper for QueryInterface implementations.
template <class T>
inline int32_t AnswerInterface(T* self, void** out) {
    if (out) *out = self;
    return KV_OK;
}

// The object's interface of that id, or null.
template <class T>
inline T* QueryInterfaceOf(IKVUnknown* object, const KVInterfaceId& id) {
    void* out = nullptr;
    if (!object || object->QueryInterface(id, &out) != KV_OK) return nullptr;
    return static_cast<T*>(out);
}

} // namespace kvl
