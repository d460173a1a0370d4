#pragma once
// Attribute manipulators: one object per attribute that knows the value's
// type and converts a value between its four forms (text, stored bytes,
// scene file, script). A manipulator never owns a value: every operation
// gets the value's address from its caller.
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>
#include "KVAttributeDesc.h"

namespace kvl {

class IKVAttributeLua;
class IKVLua;
class KVChunkReader;

// A bounded read position in stored bytes. A value that does not fit in
// what is left is refused: the cursor is marked failed, an error is logged
// and nothing is read.
struct KVReadCursor {
    const uint8_t* pos = nullptr;
    const uint8_t* end = nullptr;
    bool failed = false;

    KVReadCursor() = default;
    KVReadCursor(const void* data, size_t size)
        : pos(static_cast<const uint8_t*>(data)), end(static_cast<const uint8_t*>(data) + size) {}

    size_t Left() const { return size_t(end - pos); }
    // True when n bytes are left; otherwise logs and marks the cursor.
    bool Need(uint64_t n, const std::string& attribute);
    uint32_t PeekU32() const;
};

class KVAttributeManipulator {
public:
    KVAttributeManipulator();
    virtual ~KVAttributeManipulator();
    KVAttributeManipulator(const KVAttributeManipulator&) = delete;
    KVAttributeManipulator& operator=(const KVAttributeManipulator&) = delete;

    // The unit whose value is handled next.
    virtual void SetUnit(int32_t unitIndex) { m_unit = unitIndex; }
    // Completes the descriptor (byte size, old-format reader, element count
    // copy) and keeps a copy of it.
    virtual void Init(KVAttributeDesc* desc) = 0;
    // Text form of one element.
    virtual void FormatElement(std::string* out, const void* value, int32_t element) = 0;
    virtual void ParseElement(void* value, const std::string& text, int32_t element) = 0;
    // Stored form: its size in memory copies and at a stored cursor; at a
    // cursor into a scene file's value block, as far as Read moves.
    virtual uint32_t GetSize(const void* value) = 0;
    virtual uint32_t GetStoredSize(const KVReadCursor& cursor) = 0;
    virtual void Write(const void* value, std::vector<uint8_t>* out) = 0;
    // True when the stored value equals the value; unless compareOnly the
    // value takes it.
    virtual bool Read(void* value, KVReadCursor* cursor, bool compareOnly) = 0;
    // Script form: pushes element 0; takes it from stack slot 3.
    virtual void PushToLua(void* value) = 0;
    virtual void GetFromLua(void* value) = 0;
    virtual void* GetElement(void* value, int32_t element) = 0;
    virtual IKVAttributeLua* NewBox() = 0;
    // Staging copies for setters.
    virtual void* Clone(const void* value) = 0;
    virtual void Free(void* copy) = 0;
    virtual void CopyElement(void* value, int32_t element, const void* source) = 0;
    // Text of stored values: the form in which unit references travel by uid.
    virtual void FormatStored(std::string* out, KVReadCursor* cursor) = 0;
    virtual void ParseStored(const std::string& text, void* value) = 0;

    int32_t GetUnit() const { return m_unit; }
    const KVAttributeDesc& GetDesc() const { return m_desc; }

protected:
    // Keeps the completed descriptor (without the manipulator itself).
    void Adopt(const KVAttributeDesc& desc);
    uint32_t ByteSize() const { return m_desc.byteSize > 0 ? uint32_t(m_desc.byteSize) : 0u; }
    // The loading switch of the factory, and the version of the scene file.
    static bool InSceneFile();
    static uint32_t SceneVersion();
    static IKVLua* Lua();
    // Stored little-endian words and values at unaligned places.
    static void AppendU32(std::vector<uint8_t>* out, uint32_t v) {
        for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
    }
    template <class V>
    static V LoadAt(const uint8_t* bytes) {
        V v;
        std::memcpy(&v, bytes, sizeof(V));
        return v;
    }
    // Copies n stored bytes at the cursor to out and moves past them;
    // false when they are not there.
    bool Take(KVReadCursor* cursor, void* out, size_t n) const;

    int32_t m_unit = -1;
    KVAttributeDesc m_desc;
};

// What the fixed-size types share: values of element count T's, handled as
// their bytes.
template <class T>
class KVAttributeManipulatorTempl : public KVAttributeManipulator {
public:
    void Init(KVAttributeDesc* desc) override {
        desc->byteSize = desc->elementCount * int32_t(sizeof(T));
        desc->oldFormatReader = &ReadOld;
        desc->elementCountCopy = desc->elementCount;
        Adopt(*desc);
    }
    uint32_t GetSize(const void*) override { return ByteSize(); }
    uint32_t GetStoredSize(const KVReadCursor&) override { return ByteSize(); }
    void Write(const void* value, std::vector<uint8_t>* out) override {
        const auto* bytes = static_cast<const uint8_t*>(value);
        out->insert(out->end(), bytes, bytes + ByteSize());
    }
    bool Read(void* value, KVReadCursor* cursor, bool compareOnly) override {
        if (!cursor->Need(ByteSize(), m_desc.name)) return true;
        T* target = static_cast<T*>(value);
        bool same = true;
        for (size_t k = 0; k < Count(); ++k) {
            T stored = Load(cursor->pos + k * sizeof(T));
            if (std::memcmp(&stored, &target[k], sizeof(T)) != 0) same = false;
            if (!compareOnly) target[k] = stored;
        }
        cursor->pos += ByteSize();
        return same;
    }
    void* GetElement(void* value, int32_t element) override {
        if (element < 0 || size_t(element) >= Count()) return nullptr;
        return static_cast<T*>(value) + element;
    }
    void* Clone(const void* value) override {
        T* copy = new T[Count() ? Count() : 1];
        for (size_t k = 0; k < Count(); ++k) copy[k] = static_cast<const T*>(value)[k];
        return copy;
    }
    void Free(void* copy) override { delete[] static_cast<T*>(copy); }
    // Element 0 takes a whole value; any other element one element.
    void CopyElement(void* value, int32_t element, const void* source) override {
        if (element < 0 || size_t(element) >= Count()) return;
        const T* from = static_cast<const T*>(source);
        T* to = static_cast<T*>(value);
        if (element == 0) {
            for (size_t k = 0; k < Count(); ++k) to[k] = from[k];
        } else {
            to[element] = from[0];
        }
    }

    // One element from stored bytes; a stored boolean byte other than 0 is 1.
    static T Load(const uint8_t* bytes) {
        if constexpr (std::is_same_v<T, bool>) {
            return bytes[0] != 0;
        } else {
            T v;
            std::memcpy(&v, bytes, sizeof(T));
            return v;
        }
    }
    // The old scene format: a sized raw value.
    static int32_t ReadOld(KVChunkReader& reader, void* holder, int32_t byteSize);

protected:
    size_t Count() const { return ByteSize() / sizeof(T); }
};

} // namespace kvl
