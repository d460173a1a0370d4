#include "KVJpeg.h"

#include "KVJpegDecoder.h"
#include "KVJpegFileDecoder.h"

namespace kvl {

namespace {

struct JpegImageHandle {
    KVJpegDecoder* decoder;
    KVJpegFileDecoder* stream;
    const uint8_t* line;  // the current decoded line
};

} // namespace

IKVModuleExt* CreateJpeg(const KVModuleCreateInfo* info) { return KVJpeg::Create(info); }

int32_t KVJpegReader::QueryInterface(const KVInterfaceId& id, void** out) { return AnswerImageReader(this, id, out); }

int32_t KVJpegReader::Open(const char* path, void** outHandle) {
    if (!outHandle) return KV_FAILED;
    *outHandle = nullptr;
    auto* stream = new KVJpegFileDecoder(m_module->QueryFile());
    if (stream->Open(path) != KV_OK) {
        delete stream;
        return KV_FAILED;
    }
    auto* decoder = new KVJpegDecoder(stream);
    if (decoder->GetErrorCode() != 0) {
        delete decoder;
        delete stream;
        return KV_FAILED;
    }
    // A failure here shows in the error code and fails every later line.
    decoder->BeginDecoding();
    *outHandle = new JpegImageHandle{decoder, stream, nullptr};
    return KV_OK;
}

int32_t KVJpegReader::Close(void* handle) {
    auto* h = static_cast<JpegImageHandle*>(handle);
    if (!h) return KV_OK;
    h->stream->Close();
    delete h->decoder;
    delete h->stream;
    delete h;
    return KV_OK;
}

int32_t KVJpegReader::GetInfo(void* handle, KVImageInfo* info) {
    auto* h = static_cast<JpegImageHandle*>(handle);
    if (!h || !info) return KV_FAILED;
    *info = KVImageInfo{};
    info->format = KVTEXFMT_BGRA;
    info->width = h->decoder->GetWidth();
    info->height = h->decoder->GetHeight();
    info->byteSize = info->width * info->height * 4;
    return KV_OK;
}

int32_t KVJpegReader::Read(void* handle, void* buffer, uint32_t size) {
    auto* h = static_cast<JpegImageHandle*>(handle);
    if (!h || (!buffer && size)) return KV_FAILED;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t written = 0;
    while (written < size) {
        const void* line = nullptr;
        uint32_t length = 0;
        if (h->decoder->Decode(&line, &length) != 0) return KV_FAILED;
        h->line = static_cast<const uint8_t*>(line);
        const uint32_t step = h->decoder->GetBytesPerPixel();
        if (step != 3 && step != 4) return KV_FAILED;
        for (uint32_t i = 0; i + step <= length && written < size; i += step) {
            const uint8_t pixel[4] = {h->line[i + 2], h->line[i + 1], h->line[i], 0xFF};
            for (int b = 0; b < 4 && written < size; ++b) out[written++] = pixel[b];
        }
    }
    return KV_OK;
}

} // namespace kvl
