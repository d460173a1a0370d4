#include "KVAttributeManipulatorNumbers.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVFormat.h"
#include "KVAttributeLua.h"
#include "KVAttributeText.h"

namespace kvl {

namespace {

constexpr int64_t kInt32Min = -2147483648LL;
constexpr int64_t kInt32Max = 2147483647LL;
constexpr int64_t kUInt32Max = 4294967295LL;
constexpr float kDegreesPerRadian = 57.295776f;
constexpr float kPi = 3.1415927f;

template <class T>
T* ElementOf(KVAttributeManipulator* m, const void* value, int32_t element) {
    return static_cast<T*>(m->GetElement(const_cast<void*>(value), element));
}

} // namespace

void KVAttributeManipulatorWord::FormatStored(std::string* out, KVReadCursor* cursor) {
    uint32_t v = 0;
    if (Take(cursor, &v, 4)) *out = Format("{0}", FormatValue(v));
}

void KVAttributeManipulatorWord::ParseStored(const std::string& text, void* value) {
    *static_cast<uint32_t*>(value) = AccumulateDecimal(text);
}

IKVAttributeLua* KVAttributeManipulatorWord::NewBox() { return new KVAttributeLua<uint32_t>; }

void KVAttributeManipulator_u32::FormatElement(std::string* out, const void* value, int32_t element) {
    if (uint32_t* v = ElementOf<uint32_t>(this, value, element)) *out = Format("{0}", FormatValue(*v));
}

void KVAttributeManipulator_u32::ParseElement(void* value, const std::string& text, int32_t element) {
    if (uint32_t* v = ElementOf<uint32_t>(this, value, element))
        *v = uint32_t(ParseDecimalClamped(text, kInt32Min, kUInt32Max));
}

void KVAttributeManipulator_u32::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushInteger(int32_t(*static_cast<uint32_t*>(value)));
}

void KVAttributeManipulator_u32::GetFromLua(void* value) {
    if (IKVLua* lua = Lua()) *static_cast<uint32_t*>(value) = lua->ToUInt32(3);
}

void KVAttributeManipulator_enum::GetFromLua(void* value) {
    IKVLua* lua = Lua();
    if (!lua) return;
    ScriptType type = SCRIPT_UNKNOWN;
    lua->GetArgType(3, &type);
    if (type != SCRIPT_STRING) {
        *static_cast<uint32_t*>(value) = lua->ToUInt32(3);
        return;
    }
    std::string text = lua->ToStdString(3);
    size_t tilde = m_desc.name.find('~');
    if (tilde != std::string::npos) {
        std::vector<std::string> names = SplitText(m_desc.name.substr(tilde + 1), '~');
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == text) {
                *static_cast<uint32_t*>(value) = uint32_t(i);
                return;
            }
        }
    }
    lua->ReportErrorAt(text + " is an invalid enumeration value");
}

void KVAttributeManipulator_s32::FormatElement(std::string* out, const void* value, int32_t element) {
    if (int32_t* v = ElementOf<int32_t>(this, value, element)) *out = Format("{0}", FormatValue(*v));
}

void KVAttributeManipulator_s32::ParseElement(void* value, const std::string& text, int32_t element) {
    if (int32_t* v = ElementOf<int32_t>(this, value, element))
        *v = int32_t(ParseDecimalClamped(text, kInt32Min, kInt32Max));
}

void KVAttributeManipulator_s32::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushInteger(*static_cast<int32_t*>(value));
}

void KVAttributeManipulator_s32::GetFromLua(void* value) {
    if (IKVLua* lua = Lua()) *static_cast<int32_t*>(value) = lua->ToInteger(3);
}

IKVAttributeLua* KVAttributeManipulator_s32::NewBox() { return new KVAttributeLua<int32_t>; }

void KVAttributeManipulator_s32::FormatStored(std::string* out, KVReadCursor* cursor) {
    int32_t v = 0;
    if (Take(cursor, &v, 4)) *out = Format("{0}", FormatValue(v));
}

void KVAttributeManipulator_s32::ParseStored(const std::string& text, void* value) {
    uint32_t bits = AccumulateDecimal(text);
    std::memcpy(value, &bits, 4);
}

void KVAttributeManipulator_f32::FormatElement(std::string* out, const void* value, int32_t element) {
    if (float* v = ElementOf<float>(this, value, element)) *out = Format("{0}", FormatValue(double(*v)));
}

void KVAttributeManipulator_f32::ParseElement(void* value, const std::string& text, int32_t element) {
    if (float* v = ElementOf<float>(this, value, element)) *v = ParseFloatText(text);
}

void KVAttributeManipulator_f32::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushNumber(double(*static_cast<float*>(value)));
}

void KVAttributeManipulator_f32::GetFromLua(void* value) {
    if (IKVLua* lua = Lua()) *static_cast<float*>(value) = NarrowToFloat(lua->ToNumber(3));
}

IKVAttributeLua* KVAttributeManipulator_f32::NewBox() { return new KVAttributeLua<float>; }

void KVAttributeManipulator_f32::FormatStored(std::string* out, KVReadCursor* cursor) {
    float v = 0.0f;
    if (Take(cursor, &v, 4)) *out = Format("{0}", FormatValue(double(v)));
}

void KVAttributeManipulator_f32::ParseStored(const std::string& text, void* value) {
    *static_cast<float*>(value) = AccumulateFloat(text);
}

void KVAttributeManipulator_f32_rotation::FormatElement(std::string* out, const void* value, int32_t element) {
    if (float* v = ElementOf<float>(this, value, element)) {
        float degrees = *v * kDegreesPerRadian;
        *out = Format("{0}", FormatValue(double(degrees)));
    }
}

void KVAttributeManipulator_f32_rotation::ParseElement(void* value, const std::string& text, int32_t element) {
    if (float* v = ElementOf<float>(this, value, element)) *v = ParseFloatText(text) * kPi / 180.0f;
}

} // namespace kvl
