#include "KVAttributeManipulatorColor.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVFormat.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// What a pushed colour structure is bound to.
struct ColorBinding {
    int32_t unit;
    int32_t position;
};

const char* const kFieldNames[5] = {"b", "g", "r", "a", "value"};

// The current word of the bound attribute, or false when it is gone.
bool ReadBoundWord(const ColorBinding& binding, uint32_t* word) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    void* holder = factory ? factory->GetHolderAt(binding.unit, binding.position, KVATTR_COLOR) : nullptr;
    if (!holder) return false;
    *word = *static_cast<uint32_t*>(holder);
    return true;
}

uint32_t FieldOf(uint32_t word, int32_t field) {
    if (field >= 4) return word;
    return (word >> (8 * field)) & 0xFFu;
}

void GetField(KVStructField* field, int32_t position, void* block, int32_t length) {
    if (!block || length < int32_t(sizeof(ColorBinding))) return;
    uint32_t word = 0;
    if (ReadBoundWord(*static_cast<ColorBinding*>(block), &word)) field->integer = int32_t(FieldOf(word, position));
}

void SetField(KVStructField* field, int32_t position, void* block, int32_t length) {
    if (!block || length < int32_t(sizeof(ColorBinding))) return;
    const ColorBinding& binding = *static_cast<ColorBinding*>(block);
    uint32_t word = 0;
    if (!ReadBoundWord(binding, &word)) return;
    uint32_t given = uint32_t(field->integer);
    if (position >= 4) {
        word = given;
    } else {
        uint32_t shift = uint32_t(8 * position);
        word = (word & ~(0xFFu << shift)) | ((given & 0xFFu) << shift);
    }
    if (KVUnitFactory* factory = KVUnitFactory::Instance())
        factory->SetAttributeElement(binding.unit, binding.position, 0, &word);
}

} // namespace

void KVAttributeManipulator_color::FormatElement(std::string* out, const void* value, int32_t element) {
    if (auto* v = static_cast<uint32_t*>(GetElement(const_cast<void*>(value), element)))
        *out = Format("{0x8}", FormatValue(*v));
}

void KVAttributeManipulator_color::ParseElement(void* value, const std::string& text, int32_t element) {
    auto* v = static_cast<uint32_t*>(GetElement(value, element));
    if (!v) return;
    uint32_t result = 0;
    for (char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'Z')
            digit = uint32_t(c - 'A' + 10);
        result = result * 16u + digit;
    }
    *v = result;
}

void KVAttributeManipulator_color::PushToLua(void* value) {
    IKVLua* lua = Lua();
    if (!lua) return;
    uint32_t word = *static_cast<uint32_t*>(value);
    KVStructField fields[5];
    for (int32_t i = 0; i < 5; ++i) {
        fields[i].name = kFieldNames[i];
        fields[i].kind = KVSTRUCT_UINT32;
        fields[i].integer = int32_t(FieldOf(word, i));
        fields[i].get = GetField;
        fields[i].set = SetField;
    }
    ColorBinding binding{m_unit, m_desc.position};
    lua->PushStruct(fields, 5, &binding, int32_t(sizeof(binding)));
}

void KVAttributeManipulator_color::GetFromLua(void* value) {
    if (IKVLua* lua = Lua()) *static_cast<uint32_t*>(value) = lua->ToUInt32(3);
}

} // namespace kvl
