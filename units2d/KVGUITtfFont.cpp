#include "KVGUITtfFont.h"

#include <algorithm>
#include <vector>

#include "../kernel/KVResources.h"

namespace kvl {
namespace {

std::vector<KVGUITtfFont*>& LiveFonts() {
    static std::vector<KVGUITtfFont*> fonts;
    return fonts;
}

} // namespace

KVGUITtfFont::KVGUITtfFont(std::string name) : m_name(std::move(name)) { LiveFonts().push_back(this); }

KVGUITtfFont::~KVGUITtfFont() {
    CloseFace();
    m_bytes.reset();
    std::vector<KVGUITtfFont*>& live = LiveFonts();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

int32_t KVGUITtfFont::Release() {
    int32_t left = --m_refCount;
    if (left == 0) {
        if (KVResources* manager = KVResources::Instance()) manager->Release(this);
        delete this;
    }
    return left;
}

int32_t KVGUITtfFont::SetManagerIndex(int32_t index) {
    m_managerIndex = index;
    return KV_OK;
}

FT_Error KVGUITtfFont::OpenFace(FT_Library library, std::unique_ptr<uint8_t[]> bytes, uint32_t size) {
    if (!library) return FT_Err_Invalid_Library_Handle;
    FT_Face face = nullptr;
    FT_Error error = FT_New_Memory_Face(library, bytes.get(), FT_Long(size), 0, &face);
    if (error != 0) return error;
    CloseFace();
    m_face = face;
    m_bytes = std::move(bytes);
    return 0;
}

void KVGUITtfFont::CloseFace() {
    if (m_face) FT_Done_Face(m_face);
    m_face = nullptr;
}

void KVGUITtfFont::CloseAllFaces() {
    for (KVGUITtfFont* font : LiveFonts()) font->CloseFace();
}

} // namespace kvl
