#include "KVAttributeManipulatorUid.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVFormat.h"
#include "KVAttributeLua.h"
#include "KVAttributeText.h"

namespace kvl {

// A uid has no text: the text stays as it was and texts are ignored.
void KVAttributeManipulator_uid::FormatElement(std::string*, const void*, int32_t) {}

void KVAttributeManipulator_uid::ParseElement(void*, const std::string&, int32_t) {}

void KVAttributeManipulator_uid::PushToLua(void* value) {
    if (IKVLua* lua = Lua()) lua->PushHex(static_cast<const uint8_t*>(value), 8);
}

void KVAttributeManipulator_uid::GetFromLua(void* value) {
    if (IKVLua* lua = Lua()) lua->ToBytesFromHex(3, static_cast<uint8_t*>(value), 8);
}

IKVAttributeLua* KVAttributeManipulator_uid::NewBox() { return new KVAttributeLua<uint64_t>; }

void KVAttributeManipulator_uid::FormatStored(std::string* out, KVReadCursor* cursor) {
    uint64_t uid = 0;
    if (Take(cursor, &uid, 8)) *out = Format("{0X}", FormatValue(uid));
}

void KVAttributeManipulator_uid::ParseStored(const std::string& text, void* value) {
    *static_cast<uint64_t*>(value) = AccumulateHex(text);
}

} // namespace kvl
