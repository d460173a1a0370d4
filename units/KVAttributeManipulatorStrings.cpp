#include "KVAttributeManipulatorStrings.h"

#include "../KVLua/IKVLua.h"
#include "KVAttributeLua.h"
#include "KVChunkReader.h"

namespace kvl {

namespace {

// The one scene version whose strings stand unpadded.
constexpr uint32_t kUnpaddedVersion = 0x20002;

uint64_t Padded(uint64_t length) { return (length + 3u) & ~uint64_t(3u); }

int32_t ReadOldString(KVChunkReader& reader, void* holder, int32_t) {
    return reader.ReadString(static_cast<std::string*>(holder));
}

} // namespace

void KVAttributeManipulator_string::Init(KVAttributeDesc* desc) {
    desc->byteSize = desc->elementCount * int32_t(sizeof(std::string));
    desc->oldFormatReader = &ReadOldString;
    desc->elementCountCopy = desc->elementCount;
    Adopt(*desc);
}

void* KVAttributeManipulator_string::GetElement(void* value, int32_t element) {
    if (element < 0 || size_t(element) >= Count()) return nullptr;
    return static_cast<std::string*>(value) + element;
}

void KVAttributeManipulator_string::FormatElement(std::string* out, const void* value, int32_t element) {
    if (auto* v = static_cast<std::string*>(GetElement(const_cast<void*>(value), element))) *out = *v;
}

void KVAttributeManipulator_string::ParseElement(void* value, const std::string& text, int32_t element) {
    if (auto* v = static_cast<std::string*>(GetElement(value, element))) *v = text;
}

uint32_t KVAttributeManipulator_string::GetSize(const void* value) {
    return uint32_t(4 + static_cast<const std::string*>(value)->size());
}

bool KVAttributeManipulator_string::PaddedInScene() { return InSceneFile() && SceneVersion() != kUnpaddedVersion; }

uint32_t KVAttributeManipulator_string::GetStoredSize(const KVReadCursor& cursor) {
    uint64_t length = cursor.PeekU32();
    if (PaddedInScene()) length = Padded(length);
    uint64_t size = 4 + length;
    return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

void KVAttributeManipulator_string::Write(const void* value, std::vector<uint8_t>* out) {
    const std::string& text = *static_cast<const std::string*>(value);
    AppendU32(out, uint32_t(text.size()));
    out->insert(out->end(), text.begin(), text.end());
}

bool KVAttributeManipulator_string::Read(void* value, KVReadCursor* cursor, bool compareOnly) {
    if (!cursor->Need(4, m_desc.name)) return true;
    uint64_t length = cursor->PeekU32();
    uint64_t stored = PaddedInScene() ? Padded(length) : length;
    if (!cursor->Need(4 + stored, m_desc.name)) return true;
    const char* chars = reinterpret_cast<const char*>(cursor->pos + 4);
    size_t used = 0;
    while (used < length && chars[used] != '\0') ++used;
    std::string& target = *static_cast<std::string*>(value);
    bool same = target.size() == used && target.compare(0, used, chars, used) == 0;
    if (!compareOnly && !same) target.assign(chars, used);
    cursor->pos += 4 + stored;
    return same;
}

void KVAttributeManipulator_string::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushString(static_cast<std::string*>(value)->c_str());
}

void KVAttributeManipulator_string::GetFromLua(void* value) {
    IKVLua* lua = Lua();
    if (!lua) return;
    if (const char* text = lua->ToString(3)) *static_cast<std::string*>(value) = text;
}

IKVAttributeLua* KVAttributeManipulator_string::NewBox() { return new KVAttributeLua<std::string>; }

void* KVAttributeManipulator_string::Clone(const void* value) {
    auto* copy = new std::string[Count() ? Count() : 1];
    for (size_t k = 0; k < Count(); ++k) copy[k] = static_cast<const std::string*>(value)[k];
    return copy;
}

void KVAttributeManipulator_string::Free(void* copy) { delete[] static_cast<std::string*>(copy); }

void KVAttributeManipulator_string::CopyElement(void* value, int32_t element, const void* source) {
    auto* to = static_cast<std::string*>(GetElement(value, element));
    if (!to) return;
    const auto* from = static_cast<const std::string*>(source);
    size_t count = element == 0 ? Count() : 1;
    for (size_t k = 0; k < count; ++k) to[k] = from[k];
}

void KVAttributeManipulator_string::FormatStored(std::string* out, KVReadCursor* cursor) {
    if (!cursor->Need(4, m_desc.name)) return;
    uint32_t length = cursor->PeekU32();
    if (!cursor->Need(uint64_t(4) + length, m_desc.name)) return;
    out->assign(reinterpret_cast<const char*>(cursor->pos + 4), length);
    cursor->pos += 4 + uint64_t(length);
}

void KVAttributeManipulator_string::ParseStored(const std::string& text, void* value) {
    *static_cast<std::string*>(value) = text;
}

void KVAttributeManipulator_path::GetFromLua(void* value) {
    KVAttributeManipulator_string::GetFromLua(value);
    for (char& c : *static_cast<std::string*>(value))
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
}

} // namespace kvl
