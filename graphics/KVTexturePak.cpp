#include "KVTexturePak.h"

#include <algorithm>
#include <cstring>

#include "../KVLua/IKVLua.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVPath.h"
#include "KVGraphic.h"

namespace kvl {
namespace {

const char kDescriptorName[] = "sprpaks/paks.desc";
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kRecordSize = 64;

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t S32(const uint8_t* p) {
    const uint32_t v = U32(p);
    return v <= uint32_t(INT32_MAX) ? int32_t(v) : -int32_t(~v) - 1;
}

// A fixed text field: up to its first NUL, never past the field.
std::string Field(const uint8_t* p, size_t length) {
    size_t n = 0;
    while (n < length && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

bool ReadExact(IKVFile* file, KVFileHandle handle, void* buffer, uint32_t count) {
    if (count == 0) return true;
    uint32_t got = 0;
    return file->Read(handle, buffer, count, &got) == KV_OK && got == count;
}

} // namespace

KVTexturePak::~KVTexturePak() {
    UnloadAll();
    // The binding must not publish a library that is gone.
    if (m_libraryRegistered) {
        if (IKVLua* lua = GetLuaBinding()) lua->UnregisterLibrary("KVTexturePak");
    }
}

void KVTexturePak::LogInvalid() const {
    if (IKVLog* log = GetLog()) log->WriteString(std::string(kDescriptorName) + " is an invalid file", KVLOG_ERROR, 0);
}

std::string KVTexturePak::KeyOf(const std::string& name) {
    std::string key = MakeRelativePath(GetProjectDirectory(), name);
    const size_t dot = key.rfind('.');
    if (dot != std::string::npos) key.erase(dot);
    return key;
}

void KVTexturePak::LoadDescriptor() {
    if (!m_libraryRegistered) {
        if (IKVLua* lua = GetLuaBinding()) {
            lua->RegisterLibrary("KVTexturePak", this);
            m_libraryRegistered = true;
        }
    }
    if (!m_readerRegistered) {
        if (IKVResourceManager* manager = KVGraphic::ResourceManager()) {
            manager->RegisterSpecialReader(this);
            m_readerRegistered = true;
        }
    }
    m_busy = false;
    UnloadAll();

    IKVFile* file = m_file ? m_file : QueryCoreInterface<IKVFile>(IID_IKVFile);
    if (!file) return;
    const std::string path = MakeAbsolutePath(GetProjectDirectory(), kDescriptorName);
    KVFileHandle handle = nullptr;
    if (file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) return;

    uint8_t header[kHeaderSize] = {};
    if (!ReadExact(file, handle, header, kHeaderSize) || U32(header) != kMagic || U32(header + 4) != kFormat ||
        header[8] != kVersion) {
        LogInvalid();
        file->Close(handle);
        return;
    }
    // Paks are read until the count is reached or the file ends; a pak whose
    // table does not hold together is dropped.
    const uint32_t count = U32(header + 12);
    for (uint32_t i = 0; i < count; ++i) {
        auto pak = std::make_unique<Pak>();
        bool valid = false;
        if (!ReadPak(file, handle, pak.get(), &valid)) {
            LogInvalid();
            break;
        }
        if (!valid) {
            LogInvalid();
            continue;
        }
        m_paks.push_back(std::move(pak));
        if (m_paks.back()->loadMode == 1) LoadPages(*m_paks.back());
    }
    file->Close(handle);
}

bool KVTexturePak::ReadPak(IKVFile* file, KVFileHandle handle, Pak* pak, bool* valid) {
    uint8_t record[kRecordSize] = {};
    if (!ReadExact(file, handle, record, kRecordSize)) return false;
    const uint32_t pages = U32(record);
    const uint32_t images = U32(record + 4);
    const uint32_t sheets = U32(record + 8);
    const uint32_t rects = U32(record + 12);
    const uint32_t length = U32(record + 16);
    // The block cannot be longer than what is left of the file.
    const int32_t at = file->Tell(handle);
    const uint32_t size = file->GetSize(handle);
    if (at < 0 || uint32_t(at) > size || length > size - uint32_t(at)) return false;
    std::vector<uint8_t> block(length);
    if (!ReadExact(file, handle, block.data(), length)) return false;
    pak->pageCount = pages;
    pak->loadMode = record[20];
    pak->extension = Field(record + 24, 8);
    pak->name = Field(record + 32, 32);
    *valid = pages <= kMaxPages && ParseBlock(block, images, sheets, rects, pak);
    return true;
}

bool KVTexturePak::ParseBlock(const std::vector<uint8_t>& block, uint32_t images, uint32_t sheets, uint32_t rects,
                              Pak* pak) {
    const uint64_t N = images, M = sheets, U = rects, length = block.size();
    const uint8_t* b = block.data();
    const uint64_t rectAt = 16 * N;
    const uint64_t pageAt = rectAt + 16 * U;
    const uint64_t sheetAt = pageAt + 4 * U;
    const uint64_t indexAt = sheetAt + 16 * M;
    if (indexAt > length) return false;
    uint64_t subCount = 0, indexCount = 0;
    for (uint64_t k = 0; k < M; ++k) {
        subCount += U32(b + sheetAt + 16 * k + 8);
        indexCount += U32(b + sheetAt + 16 * k + 12);
    }
    const uint64_t yAt = indexAt + 4 * indexCount;
    const uint64_t namesAt = yAt + subCount;
    if (namesAt > length || N + subCount > U) return false;
    for (uint64_t r = 0; r < N + subCount; ++r)
        if (U32(b + pageAt + 4 * r) >= pak->pageCount) return false;

    // N image names, then M sheet names, each ending inside the block.
    std::vector<std::string> names;
    uint64_t at = namesAt;
    for (uint64_t n = 0; n < N + M; ++n) {
        const void* end = std::memchr(b + at, 0, size_t(length - at));
        if (!end) return false;
        const size_t nameLength = size_t(static_cast<const uint8_t*>(end) - (b + at));
        if (nameLength > kMaxNameLength) return false;
        names.emplace_back(reinterpret_cast<const char*>(b + at), nameLength);
        at += nameLength + 1;
    }

    auto rectOf = [&](uint64_t r) {
        const uint8_t* p = b + rectAt + 16 * r;
        return KVDeviceRect{S32(p), S32(p + 4), S32(p + 8), S32(p + 12)};
    };
    for (uint64_t i = 0; i < N; ++i) {
        ImageEntry entry;
        entry.page = U32(b + pageAt + 4 * i);
        entry.rect = rectOf(i);
        entry.size[0] = S32(b + 8 * i);
        entry.size[1] = S32(b + 8 * i + 4);
        entry.offset[0] = S32(b + 8 * N + 8 * i);
        entry.offset[1] = S32(b + 8 * N + 8 * i + 4);
        pak->images.Insert(names[size_t(i)], entry);
    }
    uint64_t rect = N, index = 0, y = 0;
    for (uint64_t k = 0; k < M; ++k) {
        const uint8_t* s = b + sheetAt + 16 * k;
        SheetEntry sheet;
        sheet.width = S32(s);
        sheet.height = S32(s + 4);
        const uint32_t subs = U32(s + 8), indices = U32(s + 12);
        for (uint32_t c = 0; c < subs; ++c, ++rect, ++y)
            sheet.subImages.push_back({U32(b + pageAt + 4 * rect), rectOf(rect), b[yAt + y]});
        for (uint32_t c = 0; c < indices; ++c, ++index) {
            const int32_t entry = S32(b + indexAt + 4 * index);
            // A number may only name one of the sheet's own sub-images.
            if (entry >= int32_t(std::min<uint32_t>(subs, INT32_MAX))) return false;
            sheet.index.push_back(entry);
        }
        pak->sheets.Insert(names[size_t(N + k)], sheet);
    }
    return true;
}

void KVTexturePak::LoadPages(Pak& pak) {
    m_busy = true;
    UnloadPages(pak);
    KVGraphic* graphic = KVGraphic::Instance();
    for (uint32_t i = 0; i < pak.pageCount; ++i) {
        const std::string file = "sprpaks/" + pak.name + Format("{0}.", FormatValue(i)) + pak.extension;
        const std::string full = MakeAbsolutePath(GetProjectDirectory(), file);
        IKVResourceTexture* page = nullptr;
        if (graphic) graphic->CreateTextureFromFile(full.c_str(), nullptr, &page, 17);
        pak.pages.push_back(page);
    }
    m_busy = false;
    pak.loaded = true;
}

void KVTexturePak::UnloadPages(Pak& pak) {
    for (IKVResourceTexture* page : pak.pages)
        if (page) page->Release();
    pak.pages.clear();
    pak.loaded = false;
}

void KVTexturePak::UnloadAll() {
    for (auto& pak : m_paks)
        if (pak->loaded) UnloadPages(*pak);
    m_paks.clear();
}

template <class Entry>
KVTexturePak::Pak* KVTexturePak::FindHolder(const std::string& name, NameTrie<Entry> Pak::*trie, Entry* entry) {
    if (m_paks.empty() || m_busy) return nullptr;
    const std::string key = KeyOf(name);
    for (auto& pak : m_paks) {
        if (!IsSearched(*pak)) continue;
        auto found = ((*pak).*trie).Find(key);
        if (found.Empty()) continue;
        *entry = found.Value();
        if (!pak->loaded) LoadPages(*pak);
        return pak.get();
    }
    return nullptr;
}

bool KVTexturePak::FindImage(const std::string& name, KVPakImage* out) {
    ImageEntry entry;
    Pak* pak = FindHolder(name, &Pak::images, &entry);
    if (!pak) return false;
    // The search stops at this pak, even when the page is missing.
    IKVResourceTexture* page = entry.page < pak->pages.size() ? pak->pages[entry.page] : nullptr;
    if (!page) return false;
    if (out) {
        out->page = page;
        out->rect = entry.rect;
        out->offset[0] = entry.offset[0];
        out->offset[1] = entry.offset[1];
        out->size[0] = entry.size[0];
        out->size[1] = entry.size[1];
    }
    return true;
}

bool KVTexturePak::FindSheet(const std::string& name, KVPakSheet* out) {
    SheetEntry entry;
    Pak* pak = FindHolder(name, &Pak::sheets, &entry);
    if (!pak) return false;
    if (out) {
        out->subImages.clear();
        for (const SubEntry& sub : entry.subImages) {
            IKVResourceTexture* page = sub.page < pak->pages.size() ? pak->pages[sub.page] : nullptr;
            out->subImages.push_back({page, sub.rect, sub.yOffset});
        }
        out->index = entry.index;
        out->width = entry.width;
        out->height = entry.height;
    }
    return true;
}

int32_t KVTexturePak::Exists(const char* path) {
    if (m_paks.empty() || m_busy || !path) return 0;
    const std::string key = KeyOf(path);
    for (auto& pak : m_paks) {
        if (!pak->loaded) continue;
        if (!pak->images.Find(key).Empty() || !pak->sheets.Find(key).Empty()) return 1;
    }
    return 0;
}

KVTexturePak::Pak* KVTexturePak::FindPakNamed(const std::string& name) {
    for (auto& pak : m_paks)
        if (pak->name == name) return pak.get();
    return nullptr;
}

const char* KVTexturePak::LoadPakByName(const std::string& name) {
    Pak* pak = FindPakNamed(name);
    if (!pak) return "Invalid texture pak name";
    if (pak->loaded) return "Texture pak is already loaded";
    LoadPages(*pak);
    return nullptr;
}

const char* KVTexturePak::UnloadPakByName(const std::string& name) {
    Pak* pak = FindPakNamed(name);
    if (!pak) return "Invalid texture pak name";
    if (!pak->loaded) return "Texture pak is not loaded";
    UnloadPages(*pak);
    return nullptr;
}

} // namespace kvl
