#include "KVGUIFont.h"

#include <algorithm>

#include "../graphics/KVResourceTexture.h"
#include "../kernel/IKVFile.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVPath.h"
#include "../units/KVSerialize.h"
#include "KVGUI.h"

namespace kvl {

namespace {

constexpr size_t kCodes = 256;

// The descriptor's name: the image path cut after its last '.' (kept).
std::string BoxFileName(const std::string& image) {
    const size_t dot = image.rfind('.');
    const std::string stem = dot == std::string::npos ? image + "." : image.substr(0, dot + 1);
    return stem + FontBoxTable::kExtension;
}

// Reads exactly `count` bytes; false on a short read.
bool ReadAll(IKVFile* file, KVFileHandle handle, void* buffer, uint32_t count) {
    uint32_t got = 0;
    return file->Read(handle, buffer, count, &got) == KV_OK && got == count;
}

} // namespace

KVGUIFont* KVGUIFont::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVGUIFont*>(unit->GetUnit()) : nullptr;
}

void KVGUIFont::Init() {
    KVUnitSprite::Init();
    m_nbLines = kDefaultLines;
    m_startLine = 0;
    SetAlphaTest(true);
    m_boxesLoaded = false;
    m_pakGlyphs = false;
    SetDrawable(false);
    m_boxes.clear();
}

void KVGUIFont::Close() {
    KVUnitSprite::Close();
    std::vector<GlyphBox>().swap(m_boxes);
    m_boxesLoaded = false;
    m_pakGlyphs = false;
}

void KVGUIFont::SetNbLines(uint32_t lines) {
    m_nbLines = lines ? lines : kDefaultLines;
    LoadImages();
}

void KVGUIFont::SetStartLine(uint32_t line) {
    m_startLine = line;
    LoadImages();
}

void KVGUIFont::LoadImages() {
    KVUnitSprite::LoadImages();
    if (!IsEnabled()) {
        m_boxesLoaded = false;
        return;
    }
    IKVResourceTexture* first = GetFrameTexture(0);
    if (!first) return;
    auto* resource = dynamic_cast<KVResourceTexture*>(first);
    m_pakGlyphs = resource && resource->HasSubImageIndex();
    if (m_pakGlyphs) return;
    LoadFontBoxes();
    m_boxesLoaded = true;
}

uint32_t KVGUIFont::GetChar(int32_t index) {
    if (index < 0 || size_t(index) >= m_text.size()) return 0;
    return uint8_t(m_text[size_t(index)]);
}

int32_t KVGUIFont::GetCellSize(int32_t* width, int32_t* height) {
    if (width) *width = m_dimension.x / 16;
    if (height) *height = int32_t(int64_t(m_dimension.y) / int64_t(Lines()));
    return KV_OK;
}

int32_t KVGUIFont::GetGlyphBox(int32_t page, int32_t index, GlyphBox* box) {
    if (!box) return KV_INVALID;
    *box = GlyphBox();
    const uint32_t code = GetChar(index);
    if (m_pakGlyphs) {
        auto* texture = page >= 0 ? dynamic_cast<KVResourceTexture*>(GetFrameTexture(size_t(page))) : nullptr;
        const int64_t number = int64_t(code) - int64_t(m_startLine) * 16;
        const KVDeviceRect* r = nullptr;
        if (!texture || number < 0 || number > INT32_MAX || !texture->GetSubImageRect(int32_t(number), &r) || !r)
            return KV_OK;
        float scale[2] = {1.0f, 1.0f};
        texture->GetResolutionScale(scale);
        const int32_t width = ClampToInt32(int64_t(r->right) - r->left);
        const float advance = scale[0] > 0.0f ? float(width) / scale[0] + 0.5f : 0.0f;
        box->right = width;
        box->advance = TruncateCoordinate(advance);
        box->bottom = ClampToInt32(int64_t(r->bottom) - r->top);
        return KV_OK;
    }
    if (code < m_boxes.size()) *box = m_boxes[code];
    return KV_OK;
}

void KVGUIFont::LoadFontBoxes() {
    if (GetImage()->empty()) return;
    IKVResourceTexture* first = GetFrameTexture(0);
    int32_t cw = 0, ch = 0;
    if (first) GetCellSize(&cw, &ch);
    if (m_boxes.size() != kCodes) m_boxes.assign(kCodes, GlyphBox());
    if (ReadBoxFile(ch) != KV_OK) {
        for (GlyphBox& box : m_boxes) box = GlyphBox{0, cw, 0, 0, ch};
        if (first) MeasureBoxes(first);
    }
    for (GlyphBox& box : m_boxes) box.advance = ClampToInt32(int64_t(box.right) - box.left + 1);
}

