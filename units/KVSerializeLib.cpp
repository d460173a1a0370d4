// The "KVFileManager" script library of the serializer: files and
// directories through the file layer, the project's scene files and groups,
// whole-file copies and padded files.
#include <algorithm>
#include <memory>
#include <new>

#include "../KVLua/IKVLua.h"
#include "KVPaddedFile.h"
#include "KVSerialize.h"
#include "KVSerializeLuaFile.h"

namespace kvl {
namespace {

constexpr uint32_t kCopyBlockSize = 2048;

enum SortMode : int32_t { SORT_NONE = 0, SORT_NAME, SORT_DATE, SORT_SIZE, SORT_EXTENSION };

// What every function works with; false when the engine is not there.
struct Call {
    IKVLua* lua = nullptr;
    KVSerialize* serializer = nullptr;
    IKVFile* file = nullptr;

    // The binding and the serializer, with the argument count checked (and
    // the types of the leading arguments: 's' text, 'n' number, anything
    // else unchecked).
    bool Begin(int32_t count, bool atLeast, const char* types = "") {
        lua = GetLuaBinding();
        serializer = KVSerialize::Instance();
        if (!lua || !serializer) return false;
        file = serializer->GetFileInterface();
        if (lua->CheckArgCount(count, atLeast) != KV_OK) return false;
        for (int32_t i = 0; types[i]; ++i) {
            const ScriptType type = types[i] == 's' ? SCRIPT_STRING : types[i] == 'n' ? SCRIPT_NUMBER : SCRIPT_UNKNOWN;
            if (type != SCRIPT_UNKNOWN && lua->CheckArgType(i + 1, type) != KV_OK) return false;
        }
        return true;
    }

    // The same, for functions that need the file layer too.
    bool BeginWithFile(int32_t count, bool atLeast, const char* types = "") {
        return Begin(count, atLeast, types) && file != nullptr;
    }

    std::string Text(int32_t position) const { return lua->ToStdString(position); }

    // Backslashes become slashes in a copy: the script's own text is shared
    // by every equal text of the state and must not change.
    std::string Normalised(int32_t position) const {
        std::string path = Text(position);
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }

    std::string Resolve(const std::string& path) const {
        std::string out;
        serializer->MakeAbsolutePath(path, &out);
        return out;
    }

