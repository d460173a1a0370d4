#pragma once
// What other code asks of a "Text" unit: its text, the font unit it draws
// with, the page of the font image and its colour. Plain reads and writes:
// none of them lays the text out again.
#include <cstdint>
#include <string>

#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVGUIText = MakeId(0x006A69E8, 0x6875B670);

class IKVGUIText : public virtual IKVUnknown {
public:
    virtual const std::string& GetText() = 0;
    virtual int32_t SetText(const std::string& text) = 0;
    // The unit index the Font reference holds (-1: none).
    virtual int32_t GetFont() = 0;
    virtual int32_t SetFont(int32_t unitIndex) = 0;
    virtual uint32_t GetPage() = 0;
    virtual int32_t SetPage(uint32_t page) = 0;
    virtual uint32_t GetColor() = 0;
    virtual int32_t SetColor(uint32_t color) = 0;

protected:
    virtual ~IKVGUIText() = default;
};

} // namespace kvl
