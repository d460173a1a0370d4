#pragma once
// Class "Text": a byte text shown in a bitmap font. The "GUIFont" unit its
// Font reference names lays the text out and draws it glyph by glyph at
// every draw; the unit keeps no picture of its own. The text shown is the
// TextFile's when that is not empty, else the Text attribute.
//
// Split: KVGUIText.cpp (layout, drawing, text files), KVGUITextLib.cpp
// (registration and the script methods).
#include <cstdint>
#include <string>

#include "../units/KVUnitDisplay2D.h"
#include "IKVGUIText.h"
#include "KVGUITextProvider.h"

namespace kvl {

class IKVUnitRef;
class KVGUIFont;

class KVGUIText : public KVUnitDisplay2D, public IKVGUIText {
public:
    static constexpr uint64_t kClassId = 0x00035838F285DF17ull;
    static constexpr uint64_t kFontId = 0x003B90860F61A42Cull;
    static constexpr uint64_t kAutoDimensionId = 0x0022A6F17BA6F324ull;
    static constexpr uint64_t kTextId = 0x0041210DE7CF4068ull;
    static constexpr uint64_t kPageId = 0x0006E118516CA944ull;
    static constexpr uint64_t kColorId = 0x003125B696B5F2BCull;
    static constexpr uint64_t kScaleId = 0x0031507A0711055Cull;
    static constexpr uint64_t kCharSpacingId = 0x00399BC9CEDFB9D8ull;
    static constexpr uint64_t kLineSpacingId = 0x0068EED0B87B79C0ull;
    static constexpr uint64_t kFixedWidthId = 0x0063163CF6E50444ull;
    static constexpr uint64_t kAlignmentId = 0x006B236C1DD28684ull;
    static constexpr uint64_t kWordWrapId = 0x005DD34DAA070770ull;
    static constexpr uint64_t kTextFileId = 0x0068DC376CD3C208ull;
    static constexpr uint64_t kNbVisibleCharsId = 0x0030F594362478FCull;
    static constexpr uint64_t kNbVisibleLinesId = 0x002FFD7644373418ull;

    static KVUnit* Create() { return new KVGUIText; }
    static int32_t RegisterClass();
    // The text unit of a unit, or null when the unit is none.
    static KVGUIText* FromUnit(IKVUnit* unit);

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Draw() override;
    void Init() override;
    void Close() override;
    int32_t Load() override;

    // KVUnit2D
    void OnResize() override;
    void UpdateWindow() override;
    void ResetBounds() override {}
    void UpdateTransform(int32_t value) override;

    // The class's own operations.
    // Reads TextFile (its low bytes after an FF FE signature); 1 when it
    // cannot be opened.
    virtual int32_t LoadTextFile();
    virtual void UpdateLayout();

    // IKVGUIText
    const std::string& GetText() override { return m_text; }
    int32_t SetText(const std::string& text) override;
    int32_t GetFont() override;
    int32_t SetFont(int32_t unitIndex) override;
    uint32_t GetPage() override { return m_page; }
    int32_t SetPage(uint32_t page) override;
    uint32_t GetColor() override { return m_color; }
    int32_t SetColor(uint32_t color) override;

    // The text shown: the file's when it has one, else the Text attribute.
    const std::string& GetShownText() const { return m_fileText.empty() ? m_text : m_fileText; }
    // The font the Font reference names, or null when it names no "GUIFont".
    KVGUIFont* GetFontUnit() const;
    // The layout parameters of drawing; the clip window goes to `window`.
    TextLayoutParams MakeParams(TextClipWindow* window) const;
    bool IsLayoutPending() const { return m_layoutPending; }

protected:
    ~KVGUIText() override = default;

private:
    IKVUnitRef* m_font = nullptr;
    bool m_autoDimension[2] = {true, true};
    std::string m_text;
    uint32_t m_page = 0;
    uint32_t m_color = 0xFFFFFFFFu;
    int32_t m_charSpacing = 2;
    int32_t m_lineSpacing = 0;
    bool m_fixedWidth = false;
    uint32_t m_alignment = KVTEXT_ALIGN_LEFT;
    bool m_wordWrap = false;
    std::string m_textFile;
    int32_t m_nbVisibleChars = -1;
    int32_t m_nbVisibleLines = -1;
    std::string m_fileText;
    bool m_layoutPending = false;
    bool m_busy = false;
};

} // namespace kvl
