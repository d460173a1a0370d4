#include "KVGUIUnicodeText.h"

#include <algorithm>

#include "../graphics/IKVGraphicDevice.h"
#include "../kernel/IKVFile.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVPath.h"
#include "../units/KVSerialize.h"
#include "KVGUI.h"
#include "KVGUITtfFont.h"
#include "KVTextDecoder.h"

namespace kvl {

namespace {

void LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteStringLevel(text, KVLOG_ERROR);
}

} // namespace

KVGUIUnicodeText* KVGUIUnicodeText::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVGUIUnicodeText*>(unit->GetUnit()) : nullptr;
}

KVGUIUnicodeText::~KVGUIUnicodeText() {
    if (m_font) m_font->Release();
    m_font = nullptr;
}

void KVGUIUnicodeText::Init() {
    KVUnitEmbeddable::Init();
    m_autoDimension[0] = m_autoDimension[1] = true;
    m_lineSpacing = 0;
    m_alignment = KVTEXT_ALIGN_LEFT;
    m_wordWrap = false;
    m_charSize[0] = m_charSize[1] = 16;
    m_textFile.clear();
    m_textAttribute.clear();
    m_fontPath.clear();
    m_autoScale = false;
    m_positionOffset[0] = m_positionOffset[1] = 0;
    m_vAlignment = KVTEXT_VALIGN_TOP;
    m_nbVisibleChars = -1;
    m_charSpacing = 0;
    SetColor(0xFFFFFFFFu);
    if (m_font) m_font->Release();
    m_font = nullptr;
    m_busy = false;
    SetDrawable(true);
}

void KVGUIUnicodeText::OnResize() {
    KVUnitEmbeddable::OnResize();
    Render();
}

void KVGUIUnicodeText::UpdateWindow() {
    KVUnitEmbeddable::UpdateWindow();
    Render();
}

void KVGUIUnicodeText::UpdateTransform(int32_t value) {
    KVUnitEmbeddable::UpdateTransform(value);
    Render();
}

void KVGUIUnicodeText::LoadFont() {
    if (m_font) m_font->Release();
    m_font = nullptr;
    if (IsEnabled() && !m_fontPath.empty()) {
        std::string path = m_fontPath;
        if (KVSerialize* serializer = KVSerialize::Instance()) serializer->MakeAbsolutePath(m_fontPath, &path);
        if (KVGUI* gui = KVGUI::Instance()) gui->LoadFont(path.c_str(), &m_font);
    }
    Render();
}

void KVGUIUnicodeText::Render() {
    if (m_busy) return;
    ReleaseOwnTexture();
    // The texture is drawn at its offset: where it lies is worked out anew.
    MarkOnScreenStale();
    if (!IsEnabled() || !m_font) return;
    std::string bytes;
    if (LoadTextFile(true, &bytes) != KV_OK) return;
    m_busy = true;
    RenderText(bytes);
    m_busy = false;
}

uint32_t KVGUIUnicodeText::GetChar(int32_t index) {
    return index >= 0 && size_t(index) < m_text.size() ? uint32_t(m_text[size_t(index)]) : 0u;
}

int32_t KVGUIUnicodeText::GetCellSize(int32_t* width, int32_t* height) {
    if (width) *width = m_charSize[0];
    if (height) *height = m_charSize[1];
    return KV_OK;
}

int32_t KVGUIUnicodeText::GetGlyphBox(int32_t page, int32_t index, GlyphBox* box) {
    (void)page;
    if (!box) return KV_INVALID;
    *box = index >= 0 && size_t(index) < m_metrics.size() ? ToGlyphBox(m_metrics[size_t(index)]) : GlyphBox();
    return KV_OK;
}

