#include "KVGUI.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MODULE_H

#include "../kernel/IKVLog.h"
#include "../kernel/KVPlatformInfo.h"
#include "../kernel/KVResources.h"
#include "IKVDataResourceReader.h"
#include "KVGUITtfFont.h"
#include "KVGUITtfReader.h"

namespace kvl {
namespace {

KVGUI::Allocator g_allocate = &MemAlloc;

void* FontAlloc(FT_Memory, long size) {
    if (size <= 0) return nullptr;
    void* block = g_allocate(size_t(size));
    if (block) std::memset(block, 0, size_t(size));
    return block;
}

void FontFree(FT_Memory, void* block) { MemFree(block); }

void* FontRealloc(FT_Memory, long, long newSize, void* block) {
    if (newSize <= 0) return nullptr;
    return MemRealloc(block, size_t(newSize));
}

void LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteStringLevel(text, KVLOG_ERROR);
}

} // namespace

KVGUI::KVGUI() = default;

KVGUI::~KVGUI() {
    // Normally gone in phase 4 already.
    delete KVGUITtfReader::Instance();
    DestroyLibrary();
}

void KVGUI::SetAllocator(Allocator allocate) { g_allocate = allocate ? allocate : &MemAlloc; }

int32_t KVGUI::Init(int32_t phase) {
    if (phase == 0) {
        CreateLibrary();
        if (!KVGUITtfReader::Instance()) new KVGUITtfReader();
    } else if (phase == 2) {
        if (KVGUITtfReader* reader = KVGUITtfReader::Instance()) {
            if (KVResources* manager = KVResources::Instance()) manager->RegisterReader(reader);
            reader->AttachFileInterface();
        }
    }
    return KV_OK;
}

int32_t KVGUI::Release(int32_t phase) {
    if (phase == 4) {
        delete KVGUITtfReader::Instance();
        DestroyLibrary();
    }
    return KV_OK;
}

void KVGUI::CreateLibrary() {
    if (m_library) return;
    if (!m_memory) {
        m_memory = new FT_MemoryRec_;
        m_memory->user = nullptr;
        m_memory->alloc = &FontAlloc;
        m_memory->free = &FontFree;
        m_memory->realloc = &FontRealloc;
    }
    FT_Library library = nullptr;
    if (FT_New_Library(m_memory, &library) != 0 || !library) {
        // Phase 0 still succeeds: the game runs, its fonts fail to load.
        LogError("Unable to create the font library");
        return;
    }
    FT_Add_Default_Modules(library);
    m_library = library;
}

void KVGUI::DestroyLibrary() {
    if (m_library) {
        KVGUITtfFont::CloseAllFaces();
        // The library alone: the memory record is ours to free, not the
        // font engine's.
        FT_Done_Library(m_library);
        m_library = nullptr;
    }
    delete m_memory;
    m_memory = nullptr;
}

int32_t KVGUI::NeedsRebuild(IKVResource*) { return 0; }

int32_t KVGUI::CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource,
                              int32_t* managed, uint32_t* size) {
    return LoadTtfFont(path, reader, resource, managed, size);
}

int32_t KVGUI::LoadTtfFont(const char* path, IKVResourceReader* reader, IKVResource** resource,
                           int32_t* managed, uint32_t* size) {
    const std::string name = path ? path : "";
    void* found = nullptr;
    IKVDataResourceReader* data = nullptr;
    if (reader && reader->QueryInterface(IID_IKVDataResourceReader, &found) == KV_OK)
        data = static_cast<IKVDataResourceReader*>(found);
    void* handle = nullptr;
    if (!data || !path || data->Open(path, &handle) != KV_OK || !handle) {
        LogError("Unable to open " + name);
        return KV_FAILED;
    }

    const uint32_t n = data->GetSize(handle);
    std::unique_ptr<uint8_t[]> bytes(n > 0 ? new (std::nothrow) uint8_t[n] : nullptr);
    bool ok = bytes && data->Read(handle, bytes.get(), n) == KV_OK;

    // A reload (editor) opens the new face in the font it already is.
    KVGUITtfFont* existing = resource ? dynamic_cast<KVGUITtfFont*>(*resource) : nullptr;
    KVGUITtfFont* font = nullptr;
    if (ok) {
        font = existing ? existing : new KVGUITtfFont(name);
        ok = font->OpenFace(m_library, std::move(bytes), n) == 0;
    }
    data->Close(handle);
    if (!ok) {
        // The bytes have one owner: freed once, here or with the font.
        if (font && font != existing) font->Release();
        LogError("Error while loading " + name);
        return KV_FAILED;
    }
    if (resource) *resource = font;
    if (managed) *managed = 1;
    if (size) *size = n;
    return KV_OK;
}

int32_t KVGUI::LoadFont(const char* path, KVGUITtfFont** out) {
    if (out) *out = nullptr;
    KVResources* manager = KVResources::Instance();
    if (!manager || !path || !out) return KV_FAILED;
    IKVResource* resource = nullptr;
    if (manager->Load(path, this, nullptr, &resource, KVRESOURCE_WATCH_FILE) != KV_OK || !resource) return KV_FAILED;
    // A path first loaded as another kind of resource is no font.
    KVGUITtfFont* font = dynamic_cast<KVGUITtfFont*>(resource);
    if (!font) {
        resource->Release();
        return KV_FAILED;
    }
    *out = font;
    return KV_OK;
}

} // namespace kvl