int32_t KVGUIFont::ReadBoxFile(int32_t cellHeight) {
    IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile);
    if (!file) return KV_FAILED;
    const std::string name = BoxFileName(*GetImage());
    std::string path = name;
    if (KVSerialize* serializer = KVSerialize::Instance()) serializer->MakeAbsolutePath(name, &path);
    path = LowerResourcePath(path);
    KVFileHandle handle = nullptr;
    if (file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) return KV_FAILED;
    uint8_t header[FontBoxTable::kHeaderSize];
    uint8_t pairs[FontBoxTable::kPairsSize];
    const bool whole = ReadAll(file, handle, header, sizeof header) && ReadAll(file, handle, pairs, sizeof pairs);
    file->Close(handle);
    if (!whole) {
        // A cut descriptor holds no usable pairs: the glyphs are measured.
        if (IKVLog* log = GetLog()) log->WriteStringLevel("Unable to read " + path, KVLOG_ERROR);
        return KV_FAILED;
    }
    for (size_t k = 0; k < kCodes; ++k) {
        const int32_t first = pairs[2 * k];
        // A pair whose last column comes before its first is an empty
        // glyph, as a measured blank cell is: no column wide, not negative.
        const int32_t last = std::max<int32_t>(pairs[2 * k + 1], first - 1);
        m_boxes[k] = GlyphBox{first, last, 0, 0, cellHeight};
    }
    return KV_OK;
}

void KVGUIFont::MeasureBoxes(IKVResourceTexture* texture) {
    const uint8_t* mask = nullptr;
    int32_t pitch = 0;
    const int32_t* size = nullptr;
    if (texture->GetAlphaMask(&mask, &pitch, &size) != KV_OK || !mask || !size || pitch <= 0) return;
    const int64_t mw = size[0], mh = size[1];
    const int64_t lines = Lines();
    const int64_t mcw = mw / 16, mch = mh / lines;
    if (mw <= 0 || mcw <= 0 || mcw > int64_t(pitch) * 8) return;
    const int64_t imageWidth = texture->GetImageSize()[0];
    const int64_t bits = int64_t(pitch) * 8 * std::max<int64_t>(mh, 0);
    auto used = [&](int64_t r, int64_t c, int64_t x) {
        for (int64_t row = 0; row < mch; ++row) {
            const int64_t bit = (r * mch + row) * pitch * 8 + c * mcw + x;
            if (bit < bits && ((mask[bit / 8] >> (bit % 8)) & 1u)) return true;
        }
        return false;
    };
    for (int64_t r = 0; r < lines; ++r) {
        for (int64_t c = 0; c < 16; ++c) {
            const int64_t entry = (int64_t(m_startLine) + r) * 16 + c;
            if (entry >= int64_t(kCodes)) continue;
            int64_t first = mcw;
            for (int64_t x = 0; x < mcw; ++x)
                if (used(r, c, x)) {
                    first = x;
                    break;
                }
            int64_t last = mcw - 1;
            if (first < mcw - 1) {
                last = first;
                for (int64_t x = mcw - 1; x > first; --x)
                    if (used(r, c, x)) {
                        last = x;
                        break;
                    }
            }
            GlyphBox& box = m_boxes[size_t(entry)];
            box.left = int32_t((first * imageWidth / mw) & 0xFF);
            box.right = int32_t((last * imageWidth / mw) & 0xFF);
        }
    }
}

void KVGUIFont::Layout(const std::string& text, const TextLayoutParams& params) {
    m_text = text;
    if (KVGUI* gui = KVGUI::Instance()) {
        gui->LayoutText(params, this, &m_layout);
    } else {
        m_layout = TextLayout();
    }
    // A text without a glyph (empty or blank) has an empty box: neither the
    // layout's start values nor a previous text's box.
    if (m_layout.positions.empty()) m_layout.minX = m_layout.minY = m_layout.maxX = m_layout.maxY = 0;
}

int32_t KVGUIFont::GetCharRect(const std::string& text, const TextLayoutParams& params, int32_t index,
                               KVDeviceRect* out) {
    m_text = text;
    if (!IsReady()) return KV_FAILED;
    Layout(text, params);
    if (index < 0 || size_t(index) >= text.size() || size_t(index) >= m_layout.charToGlyph.size())
        return KV_FAILED;
    const int32_t glyph = m_layout.charToGlyph[size_t(index)];
    if (glyph < 0 || size_t(glyph) >= m_layout.positions.size()) return KV_FAILED;
    int32_t cw = 0, ch = 0;
    GetCellSize(&cw, &ch);
    const KVGlyphPosition& p = m_layout.positions[size_t(glyph)];
    if (out) *out = KVDeviceRect{p.x, p.y, SaturatingAdd(p.x, cw), SaturatingAdd(p.y, ch)};
    return KV_OK;
}