int32_t KVGUIUnicodeText::LoadTextFile(bool log, std::string* out) {
    out->clear();
    if (m_textFile.empty()) {
        *out = m_textAttribute;
        return out->empty() ? KV_FAILED : KV_OK;
    }
    IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile);
    std::string path = m_textFile;
    if (KVSerialize* serializer = KVSerialize::Instance()) serializer->MakeAbsolutePath(m_textFile, &path);
    path = LowerResourcePath(path);
    KVFileHandle handle = nullptr;
    if (!file || file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) {
        if (log) LogError(Format("Unable to open {0}", m_textFile));
        return KV_FAILED;
    }
    out->assign(file->GetSize(handle), '\0');
    uint32_t got = 0;
    if (!out->empty() && file->Read(handle, &(*out)[0], uint32_t(out->size()), &got) == KV_OK)
        out->resize(got < out->size() ? got : out->size());
    else
        out->clear();
    file->Close(handle);
    return KV_OK;
}

int32_t KVGUIUnicodeText::DecodeText(const std::string& bytes) {
    return kvl::DecodeText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &m_text);
}

int32_t KVGUIUnicodeText::MeasureGlyphs() {
    return kvl::MeasureGlyphs(m_font ? m_font->GetFace() : nullptr, m_charSize[0], m_charSize[1], m_charSpacing,
                              m_text, &m_metrics);
}

TextLayoutParams KVGUIUnicodeText::MakeParams() const {
    TextLayoutParams params;
    params.width = m_autoDimension[0] || m_autoScale ? 0 : m_dimension.x;
    params.height = m_autoDimension[1] || m_autoScale ? 0 : m_dimension.y;
    // The spacing is already in each glyph's advance.
    params.charSpacing = 0;
    params.lineSpacing = m_lineSpacing;
    params.page = 0;
    params.alignment = m_autoScale && !m_autoDimension[0] ? KVTEXT_ALIGN_LEFT : int32_t(m_alignment);
    params.vAlignment = m_autoScale && !m_autoDimension[1] ? KVTEXT_VALIGN_TOP : int32_t(m_vAlignment);
    params.fixedWidth = 0;
    params.wordWrap = m_wordWrap ? 1 : 0;
    params.cellSource = 0;
    params.startLine = 0;
    return params;
}

int32_t KVGUIUnicodeText::MeasureText(const std::string& bytes, TextLayout* out) {
    KVGUI* gui = KVGUI::Instance();
    if (!m_font || !gui) return KV_FAILED;
    DecodeText(bytes);
    MeasureGlyphs();
    gui->LayoutText(MakeParams(), this, out);
    return KV_OK;
}

int32_t KVGUIUnicodeText::RenderText(const std::string& bytes) {
    DecodeText(bytes);
    MeasureGlyphs();
    KVGUI* gui = KVGUI::Instance();
    if (!gui) return KV_FAILED;
    gui->LayoutText(MakeParams(), this, &m_layout);
    const int64_t w = int64_t(m_layout.maxX) - m_layout.minX;
    const int64_t h = int64_t(m_layout.maxY) - m_layout.minY;
    // Glyphs that cover no pixel (zero-width characters) leave nothing to
    // draw, as blanks do.
    if (m_layout.positions.empty() || w <= 0 || h <= 0) return KV_OK;
    m_positionOffset[0] = m_layout.minX;
    m_positionOffset[1] = m_layout.minY;

    IKVGraphic* graphic = GetGraphicModule();
    IKVGraphicDevice2D* device = graphic ? graphic->GetDevice2D() : nullptr;
    const bool palette = device && device->IsFormatSupported(KVTEXFMT_PALETTE16);
    const uint32_t format = palette ? KVTEXFMT_PALETTE16 : KVTEXFMT_BGRA;
    const std::string failure = m_textFile + " unable to create text texture (text is too large ?)";
    const KVDeviceSize size = {ClampToInt32(w), ClampToInt32(h)};
    if (w > INT32_MAX || h > INT32_MAX || CreateOwnTexture(&size, false, format) != KV_OK || !IsOwnTexture()) {
        LogError(failure);
        return KV_FAILED;
    }
    void* data = nullptr;
    int32_t pitch = 0;
    // A texture that cannot be written is no texture to show.
    if (Lock(0, &data, &pitch) != KV_OK || !data) {
        LogError(failure);
        ReleaseOwnTexture();
        return KV_FAILED;
    }
    TtfRasterTarget target;
    target.pixels = static_cast<uint8_t*>(data);
    target.pitch = pitch;
    target.width = size.width;
    target.height = size.height;
    target.format = format;
    const int32_t drawn = RasteriseGlyphs(m_font->GetFace(), m_text, m_metrics, m_layout, target);
    if (drawn == KV_OK && format == KVTEXFMT_PALETTE16) {
        uint32_t colors[16];
        GetTextPalette(colors);
        if (IKVTexture* texture = GetOwnTexture()->GetDeviceTexture()) texture->SetPalette(colors, 16);
    }
    if (m_autoDimension[0] || m_autoDimension[1])
        SetDimension(m_autoDimension[0] ? size.width : m_dimension.x, m_autoDimension[1] ? size.height : m_dimension.y);
    Unlock();
    if (drawn != KV_OK) {
        LogError(failure);
        ReleaseOwnTexture();
        return KV_FAILED;
    }
    m_bounds = {m_positionOffset[0], m_positionOffset[1], SaturatingAdd(m_positionOffset[0], size.width),
                SaturatingAdd(m_positionOffset[1], size.height)};
    return KV_OK;
}

