#pragma once
// A TrueType font resource: a FreeType face open on the bytes of the font
// file, which it owns for the face's whole life.
#include <memory>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "../kernel/IKVResource.h"

namespace kvl {

class KVGUITtfFont : public IKVResource {
public:
    static constexpr int32_t kResourceKind = 3;  // fonts; textures are 0

    explicit KVGUITtfFont(std::string name);

    int32_t Retain() override { return ++m_refCount; }
    // At zero: leaves the resource manager, then is deleted.
    int32_t Release() override;
    int32_t FreeData() override { return KV_OK; }
    int32_t GetManagerIndex() override { return m_managerIndex; }
    int32_t SetManagerIndex(int32_t index) override;
    int32_t GetType() override { return kResourceKind; }
    int32_t IsManaged() override { return 1; }
    const char* GetName() override { return m_name.c_str(); }
    int32_t Invalidate() override { return KV_OK; }
    int32_t TakeLostFlag() override { return KV_OK; }

    // Opens a face on the bytes, which the font then owns. On failure the
    // font keeps the face and bytes it had (none for a new font) and the
    // bytes given are freed. FreeType's result.
    FT_Error OpenFace(FT_Library library, std::unique_ptr<uint8_t[]> bytes, uint32_t size);
    // Null when no face is open.
    FT_Face GetFace() const { return m_face; }
    int32_t GetRefCount() const { return m_refCount; }

    // Closes the faces of every live font: called before the library goes,
    // which would otherwise leave them dangling.
    static void CloseAllFaces();

private:
    ~KVGUITtfFont() override;
    void CloseFace();

    int32_t m_refCount = 1;
    int32_t m_managerIndex = -1;
    std::string m_name;
    FT_Face m_face = nullptr;
    std::unique_ptr<uint8_t[]> m_bytes;
};

} // namespace kvl
