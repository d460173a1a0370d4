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
#include "../KVLua/IKVLua.h"
#include "KVAttributeDesc.h"
#include "KVAttributeText.h"

namespace kvl {

class IKVAttributeLua;
class KVChunkReader;

// How the values of a manipulator travel to and from scripts when they are
// a plain number or truth value; others go through PushToLua and GetFromLua.
enum KVScriptForm : uint8_t {
    KVFORM_OTHER = 0,
    KVFORM_REAL = 1,     // float, as a number
    KVFORM_INTEGER = 2,  // int32, as a number; taken signed and saturating
    KVFORM_WORD = 3,     // uint32, read as signed, taken through ToUInt32
    KVFORM_TRUTH = 4,    // bool
};

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

class KVAttributeManipulator;

// Room for the staging copy a setter gets: a plain value that fits is
// copied here, on the writer's stack; any other value is cloned on the heap
// and freed, by the manipulator that cloned it, when the room goes.
struct KVStagingCopy {
    static constexpr uint32_t kBytes = 64;
    KVStagingCopy() = default;
    KVStagingCopy(const KVStagingCopy&) = delete;
    KVStagingCopy& operator=(const KVStagingCopy&) = delete;
    inline ~KVStagingCopy();

    alignas(8) unsigned char bytes[kBytes];
    void* heap = nullptr;
    KVAttributeManipulator* cloner = nullptr;
};

class KVAttributeManipulator {
public:
    KVAttributeManipulator();
    virtual ~KVAttributeManipulator();
    KVAttributeManipulator(const KVAttributeManipulator&) = delete;
    KVAttributeManipulator& operator=(const KVAttributeManipulator&) = delete;

    // The unit whose value is handled next.
    void SetUnit(int32_t unitIndex) { m_unit = unitIndex; }
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
    // GetElement, without its dispatch for values of plain elements.
    void* ElementAt(void* value, int32_t element) {
        if (!m_elementSize) return GetElement(value, element);
        if (uint32_t(element) >= m_elementCount) return nullptr;
        return static_cast<uint8_t*>(value) + size_t(element) * m_elementSize;
    }
    // As PushToLua and GetFromLua through the binding given, without their
    // dispatch for the plain forms.
    void PushValue(IKVLua* lua, void* value) {
        switch (m_pushForm) {
        case KVFORM_REAL: lua->PushNumber(double(*static_cast<float*>(value))); return;
        case KVFORM_INTEGER: lua->PushInteger(*static_cast<int32_t*>(value)); return;
        case KVFORM_WORD: lua->PushInteger(int32_t(*static_cast<uint32_t*>(value))); return;
        case KVFORM_TRUTH: lua->PushBoolean(*static_cast<bool*>(value)); return;
        default: PushToLua(value); return;
        }
    }
    void GetValue(IKVLua* lua, void* value) {
        switch (m_getForm) {
        case KVFORM_REAL: *static_cast<float*>(value) = NarrowToFloat(lua->ToNumber(3)); return;
        case KVFORM_INTEGER: *static_cast<int32_t*>(value) = lua->ToInteger(3); return;
        case KVFORM_WORD: *static_cast<uint32_t*>(value) = lua->ToUInt32(3); return;
        case KVFORM_TRUTH: *static_cast<bool*>(value) = lua->ToBoolean(3); return;
        default: GetFromLua(value); return;
        }
    }
    virtual IKVAttributeLua* NewBox() = 0;
    // Staging copies for setters.
    virtual void* Clone(const void* value) = 0;
    virtual void Free(void* copy) = 0;
    // A staging copy of the value in the room given, when the value is
    // plain bytes that fit, else a Clone that the room frees.
    void* Stage(const void* value, KVStagingCopy* copy) {
        const uint32_t n = m_plain ? ByteSize() : 0u;
        if (n > 0 && n <= KVStagingCopy::kBytes) {
            std::memcpy(copy->bytes, value, n);
            return copy->bytes;
        }
        copy->cloner = this;
        return copy->heap = Clone(value);
    }
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
    // True when a value is ByteSize() bytes that copy as they are and its
    // Clone is nothing more (a class that clones otherwise leaves it false).
    bool m_plain = false;
    // The size of one element when GetElement is nothing more than the
    // element's place among elements of that size; 0 otherwise.
    uint8_t m_elementSize = 0;
    // ByteSize() / m_elementSize, set with the descriptor.
    uint32_t m_elementCount = 0;
    // Set by a class whose PushToLua or GetFromLua is exactly that form; a
    // class that changes either sets its form back to KVFORM_OTHER.
    KVScriptForm m_pushForm = KVFORM_OTHER;
    KVScriptForm m_getForm = KVFORM_OTHER;
    KVAttributeDesc m_desc;
};

KVStagingCopy::~KVStagingCopy() {
    if (heap) cloner->Free(heap);
}

// What the fixed-size types share: values of element count T's, handled as
// their bytes.
template <class T>
class KVAttributeManipulatorTempl : public KVAttributeManipulator {
public:
    static_assert(std::is_trivially_copyable_v<T>, "values are staged as their bytes");
    KVAttributeManipulatorTempl() {
        m_plain = true;
        m_elementSize = uint8_t(sizeof(T));
    }
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