KVDeviceRect KVGUIUnicodeText::GetDrawnArea() {
    IKVResourceTexture* texture = IsOwnTexture() ? GetOwnTexture() : nullptr;
    if (!texture) return KVUnitEmbeddable::GetDrawnArea();
    const int32_t* size = texture->GetImageSize();
    return {m_positionOffset[0], m_positionOffset[1], SaturatingAdd(m_positionOffset[0], size[0]),
            SaturatingAdd(m_positionOffset[1], size[1])};
}

void KVGUIUnicodeText::Draw() {
    if (!IsOwnTexture()) return;
    if (TakeOwnTextureLost()) Render();
    IKVResourceTexture* texture = GetOwnTexture();
    IKVGraphic* graphic = GetGraphicModule();
    if (!texture || !graphic) return;
    KVUnitDisplay2D::Draw();
    graphic->SetTextureStage(0, texture);
    graphic->ResetTextureStages();
    KVDrawState state;
    GetDrawState(0, &state);
    // The glyphs are coverage in the alpha of a texture made empty (which
    // reports no alpha channel of its own): always blended.
    state.blend = 1;
    graphic->SetDrawState(&state, KVDRAW_BATCH);
    graphic->SetViewTransform(GetWorldTransform().m);

    const size_t glyphs = std::min(m_layout.positions.size(), m_layout.sources.size());
    const int32_t n = m_nbVisibleChars;
    ImageDrawRecord record;
    record.color = GetColor();
    if (n == -1 || (n >= 0 && size_t(n) >= glyphs)) {
        const int32_t* size = texture->GetImageSize();
        record.x = float(m_positionOffset[0]);
        record.y = float(m_positionOffset[1]);
        record.sourceRight = float(size[0]);
        record.sourceBottom = float(size[1]);
        graphic->DrawImage(&record);
    } else if (n > 0) {
        for (size_t i = 0; i < size_t(n); ++i) {
            const KVGlyphPosition& p = m_layout.positions[i];
            const KVGlyphRect& s = m_layout.sources[i];
            // An empty source would stand for the whole texture.
            if (s.x1 <= s.x0 || s.y1 <= s.y0) continue;
            record.x = float(p.x);
            record.y = float(p.y);
            record.sourceLeft = float(int64_t(p.x) - m_positionOffset[0]);
            record.sourceTop = float(int64_t(p.y) - m_positionOffset[1]);
            record.sourceRight = record.sourceLeft + float(int64_t(s.x1) - s.x0);
            record.sourceBottom = record.sourceTop + float(int64_t(s.y1) - s.y0);
            graphic->DrawImage(&record);
        }
    }
    graphic->EndDraw();
}

} // namespace kvl