int32_t KVGUIFont::GetTextBounds(const std::string& text, const TextLayoutParams& params, KVDeviceRect* out) {
    m_text = text;
    if (!IsReady()) return KV_FAILED;
    Layout(text, params);
    if (out) *out = KVDeviceRect{m_layout.minX, m_layout.minY, m_layout.maxX, m_layout.maxY};
    return KV_OK;
}

int32_t KVGUIFont::GetTextMetrics(const std::string& text, const TextLayoutParams& params, KVTextMetrics* out) {
    m_text = text;
    if (!IsReady()) return KV_FAILED;
    Layout(text, params);
    if (!out) return KV_OK;
    out->minX = m_layout.minX;
    out->minY = m_layout.minY;
    out->maxX = m_layout.maxX;
    out->maxY = m_layout.maxY;
    out->lineCount = m_layout.lineCount;
    GetCellSize(&out->cellWidth, &out->cellHeight);
    out->length = ClampToInt32(int64_t(text.size()));
    return KV_OK;
}

int32_t KVGUIFont::GetLineCount(const std::string& text, const TextLayoutParams& params) {
    m_text = text;
    if (!IsReady()) return 1;
    Layout(text, params);
    return m_layout.lineCount;
}

int32_t KVGUIFont::DrawText(const std::string& text, const KV2DTransform& world, const TextLayoutParams& params) {
    m_text = text;
    if (!IsReady()) return KV_FAILED;
    if (params.nbVisibleLines == 0) return KV_OK;
    if (params.page < 0 || size_t(params.page) >= GetFrameListSize()) return KV_FAILED;
    Layout(text, params);
    const size_t glyphs = std::min({m_layout.positions.size(), m_layout.sources.size(), m_layout.charIndices.size()});
    IKVGraphic* graphic = GetGraphicModule();
    if (glyphs == 0 || !graphic) return KV_OK;

    if (const TextClipWindow* clip = params.clipWindow) {
        const KVDeviceRect window = {TruncateCoordinate(clip->left), TruncateCoordinate(clip->top),
                                     TruncateCoordinate(clip->right), TruncateCoordinate(clip->bottom)};
        graphic->SetScissor(IsNonEmpty(window) ? &window : nullptr);
    }
    graphic->SetTextureStage(0, GetFrameTexture(size_t(params.page)));
    graphic->ResetTextureStages();
    graphic->SetViewTransform(world.m);
    KVDrawState state;
    GetDrawState(0, &state);
    state.pixelShader = params.pixelShader;
    graphic->SetDrawState(&state, KVDRAW_BATCH);

    size_t count = glyphs;
    if (params.nbVisibleChars >= 0 && size_t(params.nbVisibleChars) < text.size()) {
        const size_t c = size_t(params.nbVisibleChars);
        const int32_t last = c < m_layout.charToGlyph.size() ? m_layout.charToGlyph[c] : -1;
        count = std::min(glyphs, size_t(int64_t(last) + 1));
    }
    int32_t lines = 1;
    for (size_t i = 0; i < count; ++i) {
        const KVGlyphPosition& p = m_layout.positions[i];
        if (params.nbVisibleLines > 0 && i > 0 && p.x <= m_layout.positions[i - 1].x && ++lines > params.nbVisibleLines)
            break;
        ImageDrawRecord record;
        record.x = float(p.x);
        record.y = float(p.y);
        record.color = params.color;
        if (m_pakGlyphs) {
            const int32_t index = m_layout.charIndices[i];
            const int64_t number = int64_t(GetChar(index)) - int64_t(m_startLine) * 16;
            graphic->DrawGlyph(&record, ClampToInt32(number));
            continue;
        }
        const KVGlyphRect& s = m_layout.sources[i];
        // A cell without a visible pixel measures to an empty source, which
        // the graphic module would take for the whole sheet.
        if (s.x1 <= s.x0 || s.y1 <= s.y0) continue;
        record.sourceLeft = float(s.x0);
        record.sourceTop = float(s.y0);
        record.sourceRight = float(s.x1);
        record.sourceBottom = float(s.y1);
        graphic->DrawImage(&record);
    }
    graphic->EndDraw();
    return KV_OK;
}

} // namespace kvl
