#include "KVOggReader.h"

#include <tremor/ivorbisfile.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "../kernel/KVCore.h"

namespace kvl {
namespace {

// The decoder's data source: one open file of the file layer.
struct OggSource {
    IKVFile* file = nullptr;
    KVFileHandle handle = nullptr;
    bool closed = false;
};

struct OggHandle {
    OggVorbis_File decoder;
    OggSource source;
    vorbis_info info;
    uint32_t byteLength = 0;
};

// One decoder call writes at most this much.
constexpr uint32_t kMaxPass = 1u << 20;
// Passes in a row that give nothing before a read gives up: two ends of the
// stream (one on each side of the rewind), or a run of holes.
constexpr int kMaxEmptyEnds = 2;
constexpr int kMaxEmptyPasses = 64;

size_t ReadCallback(void* buffer, size_t size, size_t count, void* data) {
    auto* source = static_cast<OggSource*>(data);
    if (!buffer || size == 0 || count == 0) return 0;
    const size_t wanted = count > size_t(UINT32_MAX) / size ? size_t(UINT32_MAX) : size * count;
    uint32_t got = 0;
    // The end of the file answers 0xc0002 with nothing read: 0 bytes.
    source->file->Read(source->handle, buffer, uint32_t(wanted), &got);
    return std::min<size_t>(got, wanted);
}

int SeekCallback(void* data, ogg_int64_t offset, int whence) {
    auto* source = static_cast<OggSource*>(data);
    const auto low = int32_t(uint32_t(uint64_t(offset) & 0xffffffffu));
    return source->file->Seek(source->handle, low, whence) == KV_OK ? 0 : 1;
}

int CloseCallback(void* data) {
    auto* source = static_cast<OggSource*>(data);
    if (source->closed) return 0;
    source->closed = true;
    return source->file->Close(source->handle) == KV_OK ? 0 : 1;
}

long TellCallback(void* data) {
    auto* source = static_cast<OggSource*>(data);
    return source->file->Tell(source->handle);
}

} // namespace

int32_t KVOggReader::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVSoundReader) return AnswerInterface(static_cast<IKVSoundReader*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVOggReader::Init(int32_t phase) {
    if (phase != 2) return KV_OK;
    void* out = nullptr;
    IKVResourceManager* resources = nullptr;
    if (m_core) {
        if (m_core->QueryInterface(IID_IKVResourceManager, &out) == KV_OK) resources = static_cast<IKVResourceManager*>(out);
    } else {
        resources = QueryCoreInterface<IKVResourceManager>(IID_IKVResourceManager);
    }
    if (resources) resources->RegisterReader(static_cast<IKVSoundReader*>(this));
    return KV_OK;
}

int32_t KVOggReader::Release(int32_t phase) {
    (void)phase;
    return KV_OK;
}

IKVFile* KVOggReader::FileLayer() {
    if (m_file) return m_file;
    if (m_core) {
        void* out = nullptr;
        return m_core->QueryInterface(IID_IKVFile, &out) == KV_OK ? static_cast<IKVFile*>(out) : nullptr;
    }
    return QueryCoreInterface<IKVFile>(IID_IKVFile);
}

int32_t KVOggReader::Open(const char* path, void** outHandle) {
    if (outHandle) *outHandle = nullptr;
    IKVFile* file = FileLayer();
    if (!path || !outHandle || !file) return KV_FAILED;
    KVFileHandle fileHandle = nullptr;
    if (file->Open(path, KVFILE_READ, &fileHandle) != KV_OK || !fileHandle) return KV_FAILED;

    auto* handle = new (std::nothrow) OggHandle();
    if (!handle) {
        file->Close(fileHandle);
        return KV_FAILED;
    }
    handle->source.file = file;
    handle->source.handle = fileHandle;
    const ov_callbacks callbacks = {&ReadCallback, &SeekCallback, &CloseCallback, &TellCallback};
    if (ov_open_callbacks(&handle->source, &handle->decoder, nullptr, 0, callbacks) != 0) {
        // Whatever the decoder kept is freed; the file is closed once.
        ov_clear(&handle->decoder);
        if (!handle->source.closed) file->Close(fileHandle);
        delete handle;
        return KV_FAILED;
    }
    if (const vorbis_info* info = ov_info(&handle->decoder, -1)) handle->info = *info;
    const ogg_int64_t frames = ov_pcm_total(&handle->decoder, -1) - ov_pcm_tell(&handle->decoder);
    // Kept in 32 bits, as the information record holds it.
    const uint64_t bytes = frames > 0 ? uint64_t(frames) * uint64_t(std::max(handle->info.channels, 0)) * 2u : 0u;
    handle->byteLength = uint32_t(bytes & 0xffffffffu);
    *outHandle = handle;
    return KV_OK;
}

int32_t KVOggReader::Close(void* h) {
    auto* handle = static_cast<OggHandle*>(h);
    if (!handle) return KV_INVALID;
    ov_clear(&handle->decoder);  // closes the file through the callback
    delete handle;
    return KV_OK;
}

int32_t KVOggReader::Read(void* h, void* buffer, uint32_t size) {
    auto* handle = static_cast<OggHandle*>(h);
    if (!handle || (!buffer && size != 0)) return KV_INVALID;
    auto* out = static_cast<char*>(buffer);
    OggVorbis_File* decoder = &handle->decoder;
    const ogg_int64_t total = ov_pcm_total(decoder, -1);
    uint32_t done = 0;
    int emptyEnds = 0;
    int emptyPasses = 0;
    int32_t status = KV_OK;
    const uint32_t frameBytes = uint32_t(std::clamp(handle->info.channels, 1, 255)) * 2u;
    char partial[255 * 2];
    while (done < size) {
        int bitstream = 0;
        const uint32_t room = std::min(size - done, kMaxPass);
        // Less than a frame of room: one whole frame is decoded aside and
        // its first bytes are taken (the decoder writes whole frames only).
        const bool aside = room < frameBytes;
        long got = ov_read(decoder, aside ? partial : out + done, int(aside ? frameBytes : room), &bitstream);
        if (aside && got > 0) {
            got = std::min<long>(got, long(room));
            std::memcpy(out + done, partial, size_t(got));
        }
        if (got < 0 && got != OV_HOLE) {
            status = KV_READ_FAILED;
            break;
        }
        if (got > 0) {
            done += uint32_t(std::min<unsigned long>((unsigned long)got, size - done));
            emptyEnds = 0;
            emptyPasses = 0;
        } else if (++emptyPasses >= kMaxEmptyPasses) {
            break;
        }
        // The stream loops by itself: at its stated end, and at an end of
        // the data that comes before it.
        if (got == 0 || ov_pcm_tell(decoder) >= total) {
            if (got == 0 && ++emptyEnds >= kMaxEmptyEnds) break;
            ov_pcm_seek(decoder, 0);
        }
    }
    // Nothing of an earlier use of the destination stays behind.
    if (done < size) std::memset(out + done, 0, size - done);
    return status;
}

int32_t KVOggReader::GetInfo(void* h, KVSoundReaderInfo* out) {
    auto* handle = static_cast<OggHandle*>(h);
    if (!handle || !out) return KV_INVALID;
    out->rate = uint32_t(std::max<long>(handle->info.rate, 0));
    out->channels = uint32_t(std::max(handle->info.channels, 0));
    out->bitsPerSample = 16;
    out->byteLength = handle->byteLength;
    out->secondLength = handle->byteLength;
    return KV_OK;
}

int32_t KVOggReader::Rewind(void* h) {
    auto* handle = static_cast<OggHandle*>(h);
    if (!handle) return KV_INVALID;
    ov_pcm_seek(&handle->decoder, 0);
    return KV_OK;
}

IKVModuleExt* CreateOggReader(const KVModuleCreateInfo* info) {
    if (!KVOggReader::Instance()) new KVOggReader(info ? info->core : nullptr);
    return KVOggReader::Instance();
}

} // namespace kvl