    int PushBoolean(bool flag) const {
        lua->PushBoolean(flag);
        return 1;
    }
};

int LuaGetKVLPath() {
    Call c;
    if (!c.Begin(1, false)) return 0;
    ScriptType type = SCRIPT_UNKNOWN;
    c.lua->GetArgType(1, &type);
    const int32_t index = type == SCRIPT_NUMBER ? c.lua->ToInteger(1) : c.serializer->FindKvlByTitle(c.Text(1));
    const KVKvlRecord* kvl = c.serializer->GetKvl(index);
    if (!kvl) {
        c.lua->ReportError("Kvl index out of range");
        return 0;
    }
    const size_t slash = kvl->path.rfind('/');
    std::string directory = slash == std::string::npos ? std::string() : kvl->path.substr(0, slash + 1);
    if (c.serializer->IsProjectOpened() && !directory.empty()) directory.pop_back();
    c.lua->PushString(directory.c_str());
    return 1;
}

int LuaGetKVLIndex() {
    Call c;
    if (!c.Begin(1, false, "s")) return 0;
    c.lua->PushInteger(c.serializer->FindKvlByTitle(c.Text(1)));
    return 1;
}

int LuaCreateDirectory() {
    Call c;
    if (!c.BeginWithFile(1, true, "s")) return 0;
    const std::string path = c.Resolve(c.Normalised(1));
    const bool wholeChain = c.lua->GetTop() >= 2 && c.lua->ToBoolean(2);
    return c.PushBoolean(c.file->MakeDirectory(path.c_str(), wholeChain ? 1 : 0) == KV_OK);
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

int32_t CompareFolded(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const uint8_t x = uint8_t(Fold(a[i]));
        const uint8_t y = uint8_t(Fold(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// From the last '.' to the end; a name without one has an empty extension.
std::string Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

template <class T>
int32_t Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int32_t CompareTimes(const KVFileTime& a, const KVFileTime& b) {
    if (int32_t r = Order(a.a, b.a)) return r;
    for (size_t i = 0; i < sizeof a.b; ++i) {
        if (int32_t r = Order(a.b[i], b.b[i])) return r;
    }
    return Order(a.c, b.c);
}

int32_t CompareEntries(const FileFindData& a, const FileFindData& b, int32_t mode) {
    const bool directoryA = (a.attributes & KVFILE_ATTR_DIRECTORY) != 0;
    const bool directoryB = (b.attributes & KVFILE_ATTR_DIRECTORY) != 0;
    if (directoryA != directoryB) return directoryA ? -1 : 1;
    switch (mode) {
    case SORT_NAME:
        return CompareFolded(a.name, b.name);
    case SORT_DATE:
        return CompareTimes(a.time, b.time);
    case SORT_SIZE:
        // Compared, not subtracted: sizes far apart would overflow a
        // difference and break the sort's ordering.
        return Order(a.size, b.size);
    case SORT_EXTENSION:
        return CompareFolded(Extension(a.name), Extension(b.name));
    default:
        return 0;
    }
}

bool SortModeOf(const std::string& option, int32_t* mode) {
    static const struct {
        const char* name;
        int32_t mode;
    } kOptions[] = {
        {"sort_by_name", SORT_NAME},       {"sort_by_date", SORT_DATE}, {"sort_by_size", SORT_SIZE},
        {"sort_by_extension", SORT_EXTENSION}, {"no_sort", SORT_NONE},
    };
    for (const auto& o : kOptions) {
        if (option == o.name) {
            *mode = o.mode;
            return true;
        }
    }
    return false;
}

int LuaFindFiles() {
    Call c;
    if (!c.BeginWithFile(1, true, "s")) return 0;
    int32_t mode = SORT_NONE;
    if (c.lua->GetTop() >= 2 && !SortModeOf(c.Text(2), &mode)) {
        c.lua->ReportError("invalid sort option");
        return 0;
    }
    const std::string pattern = c.Resolve(c.Normalised(1));
    std::vector<FileFindData> entries;
    FileFindData entry;
    if (KVFindHandle find = c.file->FindFirst(pattern.c_str(), &entry)) {
        entries.push_back(entry);
        while (c.file->FindNext(find, &entry) == KV_OK) entries.push_back(entry);
        c.file->FindClose(find);
    }
    if (mode != SORT_NONE) {
        std::sort(entries.begin(), entries.end(), [mode](const FileFindData& a, const FileFindData& b) {
            return CompareEntries(a, b, mode) < 0;
        });
    }
    c.lua->NewTable();
    for (size_t i = 0; i < entries.size(); ++i) {
        c.lua->PushNumber(double(i + 1));
        c.lua->PushString(entries[i].name.c_str());
        c.lua->SetTable();
    }
    return 1;
}

void AppendWord(IKVLua* lua, int32_t* count, const char* word) {
    lua->PushInteger(++*count);
    lua->PushString(word);
    lua->SetTable();
}

int LuaGetFileAttributes() {
    Call c;
    if (!c.BeginWithFile(1, false)) return 0;
    const std::string path = c.Normalised(1);
    c.lua->NewTable();
    uint32_t bits = 0;
    int32_t count = 0;
    if (c.file->GetFileAttributes(path.c_str(), &bits) != KV_OK) {
        AppendWord(c.lua, &count, "error");
        return 1;
    }
    if (bits & KVFILE_ATTR_DIRECTORY) AppendWord(c.lua, &count, "directory");
    if (bits & KVFILE_ATTR_READONLY) AppendWord(c.lua, &count, "read_only");
    return 1;
}

int LuaExtractFileName() {
    Call c;
    if (!c.Begin(1, false)) return 0;
    std::string title;
    c.serializer->GetFileTitle(c.Normalised(1), &title);
    c.lua->PushString(title.c_str());
    return 1;
}

int LuaDeleteFile() {
    Call c;
    if (!c.BeginWithFile(1, false)) return 0;
    return c.PushBoolean(c.file->DeleteFile(c.Resolve(c.Normalised(1)).c_str()) == KV_OK);
}

int LuaDeleteDirectory() {
    Call c;
    if (!c.BeginWithFile(1, false)) return 0;
    return c.PushBoolean(c.file->RemoveDirectory(c.Resolve(c.Normalised(1)).c_str()) == KV_OK);
}

int LuaGetDriveType() {
    Call c;
    if (!c.BeginWithFile(1, false)) return 0;
    int32_t kind = 0;
    const char* name = "";
    if (c.file->GetDriveType(c.Text(1).c_str(), &kind) == KV_OK) name = kind == 1 ? "hdd" : kind == 2 ? "cdrom" : "";
    c.lua->PushString(name);
    return 1;
}

int LuaGetDriveLabel() {
    Call c;
    if (!c.BeginWithFile(1, false)) return 0;
    std::string label;
    c.file->GetDriveLabel(c.Text(1).c_str(), &label);
    c.lua->PushString(label.c_str());
    return 1;
}

// A buffer for a whole file, or null when memory is short.
std::unique_ptr<uint8_t[]> FileBuffer(uint32_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size ? size : 1]);
}

int LuaLoadInCache() {
    Call c;
    if (!c.BeginWithFile(1, false)) return 0;
    const std::string path = c.Resolve(c.Normalised(1));
    KVFileHandle handle = nullptr;
    if (c.file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK) {
        c.lua->ReportErrorAt("Unable to open " + path);
        return 0;
    }
    const uint32_t size = c.file->GetSize(handle);
    if (std::unique_ptr<uint8_t[]> buffer = FileBuffer(size)) c.file->Read(handle, buffer.get(), size, nullptr);
    c.file->Close(handle);
    return 0;
}

int LuaFileExists() {
    Call c;
    if (!c.BeginWithFile(1, false, "s")) return 0;
    return c.PushBoolean(c.file->Exists(c.Normalised(1).c_str()) != 0);
}

// A group by index or by name; -1 after a report.
int32_t GroupArgument(const Call& c) {
    ScriptType type = SCRIPT_UNKNOWN;
    c.lua->GetArgType(1, &type);
    int32_t group = -1;
    if (type == SCRIPT_NUMBER) {
        group = c.lua->ToInteger(1);
    } else if (type == SCRIPT_STRING) {
        group = c.serializer->FindGroup(c.Text(1));
    } else {
        c.lua->ArgumentError(1);
        return -1;
    }
    // Numbers are checked as names are: no index outside the group list
    // reaches the serializer.
    if (group < 0 || size_t(group) >= c.serializer->GetGroups().size()) {
        c.lua->ReportError("Unknown group");
        return -1;
    }
    return group;
}

int LuaLoadGroup() {
    Call c;
    if (!c.Begin(1, false)) return 0;
    const int32_t group = GroupArgument(c);
    if (group >= 0) c.serializer->LoadGroup(group);
    return 0;
}

int LuaUnloadGroup() {
    Call c;
    if (!c.Begin(1, false)) return 0;
    const int32_t group = GroupArgument(c);
    if (group >= 0) c.serializer->UnloadGroup(group);
    return 0;
}

int LuaOpen() {
    Call c;
    if (!c.Begin(2, false, "ss")) return 0;
    KVSerializeLuaFile* file = KVSerializeLuaFile::Open(c.Resolve(c.Text(1)), c.Text(2));
    if (!file || KVSerializeLuaFile::Push(c.lua, file) != KV_OK) c.lua->PushNil();
    return 1;
}

// The two files of a copy; both opened or neither (after a report).
struct FilePair {
    IKVFile* file;
    KVFileHandle source = nullptr;
    KVFileHandle destination = nullptr;

    explicit FilePair(IKVFile* layer) : file(layer) {}
    ~FilePair() {
        if (source) file->Close(source);
        if (destination) file->Close(destination);
    }

    bool OpenSource(IKVLua* lua, const std::string& path) {
        if (file->Open(path.c_str(), KVFILE_READ, &source) == KV_OK && source) return true;
        source = nullptr;
        lua->ReportError("Unable to open source file");
        return false;
    }

    bool OpenDestination(IKVLua* lua, const std::string& path) {
        if (file->Open(path.c_str(), KVFILE_WRITE, &destination) == KV_OK && destination) return true;
        destination = nullptr;
        lua->ReportError("Unable to open destination file");
        return false;
    }

    // True when all the bytes reached the destination.
    bool Write(const uint8_t* data, uint32_t count) {
        uint32_t written = 0;
        return file->Write(destination, data, count, &written, 0) == KV_OK && written == count;
    }
};

int LuaCopyFile() {
    Call c;
    if (!c.BeginWithFile(2, false, "ss")) return 0;
    FilePair files(c.file);
    if (!files.OpenSource(c.lua, c.Resolve(c.Text(1)))) return c.PushBoolean(false);
    if (!files.OpenDestination(c.lua, c.Resolve(c.Text(2)))) return c.PushBoolean(false);
    // Read until a read gives less than a block (at the end it gives none,
    // IKVFile.h): the copy is whole when every byte of the source was read
    // and written.
    const uint32_t size = c.file->GetSize(files.source);
    uint8_t block[kCopyBlockSize];
    uint64_t copied = 0;
    bool written = true;
    uint32_t got = 0;
    do {
        got = 0;
        c.file->Read(files.source, block, kCopyBlockSize, &got);
        got = std::min(got, kCopyBlockSize);
        if (got != 0 && !files.Write(block, got)) written = false;
        copied += got;
    } while (got == kCopyBlockSize && written);
    return c.PushBoolean(written && copied == size);
}

int LuaPadFile() {
    Call c;
    if (!c.BeginWithFile(3, false, "ssn")) return 0;
    FilePair files(c.file);
    if (!files.OpenSource(c.lua, c.Resolve(c.Text(1)))) return c.PushBoolean(false);
    const uint32_t length = c.file->GetSize(files.source);
    const int32_t size = c.lua->ToInteger(3);
    if (int64_t(size) < int64_t(length) + kPaddedTrailerSize) {
        c.lua->ReportError("Input File size is too big");
        return c.PushBoolean(false);
    }
    std::unique_ptr<uint8_t[]> image = uint32_t(size) <= kPaddedMaxSize ? FileBuffer(uint32_t(size)) : nullptr;
    if (!image) {
        c.lua->ReportError("Padded size is too large");
        return c.PushBoolean(false);
    }
    if (!files.OpenDestination(c.lua, c.Resolve(c.Text(2)))) return c.PushBoolean(false);
    // An empty source has nothing to read; the file layer fails a read of no
    // bytes.
    uint32_t got = 0;
    if (length != 0 && (c.file->Read(files.source, image.get(), length, &got) != KV_OK || got != length)) {
        return c.PushBoolean(false);
    }
    FinishPaddedImage(image.get(), uint32_t(size), length);
    return c.PushBoolean(files.Write(image.get(), uint32_t(size)));
}

int LuaUnpadFile() {
    Call c;
    if (!c.BeginWithFile(2, false, "ss")) return 0;
    FilePair files(c.file);
    if (!files.OpenSource(c.lua, c.Resolve(c.Text(1)))) return c.PushBoolean(false);
    const uint32_t size = c.file->GetSize(files.source);
    if (size < kPaddedTrailerSize) {
        c.lua->ReportError("Source file is too small");
        return c.PushBoolean(false);
    }
    if (!files.OpenDestination(c.lua, c.Resolve(c.Text(2)))) return c.PushBoolean(false);
    std::unique_ptr<uint8_t[]> image = FileBuffer(size);
    uint32_t got = 0;
    uint32_t length = 0;
    if (!image || c.file->Read(files.source, image.get(), size, &got) != KV_OK || got != size ||
        !CheckPaddedImage(image.get(), size, &length)) {
        return c.PushBoolean(false);
    }
    // An empty content leaves the destination empty; the file layer fails a
    // write of no bytes.
    return c.PushBoolean(length == 0 || files.Write(image.get(), length));
}

int LuaCheckWriteSpace() {
    Call c;
    if (!c.BeginWithFile(3, false, "snn")) return 0;
    const uint32_t a = uint32_t(c.lua->ToInteger(2));
    const uint32_t b = uint32_t(c.lua->ToInteger(3));
    return c.PushBoolean(c.file->CheckWriteSpace(c.Text(1).c_str(), a, b) != 0);
}

int LuaGetLastError() {
    Call c;
    if (!c.BeginWithFile(0, true)) return 0;
    if (const char* text = c.file->GetLastError()) {
        c.lua->PushString(text);
    } else {
        c.lua->PushNil();
    }
    return 1;
}

const KVLuaFunctionEntry kFileManagerFunctions[] = {
    {"GetKVLPath", LuaGetKVLPath},
    {"GetKVLIndex", LuaGetKVLIndex},
    {"CreateDirectory", LuaCreateDirectory},
    {"FindFiles", LuaFindFiles},
    {"GetFileAttributes", LuaGetFileAttributes},
    {"ExtractFileName", LuaExtractFileName},
    {"DeleteFile", LuaDeleteFile},
    {"DeleteDirectory", LuaDeleteDirectory},
    {"GetDriveType", LuaGetDriveType},
    {"GetDriveLabel", LuaGetDriveLabel},
    {"LoadInCache", LuaLoadInCache},
    {"FileExists", LuaFileExists},
    {"LoadGroup", LuaLoadGroup},
    {"UnloadGroup", LuaUnloadGroup},
    {"Open", LuaOpen},
    {"CopyFile", LuaCopyFile},
    {"PadFile", LuaPadFile},
    {"UnpadFile", LuaUnpadFile},
    {"CheckWriteSpace", LuaCheckWriteSpace},
    {"GetLastError", LuaGetLastError},
    {nullptr, nullptr},
};

} // namespace

int32_t KVSerialize::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFileManagerFunctions;
    return KV_OK;
}

} // namespace kvl
