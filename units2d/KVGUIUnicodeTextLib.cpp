// Class "TTFText": its attributes under the ids scene files store them
// with, and the script methods "GetTextSize" and "GetCharPosition". Methods
// get the unit first on the script stack and their arguments after it.
#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVGUITextScript.h"
#include "KVGUIUnicodeText.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

KVGUIUnicodeText* TextOf(void* unit) { return KVGUIUnicodeText::FromUnit(static_cast<KVUnit*>(unit)); }

void RenderHook(void* unit) {
    if (KVGUIUnicodeText* text = TextOf(unit)) text->Render();
}

void LoadFontHook(void* unit) {
    if (KVGUIUnicodeText* text = TextOf(unit)) text->LoadFont();
}

int ScriptGetTextSize(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVGUIUnicodeText* text = KVGUIUnicodeText::FromUnit(unit);
    if (!lua || !text) return 0;
    const bool given = lua->GetTop() >= kFirstArgument;
    if (given && lua->CheckArgType(kFirstArgument, SCRIPT_STRING) != KV_OK) return 0;
    TextLayout layout;
    double lineHeight = 0.0;
    if (text->GetFont()) {
        std::string bytes;
        if (given)
            bytes = lua->ToStdString(kFirstArgument);
        else
            text->LoadTextFile(false, &bytes);
        text->MeasureText(bytes, &layout);
        // From the font's cell, not from the layout: an empty text is laid
        // out without lines and leaves the layout's height unset.
        lineHeight = double(float(int64_t(text->GetCharSize()[1]) + text->GetLineSpacing()));
    }
    // Without a glyph there is no box to measure.
    const bool empty = layout.positions.empty();
    const KVScriptField fields[] = {
        {"width", empty ? 0.0 : double(int64_t(layout.maxX) - layout.minX), true},
        {"height", empty ? 0.0 : double(int64_t(layout.maxY) - layout.minY), true},
        {"nb_lines", double(layout.lineCount), true},
        {"line_height", lineHeight, false},
        {"nb_chars", double(layout.positions.size()), true},
    };
    PushScriptTable(lua, fields, sizeof fields / sizeof fields[0]);
    return 1;
}

int ScriptGetCharPosition(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVGUIUnicodeText* text = KVGUIUnicodeText::FromUnit(unit);
    if (!lua || !text) return 0;
    if (lua->CheckArgCount(kFirstArgument, false) != KV_OK || lua->CheckArgType(kFirstArgument, SCRIPT_NUMBER) != KV_OK)
        return 0;
    const TextLayout& layout = text->GetLayout();
    const std::vector<TtfGlyphMetrics>& metrics = text->GetMetrics();
    const int32_t index = lua->ToInteger(kFirstArgument);
    const size_t glyphs = std::min(layout.positions.size(), layout.charIndices.size());
    if (index < 0 || size_t(index) >= glyphs) {
        lua->ReportError("index out of range");
        return 0;
    }
    const int32_t character = layout.charIndices[size_t(index)];
    const TtfGlyphMetrics box =
        character >= 0 && size_t(character) < metrics.size() ? metrics[size_t(character)] : TtfGlyphMetrics();
    const int32_t* offset = text->GetPositionOffset();
    const KVGlyphPosition& p = layout.positions[size_t(index)];
    const KVScriptField fields[] = {
        {"x", double(int64_t(p.x) - offset[0]), true},
        {"y", double(int64_t(p.y) - offset[1]), true},
        {"width", double(int64_t(box.right) - box.left), true},
        {"height", double(int64_t(box.bottom) - box.top), true},
    };
    PushScriptTable(lua, fields, sizeof fields / sizeof fields[0]);
    return 1;
}

} // namespace

int32_t KVGUIUnicodeText::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "TTFText", &KVGUIUnicodeText::Create, "Embeddable", kClassId, "");
    if (classIndex < 0) return -1;

    KVGUIUnicodeText probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"AutoDimension~X~Y", KVATTR_BOOLEAN, &probe.m_autoDimension, 2, kAutoDimensionId, kStored, 0, nullptr,
         RenderHook, nullptr, "", 0},
        // The 2D base's pair under the class's own id, as sprites keep it.
        {"Scale~X~Y", KVATTR_F32, &probe.m_scale, 2, kScaleId, AttributeFlags(KVAF_APPLIED), 0, nullptr, nullptr,
         nullptr, "", 0},
        {"LineSpacing", KVATTR_S32, &probe.m_lineSpacing, 1, kLineSpacingId, kStored, 0, nullptr, RenderHook, nullptr,
         "", 0},
        {"Alignment~Left~Center~Right~Justified", KVATTR_ENUM, &probe.m_alignment, 1, kAlignmentId, kStored, 0,
         nullptr, RenderHook, nullptr, "", 0},
        {"WordWrap", KVATTR_BOOLEAN, &probe.m_wordWrap, 1, kWordWrapId, kStored, 0, nullptr, RenderHook, nullptr, "",
         0},
        {"CharSize~Width~Height", KVATTR_S32, &probe.m_charSize, 2, kCharSizeId, kStored, 0, nullptr, RenderHook,
         nullptr, "", 0},
        {"TextFile@Text files|*.txt", KVATTR_PATH, &probe.m_textFile, 1, kTextFileId, kStored, 0, nullptr, RenderHook,
         nullptr, "", 0},
        {"Text", KVATTR_STRING, &probe.m_textAttribute, 1, kTextId, kStored, 0, nullptr, RenderHook, nullptr, "", 0},
        {"Font@True type font files|*.ttf", KVATTR_PATH, &probe.m_fontPath, 1, kFontId, kStored, 0, nullptr,
         LoadFontHook, nullptr, "", 0},
        {"AutoScale", KVATTR_BOOLEAN, &probe.m_autoScale, 1, kAutoScaleId, kStored, 0, nullptr, RenderHook, nullptr,
         "", 0},
        {"PositionOffset~X~Y", KVATTR_S32, &probe.m_positionOffset, 2, kPositionOffsetId, kStored, 0, nullptr,
         nullptr, nullptr, "", 0},
        {"VAlignment~Top~Center~Bottom", KVATTR_ENUM, &probe.m_vAlignment, 1, kVAlignmentId, kStored, 0, nullptr,
         RenderHook, nullptr, "", 0},
        {"NbVisibleChars", KVATTR_S32, &probe.m_nbVisibleChars, 1, kNbVisibleCharsId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"CharSpacing", KVATTR_S32, &probe.m_charSpacing, 1, kCharSpacingId, kStored, 0, nullptr, RenderHook, nullptr,
         "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);

    if (KVLua* lua = KVLua::Instance()) {
        lua->RegisterClassFunction(classIndex, "GetTextSize", &ScriptGetTextSize);
        lua->RegisterClassFunction(classIndex, "GetCharPosition", &ScriptGetCharPosition);
    }
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterTTFTextClass() { return KVGUIUnicodeText::RegisterClass(); }

} // namespace kvl
