#include "KVGUIText.h"

#include "../kernel/IKVFile.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVPath.h"
#include "../units/IKVUnitRef.h"
#include "../units/KVSerialize.h"
#include "../units/KVUnitFactory.h"
#include "KVGUIFont.h"
#include "KVTextDecoder.h"

namespace kvl {

namespace {

// Scene files up to this version stored the colour's transparency, not its
// opacity.
constexpr uint32_t kLastTransparencyVersion = 0x10004;

} // namespace

KVGUIText* KVGUIText::FromUnit(IKVUnit* unit) { return unit ? dynamic_cast<KVGUIText*>(unit->GetUnit()) : nullptr; }

int32_t KVGUIText::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVGUIText) return AnswerInterface(static_cast<IKVGUIText*>(this), out);
    return KVUnitDisplay2D::QueryInterface(id, out);
}

void KVGUIText::Init() {
    KVUnitDisplay2D::Init();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && !m_font) m_font = factory->MakeUnitRef(GetIndex(), &kFontId);
    m_autoDimension[0] = m_autoDimension[1] = true;
    m_text.clear();
    m_page = 0;
    m_color = 0xFFFFFFFFu;
    m_charSpacing = 2;
    m_lineSpacing = 0;
    m_fixedWidth = false;
    m_alignment = KVTEXT_ALIGN_LEFT;
    m_wordWrap = false;
    m_textFile.clear();
    m_nbVisibleChars = -1;
    m_nbVisibleLines = -1;
    m_fileText.clear();
    m_layoutPending = false;
    m_busy = false;
    SetDrawable(true);
}

void KVGUIText::Close() {
    if (m_font) m_font->Release();
    m_font = nullptr;
    KVUnitDisplay2D::Close();
}

int32_t KVGUIText::Load() {
    const int32_t result = KVUnitDisplay2D::Load();
    if (result != KV_OK) return result;
    KVSerialize* serializer = KVSerialize::Instance();
    if (serializer && serializer->GetFileVersion() <= kLastTransparencyVersion)
        m_color = (m_color & 0x00FFFFFFu) | ((255u - (m_color >> 24)) << 24);
    return KV_OK;
}

void KVGUIText::OnResize() {
    KVUnitDisplay2D::OnResize();
    if (!(m_autoDimension[0] && m_autoDimension[1])) UpdateLayout();
}

void KVGUIText::UpdateWindow() {
    KVUnitDisplay2D::UpdateWindow();
    if (m_autoDimension[0] || m_autoDimension[1]) UpdateLayout();
}

void KVGUIText::UpdateTransform(int32_t value) {
    KVUnitDisplay2D::UpdateTransform(value);
    UpdateLayout();
}

KVGUIFont* KVGUIText::GetFontUnit() const {
    const int32_t index = m_font ? m_font->GetIndex() : -1;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return index != -1 && factory ? KVGUIFont::FromUnit(factory->GetUnit(index)) : nullptr;
}

TextLayoutParams KVGUIText::MakeParams(TextClipWindow* window) const {
    TextLayoutParams params;
    params.width = m_autoDimension[0] ? 0 : m_dimension.x;
    params.height = m_autoDimension[1] ? 0 : m_dimension.y;
    params.charSpacing = m_charSpacing;
    params.lineSpacing = m_lineSpacing;
    params.page = ClampToInt32(int64_t(m_page));
    params.alignment = int32_t(m_alignment);
    params.vAlignment = KVTEXT_VALIGN_TOP;
    params.fixedWidth = m_fixedWidth ? 1 : 0;
    params.wordWrap = m_wordWrap ? 1 : 0;
    params.cellSource = 1;
    if (KVGUIFont* font = GetFontUnit()) params.startLine = font->GetStartLine();
    params.color = m_color;
    params.pixelShader = GetPixelShader();
    params.nbVisibleChars = m_nbVisibleChars;
    params.nbVisibleLines = m_nbVisibleLines;
    if (window) {
        const KVDeviceRect& w = GetEffectiveWindow();
        *window = TextClipWindow{float(w.left), float(w.top), float(w.right), float(w.bottom)};
        params.clipWindow = window;
    }
    return params;
}

void KVGUIText::UpdateLayout() {
    if (m_busy) return;
    if (!m_autoDimension[0] && !m_autoDimension[1]) {
        m_bounds = {0, 0, m_dimension.x, m_dimension.y};
        return;
    }
    m_busy = true;
    if (KVGUIFont* font = GetFontUnit()) {
        KVDeviceRect box = {0, 0, 0, 0};
        if (font->GetTextBounds(GetShownText(), MakeParams(nullptr), &box) != KV_OK) {
            m_layoutPending = true;
            m_busy = false;
            return;
        }
        m_layoutPending = false;
        if (m_autoDimension[0]) {
            m_bounds.left = box.left;
            m_bounds.right = box.right;
            m_dimension.x = ClampToInt32(int64_t(box.right) - box.left);
        } else {
            m_bounds.left = 0;
            m_bounds.right = m_dimension.x;
        }
        if (m_autoDimension[1]) {
            m_bounds.top = box.top;
            m_bounds.bottom = box.bottom;
            m_dimension.y = ClampToInt32(int64_t(box.bottom) - box.top);
        } else {
            m_bounds.top = 0;
            m_bounds.bottom = m_dimension.y;
        }
    } else {
        m_bounds = {0, 0, 0, 0};
        m_dimension = {0, 0};
    }
    KVUnitDisplay2D::OnResize();
    m_busy = false;
}

void KVGUIText::Draw() {
    KVGUIFont* font = GetFontUnit();
    if (!font || font->GetFrameListSize() == 0) return;
    KVUnitDisplay2D::Draw();
    if (m_layoutPending) UpdateLayout();
    TextClipWindow window;
    const TextLayoutParams params = MakeParams(&window);
    font->DrawText(GetShownText(), GetWorldTransform(), params);
}

int32_t KVGUIText::LoadTextFile() {
    if (!IsEnabled()) return KV_OK;
    m_fileText.clear();
    // A path taken away takes its text with it.
    if (m_textFile.empty()) {
        UpdateLayout();
        return KV_OK;
    }
    IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile);
    std::string path = m_textFile;
    if (KVSerialize* serializer = KVSerialize::Instance()) serializer->MakeAbsolutePath(m_textFile, &path);
    path = LowerResourcePath(path);
    KVFileHandle handle = nullptr;
    if (!file || file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) {
        if (IKVLog* log = GetLog()) log->WriteStringLevel(Format("Unable to open {0}", m_textFile), KVLOG_ERROR);
        return KV_FAILED;
    }
    std::string bytes(file->GetSize(handle), '\0');
    uint32_t got = 0;
    if (!bytes.empty() && file->Read(handle, &bytes[0], uint32_t(bytes.size()), &got) == KV_OK)
        bytes.resize(got < bytes.size() ? got : bytes.size());
    else
        bytes.clear();
    file->Close(handle);
    DecodeByteText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &m_fileText);
    UpdateLayout();
    return KV_OK;
}

int32_t KVGUIText::SetText(const std::string& text) {
    m_text = text;
    return KV_OK;
}

int32_t KVGUIText::GetFont() { return m_font ? m_font->GetIndex() : -1; }

int32_t KVGUIText::SetFont(int32_t unitIndex) {
    if (m_font) m_font->SetIndex(unitIndex);
    return KV_OK;
}

int32_t KVGUIText::SetPage(uint32_t page) {
    m_page = page;
    return KV_OK;
}

int32_t KVGUIText::SetColor(uint32_t color) {
    m_color = color;
    return KV_OK;
}

} // namespace kvl
