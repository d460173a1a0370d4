// Class "Text": its attributes under the ids scene files store them with,
// and the script methods "GetTextNbLines", "GetTextSize" and
// "GetCharPosition". Methods get the unit first on the script stack and
// their arguments after it.
#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVGUIFont.h"
#include "KVGUIText.h"
#include "KVGUITextScript.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

KVGUIText* TextOf(void* unit) { return KVGUIText::FromUnit(static_cast<KVUnit*>(unit)); }

void UpdateLayoutHook(void* unit) {
    if (KVGUIText* text = TextOf(unit)) text->UpdateLayout();
}

void LoadTextFileHook(void* unit) {
    if (KVGUIText* text = TextOf(unit)) text->LoadTextFile();
}

// The text argument when one is given, else the unit's text; false when
// there is neither.
bool TextArgument(IKVLua* lua, KVGUIText* unit, std::string* out) {
    if (lua->GetTop() >= kFirstArgument) {
        if (const char* text = lua->ToString(kFirstArgument)) {
            *out = text;
            return true;
        }
    }
    *out = unit->GetShownText();
    return !out->empty();
}

int ScriptGetTextNbLines(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVGUIText* text = KVGUIText::FromUnit(unit);
    KVGUIFont* font = text ? text->GetFontUnit() : nullptr;
    std::string shown;
    if (!lua || !font || !TextArgument(lua, text, &shown)) return 0;
    lua->PushInteger(font->GetLineCount(shown, text->MakeParams(nullptr)));
    return 1;
}

int ScriptGetTextSize(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVGUIText* text = KVGUIText::FromUnit(unit);
    if (!lua || !text) return 0;
    KVTextMetrics metrics;
    if (KVGUIFont* font = text->GetFontUnit()) {
        std::string shown;
        if (TextArgument(lua, text, &shown))
            font->GetTextMetrics(shown, text->MakeParams(nullptr), &metrics);
        else
            lua->ArgumentError(1);
    }
    // A font that is not ready leaves its box untouched: all zero.
    const KVScriptField fields[] = {
        {"width", double(int64_t(metrics.maxX) - metrics.minX), true},
        {"height", double(int64_t(metrics.maxY) - metrics.minY), true},
        {"nb_lines", double(metrics.lineCount), true},
        {"line_height", double(metrics.cellHeight), true},
        {"nb_chars", double(metrics.length), true},
    };
    PushScriptTable(lua, fields, sizeof fields / sizeof fields[0]);
    return 1;
}

int ScriptGetCharPosition(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVGUIText* text = KVGUIText::FromUnit(unit);
    if (!lua || !text) return 0;
    if (lua->CheckArgCount(kFirstArgument, false) != KV_OK || lua->CheckArgType(kFirstArgument, SCRIPT_NUMBER) != KV_OK)
        return 0;
    KVGUIFont* font = text->GetFontUnit();
    if (!font) {
        lua->ReportError("No font defined");
        return 0;
    }
    KVDeviceRect rect = {0, 0, 0, 0};
    // A character that maps to no glyph has no position to answer.
    if (font->GetCharRect(text->GetShownText(), text->MakeParams(nullptr), lua->ToInteger(kFirstArgument), &rect) !=
        KV_OK)
        return 0;
    const KVScriptField fields[] = {
        {"x", double(rect.left), true},
        {"y", double(rect.top), true},
        {"width", double(int64_t(rect.right) - rect.left), true},
        {"height", double(int64_t(rect.bottom) - rect.top), true},
    };
    PushScriptTable(lua, fields, sizeof fields / sizeof fields[0]);
    return 1;
}

} // namespace

int32_t KVGUIText::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Text", &KVGUIText::Create, "Display2D", kClassId, "");
    if (classIndex < 0) return -1;

    KVGUIText probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Font", KVATTR_UNIT, &probe.m_font, 1, kFontId, kStored, 0, nullptr, UpdateLayoutHook, nullptr, "GUIFont",
         0},
        {"AutoDimension~X~Y", KVATTR_BOOLEAN, &probe.m_autoDimension, 2, kAutoDimensionId, kStored, 0, nullptr,
         UpdateLayoutHook, nullptr, "", 0},
        {"Text", KVATTR_STRING, &probe.m_text, 1, kTextId, kStored, 0, nullptr, UpdateLayoutHook, nullptr, "", 0},
        {"Page", KVATTR_U32, &probe.m_page, 1, kPageId, kStored, 0, nullptr, UpdateLayoutHook, nullptr, "", 0},
        {"Color", KVATTR_COLOR, &probe.m_color, 1, kColorId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        // The 2D base's pair under the class's own id, as sprites keep it.
        {"Scale~X~Y", KVATTR_F32, &probe.m_scale, 2, kScaleId, AttributeFlags(KVAF_APPLIED), 0, nullptr, nullptr,
         nullptr, "", 0},
        {"CharSpacing", KVATTR_S32, &probe.m_charSpacing, 1, kCharSpacingId, kStored, 0, nullptr, UpdateLayoutHook,
         nullptr, "", 0},
        {"LineSpacing", KVATTR_S32, &probe.m_lineSpacing, 1, kLineSpacingId, kStored, 0, nullptr, UpdateLayoutHook,
         nullptr, "", 0},
        {"FixedWidth", KVATTR_BOOLEAN, &probe.m_fixedWidth, 1, kFixedWidthId, kStored, 0, nullptr, UpdateLayoutHook,
         nullptr, "", 0},
        {"Alignment~Left~Center~Right", KVATTR_ENUM, &probe.m_alignment, 1, kAlignmentId, kStored, 0, nullptr,
         UpdateLayoutHook, nullptr, "", 0},
        {"WordWrap", KVATTR_BOOLEAN, &probe.m_wordWrap, 1, kWordWrapId, kStored, 0, nullptr, UpdateLayoutHook,
         nullptr, "", 0},
        {"TextFile@Text files|*.txt", KVATTR_PATH, &probe.m_textFile, 1, kTextFileId, kStored, 0, nullptr,
         LoadTextFileHook, nullptr, "", 0},
        {"NbVisibleChars", KVATTR_S32, &probe.m_nbVisibleChars, 1, kNbVisibleCharsId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"NbVisibleLines", KVATTR_S32, &probe.m_nbVisibleLines, 1, kNbVisibleLinesId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);

    if (KVLua* lua = KVLua::Instance()) {
        lua->RegisterClassFunction(classIndex, "GetTextNbLines", &ScriptGetTextNbLines);
        lua->RegisterClassFunction(classIndex, "GetTextSize", &ScriptGetTextSize);
        lua->RegisterClassFunction(classIndex, "GetCharPosition", &ScriptGetCharPosition);
    }
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterTextClass() { return KVGUIText::RegisterClass(); }

} // namespace kvl
