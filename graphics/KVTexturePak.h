#pragma once
// Texture paks: many small pictures packed into a few page images. The
// descriptor "sprpaks/paks.desc" lists every pak with its pages, its named
// images (rectangles on pages, trimmed, with the offset and full size to
// draw them untrimmed) and its sheets (numbered sub-image sets). The texture
// producer asks the paks for a name before it reads any file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "../kernel/IKVFile.h"
#include "../kernel/IKVResource.h"
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"
#include "../units/NameTrie.h"
#include "KVResourceTexture.h"

namespace kvl {

// A pak image as handed to the texture producer.
struct KVPakImage {
    IKVResourceTexture* page = nullptr;  // no reference added
    KVDeviceRect rect = {0, 0, 0, 0};    // in page pixels
    int32_t offset[2] = {0, 0};
    int32_t size[2] = {0, 0};  // full, untrimmed size
};

// A pak sheet as handed to the texture producer: sub-images whose page
// pointers are the pak's page textures (no reference added; null for a page
// that failed to load).
struct KVPakSheet {
    std::vector<KVSubImage> subImages;
    std::vector<int32_t> index;
    int32_t width = 0;
    int32_t height = 0;
};

class KVTexturePak : public Singleton<KVTexturePak>, public KVLuaLibrary, public IKVSpecialResourceReader {
public:
    static constexpr uint32_t kMagic = 0x09633068u;
    static constexpr uint32_t kFormat = 0x0042B310u;
    static constexpr uint8_t kVersion = 4;
    // Pages of one pak beyond this are taken for a damaged descriptor.
    static constexpr uint32_t kMaxPages = 4096;
    // Names longer than any path are taken for a damaged descriptor.
    static constexpr size_t kMaxNameLength = 4096;

    KVTexturePak() = default;
    ~KVTexturePak() override;

    // Start-up: registers the script library and the special reader, then
    // reads "sprpaks/paks.desc" under the data root (no file: no paks).
    void LoadDescriptor();
    bool FindImage(const std::string& name, KVPakImage* out);
    bool FindSheet(const std::string& name, KVPakSheet* out);
    // Whether a loaded pak holds an image or a sheet of that name.
    int32_t Exists(const char* path) override;
    // Releases every page and forgets every pak.
    void UnloadAll();

    // The script functions' work; they report the texts they return.
    const char* LoadPakByName(const std::string& name);
    const char* UnloadPakByName(const std::string& name);

    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // The key a texture name is looked up by: relative to the data root,
    // without extension.
    static std::string KeyOf(const std::string& name);

    // What tests look at.
    size_t GetPakCount() const { return m_paks.size(); }
    const std::string& GetPakName(size_t index) const { return m_paks[index]->name; }
    bool IsLoaded(size_t index) const { return m_paks[index]->loaded; }
    uint8_t GetLoadMode(size_t index) const { return m_paks[index]->loadMode; }
    IKVResourceTexture* GetPage(size_t pak, size_t page) const {
        const Pak& p = *m_paks[pak];
        return page < p.pages.size() ? p.pages[page] : nullptr;
    }

    // Seam: the file layer (instead of asking the core).
    void SetFileInterface(IKVFile* file) { m_file = file; }

private:
    struct ImageEntry {
        uint32_t page = 0;
        KVDeviceRect rect = {0, 0, 0, 0};
        int32_t offset[2] = {0, 0};
        int32_t size[2] = {0, 0};
    };
    struct SubEntry {
        uint32_t page = 0;
        KVDeviceRect rect = {0, 0, 0, 0};
        uint8_t yOffset = 0;
    };
    struct SheetEntry {
        std::vector<SubEntry> subImages;
        std::vector<int32_t> index;
        int32_t width = 0;
        int32_t height = 0;
    };
    struct Pak {
        uint32_t pageCount = 0;
        uint8_t loadMode = 0;
        std::string extension;
        std::string name;
        NameTrie<ImageEntry> images;
        NameTrie<SheetEntry> sheets;
        std::vector<IKVResourceTexture*> pages;  // one reference each
        bool loaded = false;
    };

    // Reads one pak record and its table block; false when the file ends
    // first. *valid is false when the block does not hold together.
    bool ReadPak(IKVFile* file, KVFileHandle handle, Pak* pak, bool* valid);
    static bool ParseBlock(const std::vector<uint8_t>& block, uint32_t images, uint32_t sheets, uint32_t rects,
                           Pak* pak);
    void LoadPages(Pak& pak);
    void UnloadPages(Pak& pak);
    Pak* FindPakNamed(const std::string& name);
    // Paks searched by name: loaded ones and those loaded on demand.
    bool IsSearched(const Pak& pak) const { return pak.loaded || pak.loadMode == 0; }
    // The first searched pak whose trie holds the name's key, its pages
    // loaded, with a copy of the entry; null when none does.
    template <class Entry>
    Pak* FindHolder(const std::string& name, NameTrie<Entry> Pak::*trie, Entry* entry);
    void LogInvalid() const;

    IKVFile* m_file = nullptr;
    std::vector<std::unique_ptr<Pak>> m_paks;
    bool m_busy = false;
    bool m_libraryRegistered = false;
    bool m_readerRegistered = false;
};

} // namespace kvl
