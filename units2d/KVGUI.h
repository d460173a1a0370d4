#pragma once
// The GUI module: owns the font engine, reads TrueType fonts as resources of
// kind "ttf", loads them for text units, and runs the one text layout of the
// engine on its own scratch lists.
#include <cstddef>
#include <vector>

#include "../kernel/IKVModule.h"
#include "../kernel/IKVResource.h"
#include "../kernel/Singleton.h"
#include "KVGUITextProvider.h"

struct FT_LibraryRec_;
struct FT_MemoryRec_;

namespace kvl {

class KVGUITtfFont;

class KVGUI : public Singleton<KVGUI>, public IKVModule, public IKVResourceProducer {
public:
    // The engine allocation behind the font engine's memory record.
    using Allocator = void* (*)(size_t size);

    KVGUI();
    ~KVGUI() override;

    // IKVModule
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // IKVResourceProducer: fonts are never rebuilt; CreateResource is
    // LoadTtfFont.
    int32_t NeedsRebuild(IKVResource* resource) override;
    int32_t CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource, int32_t* managed,
                           uint32_t* size) override;
    int32_t LoadTtfFont(const char* path, IKVResourceReader* reader, IKVResource** resource, int32_t* managed,
                        uint32_t* size);

    // Loads the font of an already resolved path through the resource
    // manager, shared between callers: 0 with one reference for the caller,
    // or 1 with null.
    int32_t LoadFont(const char* path, KVGUITtfFont** out);

    // Lays the provider's text out into the caller's layout; always 0.
    // U+FEFF (a UTF-8 file's signature, which TrueType texts keep) is taken
    // as a control character: no glyph, no advance, no part of the box.
    int32_t LayoutText(const TextLayoutParams& params, KVGUITextProvider* provider, TextLayout* out);

    // Null until phase 0 made it, and when it could not be made.
    FT_LibraryRec_* GetLibrary() const { return m_library; }

    // Test seam: the allocation the next phase 0 gives the font engine.
    static void SetAllocator(Allocator allocate);

private:
    struct LayoutGlyph {
        KVGlyphRect source;
        int32_t x;
        int32_t y;
        int32_t charIndex;
        uint8_t wordStart;
    };

    void CreateLibrary();
    void DestroyLibrary();

    FT_MemoryRec_* m_memory = nullptr;
    FT_LibraryRec_* m_library = nullptr;

    // Layout scratch: one layout at a time, each call overwrites it.
    std::vector<std::vector<LayoutGlyph>> m_lines;
    std::vector<int32_t> m_lineWidths;
    std::vector<int32_t> m_lineWordStarts;
};

} // namespace kvl
