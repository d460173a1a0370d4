#include "KVAttributeManipulatorBits.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVFormat.h"
#include "KVAttributeLua.h"
#include "KVAttributeText.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

const char* TruthText(bool value) { return value ? "true" : "false"; }

bool IsBitNumber(int32_t bit) { return bit >= 0 && bit < 32; }

int32_t SelectedBit() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory ? factory->GetLastElement() : 0;
}

} // namespace

void KVAttributeManipulator_boolean::FormatElement(std::string* out, const void* value, int32_t element) {
    if (bool* v = static_cast<bool*>(GetElement(const_cast<void*>(value), element))) *out = TruthText(*v);
}

void KVAttributeManipulator_boolean::ParseElement(void* value, const std::string& text, int32_t element) {
    if (bool* v = static_cast<bool*>(GetElement(value, element))) *v = IsTrueText(text);
}

void KVAttributeManipulator_boolean::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushBoolean(*static_cast<bool*>(value));
}

void KVAttributeManipulator_boolean::GetFromLua(void* value) {
    if (IKVLua* lua = Lua()) *static_cast<bool*>(value) = lua->ToBoolean(3);
}

IKVAttributeLua* KVAttributeManipulator_boolean::NewBox() { return new KVAttributeLua<bool>; }

void KVAttributeManipulator_boolean::FormatStored(std::string* out, KVReadCursor* cursor) {
    uint8_t v = 0;
    if (Take(cursor, &v, 1)) *out = v ? "1" : "0";
}

void KVAttributeManipulator_boolean::ParseStored(const std::string& text, void* value) {
    *static_cast<bool*>(value) = text == "1";
}

void KVAttributeManipulator_flags::Init(KVAttributeDesc* desc) {
    KVAttributeManipulatorWord::Init(desc);
    desc->byteSize = 4;
    Adopt(*desc);
}

void KVAttributeManipulator_flags::FormatElement(std::string* out, const void* value, int32_t element) {
    if (IsBitNumber(element)) *out = TruthText((*static_cast<const uint32_t*>(value) >> element) & 1u);
}

void KVAttributeManipulator_flags::ParseElement(void* value, const std::string& text, int32_t element) {
    if (!IsBitNumber(element)) return;
    uint32_t& word = *static_cast<uint32_t*>(value);
    if (text == "false")
        word &= ~(1u << element);
    else
        word |= 1u << element;
}

void KVAttributeManipulator_flags::PushToLua(void* value) {
    IKVLua* lua = Lua();
    int32_t bit = SelectedBit();
    if (lua) lua->PushBoolean(IsBitNumber(bit) && ((*static_cast<uint32_t*>(value) >> bit) & 1u));
}

void KVAttributeManipulator_flags::GetFromLua(void* value) {
    IKVLua* lua = Lua();
    int32_t bit = SelectedBit();
    if (!lua || !IsBitNumber(bit)) return;
    uint32_t& word = *static_cast<uint32_t*>(value);
    if (lua->ToBoolean(3))
        word |= 1u << bit;
    else
        word &= ~(1u << bit);
}

void* KVAttributeManipulator_flags::GetElement(void* value, int32_t) { return value; }

void KVAttributeManipulator_flags::CopyElement(void* value, int32_t, const void* source) {
    *static_cast<uint32_t*>(value) = *static_cast<const uint32_t*>(source);
}

void KVAttributeManipulator_boolean_compact::FormatElement(std::string* out, const void* value, int32_t) {
    if (HasBit()) *out = TruthText((*static_cast<const uint32_t*>(value) & Mask()) != 0);
}

void KVAttributeManipulator_boolean_compact::ParseElement(void* value, const std::string& text, int32_t) {
    uint32_t& word = *static_cast<uint32_t*>(value);
    word &= ~Mask();
    if (IsTrueText(text)) word |= Mask();
}

void KVAttributeManipulator_boolean_compact::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushBoolean((*static_cast<uint32_t*>(value) & Mask()) != 0);
}

void KVAttributeManipulator_boolean_compact::GetFromLua(void* value) {
    IKVLua* lua = Lua();
    if (!lua) return;
    uint32_t& word = *static_cast<uint32_t*>(value);
    word &= ~Mask();
    if (lua->ToBoolean(3)) word |= Mask();
}

void* KVAttributeManipulator_boolean_compact::GetElement(void* value, int32_t) { return value; }

// The other bits of the word belong to other attributes: only this one is
// copied.
void KVAttributeManipulator_boolean_compact::CopyElement(void* value, int32_t, const void* source) {
    uint32_t& word = *static_cast<uint32_t*>(value);
    word = (word & ~Mask()) | (*static_cast<const uint32_t*>(source) & Mask());
}

} // namespace kvl
