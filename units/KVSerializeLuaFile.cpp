#include "KVSerializeLuaFile.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "../kernel/KVCore.h"
#include "KVPaddedFile.h"
#include "KVSerialize.h"

namespace kvl {
namespace {

// The file layer of the engine; hosts without a core lend the serializer's.
IKVFile* FileLayer() {
    if (IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile)) return file;
    KVSerialize* serializer = KVSerialize::Instance();
    return serializer ? serializer->GetFileInterface() : nullptr;
}

// Appending keeps what the file holds: an existing file is opened for update
// and written at its end, a missing one is created.
int32_t OpenForAppend(IKVFile* file, const std::string& path, KVFileHandle* handle) {
    if (!file->Exists(path.c_str())) return file->Open(path.c_str(), KVFILE_WRITE, handle);
    const int32_t status = file->Open(path.c_str(), KVFILE_UPDATE, handle);
    if (status == KV_OK) file->Seek(*handle, 0, 2);
    return status;
}

} // namespace

KVSerializeLuaFile::~KVSerializeLuaFile() { Close(); }

KVSerializeLuaFile* KVSerializeLuaFile::Open(const std::string& path, const std::string& modeText) {
    IKVFile* file = FileLayer();
    if (!file) return nullptr;
    const char first = modeText.empty() ? '\0' : modeText[0];
    const int32_t mode = first == 'r' ? MODE_READ : MODE_WRITE;
    std::string resolved = path;
    if (KVSerialize* serializer = KVSerialize::Instance()) serializer->MakeAbsolutePath(path, &resolved);

    KVFileHandle handle = nullptr;
    int32_t status = KV_FAILED;
    if (mode == MODE_READ) {
        status = file->Open(resolved.c_str(), KVFILE_READ, &handle);
    } else {
        // A bare file name has no directory to make.
        const size_t slash = resolved.rfind('/');
        const std::string directory = slash == std::string::npos ? std::string() : resolved.substr(0, slash + 1);
        if (directory.empty() || file->MakeDirectory(directory.c_str(), 1) == KV_OK) {
            status = first == 'a' ? OpenForAppend(file, resolved, &handle)
                                  : file->Open(resolved.c_str(), KVFILE_WRITE, &handle);
        }
    }
    if (status != KV_OK || !handle) return nullptr;
    return new KVSerializeLuaFile(file, handle, mode);
}

bool KVSerializeLuaFile::ReadLine(std::string* line) {
    line->clear();
    for (;;) {
        uint8_t byte = 0;
        uint32_t count = 0;
        if (m_file->Read(m_handle, &byte, 1, &count) != KV_OK || count != 1) {
            // The end of the file (IKVFile.h): a last line without LF is
            // still a line; after it there is none.
            return !line->empty();
        }
        if (byte == 10) return true;
        if (byte != 13) line->push_back(char(byte));
    }
}

bool KVSerializeLuaFile::Read(int32_t count, std::vector<uint8_t>* out) {
    out->clear();
    if (count <= 0) return false;
    // No read goes past the end of the file, so the buffer never needs to
    // be larger than what is left of it.
    const uint32_t size = m_file->GetSize(m_handle);
    const int32_t position = m_file->Tell(m_handle);
    const uint32_t left = position >= 0 && uint32_t(position) <= size ? size - uint32_t(position) : size;
    const uint32_t wanted = std::min(uint32_t(count), left);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[wanted ? wanted : 1]);
    if (!buffer) return false;
    uint32_t got = 0;
    // At the end of the file nothing is left to read, and the read fails.
    if (m_file->Read(m_handle, buffer.get(), wanted, &got) != KV_OK || got == 0) return false;
    got = std::min(got, wanted);
    out->assign(buffer.get(), buffer.get() + got);
    return true;
}

void KVSerializeLuaFile::Append(const void* data, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_buffer.insert(m_buffer.end(), bytes, bytes + count);
}

bool KVSerializeLuaFile::Flush() {
    if (m_buffer.empty()) return true;
    bool whole = false;
    if (m_buffer.size() <= std::numeric_limits<uint32_t>::max()) {
        const uint32_t size = uint32_t(m_buffer.size());
        uint32_t written = 0;
        whole = m_file->Write(m_handle, m_buffer.data(), size, &written, 0) == KV_OK && written == size;
    }
    m_buffer.clear();
    return whole;
}

bool KVSerializeLuaFile::Close() {
    if (!m_file || !m_handle) return true;
    const bool written = m_mode != MODE_WRITE || Flush();
    const int32_t status = m_file->Close(m_handle);
    m_handle = nullptr;
    // Data that never reached the file is a failed close.
    return status == KV_OK && written;
}

bool KVSerializeLuaFile::EndOfFile() { return m_file->IsEOF(m_handle) != 0; }

int32_t KVSerializeLuaFile::Pad(uint32_t size) {
    const uint64_t length = m_buffer.size();
    if (uint64_t(size) < length + kPaddedTrailerSize) return 1;
    if (size > kPaddedMaxSize) return 2;
    m_buffer.resize(size);
    FinishPaddedImage(m_buffer.data(), size, uint32_t(length));
    return 0;
}

} // namespace kvl
