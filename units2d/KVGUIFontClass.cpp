// Class "GUIFont": StartLine and NbLines, under the ids scene files store
// them with; either change loads the images and glyph boxes again.
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVGUIFont.h"

namespace kvl {

namespace {

KVGUIFont* FontOf(void* unit) { return KVGUIFont::FromUnit(static_cast<KVUnit*>(unit)); }

void StartLineChanged(void* unit) {
    if (KVGUIFont* font = FontOf(unit)) font->SetStartLine(font->GetStartLine());
}

void NbLinesChanged(void* unit) {
    if (KVGUIFont* font = FontOf(unit)) font->SetNbLines(font->GetNbLines());
}

} // namespace

int32_t KVGUIFont::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "GUIFont", &KVGUIFont::Create, "Sprite", kClassId, "");
    if (classIndex < 0) return -1;
    KVGUIFont probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"StartLine", KVATTR_U32, &probe.m_startLine, 1, kStartLineId, kStored, 0, nullptr, StartLineChanged, nullptr,
         "", 0},
        {"NbLines", KVATTR_U32, &probe.m_nbLines, 1, kNbLinesId, kStored, 0, nullptr, NbLinesChanged, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterGUIFontClass() { return KVGUIFont::RegisterClass(); }

} // namespace kvl
