#include "KV3DDataProducer.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "../kernel/IKVLog.h"
#include "KV3D.h"
#include "KV3DData.h"
#include "KV3DFileReader.h"

namespace kvl {

namespace {

const char kTruncated[] = "File is truncated";
const char kNoMemory[] = "Out of memory";

constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kAttachmentSize = 96;
constexpr uint32_t kCameraSize = 64;
constexpr uint32_t kLightSize = 80;

uint32_t HeaderU32(const uint8_t* header, size_t offset) { return KV3DReadU32(header + offset); }

std::string NameField(const uint8_t* field, size_t length) {
    const char* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, length));
}

// The file's fixed-size records: read with one Read, or nothing.
bool ReadRecords(IKVResourceReader* reader, void* handle, uint32_t count, uint32_t size,
                 std::vector<uint8_t>* bytes) {
    bytes->resize(size_t(count) * size);
    return count == 0 || reader->Read(handle, bytes->data(), uint32_t(bytes->size())) == KV_OK;
}

} // namespace

int32_t KV3DDataProducer::NeedsRebuild(IKVResource* resource) {
    const auto* data = dynamic_cast<KV3DData*>(resource);
    return m_keepGeometry && data && data->resident == 0 ? 1 : 0;
}

void KV3DDataProducer::LogLoadError(const char* path, const std::string& message) {
    if (IKVLog* log = GetLog()) log->WriteString(message + " (" + (path ? path : "") + ")", KVLOG_ERROR, 0);
}

int32_t KV3DDataProducer::CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource,
                                         int32_t*, uint32_t* size) {
    if (size) *size = 0;
    if (!reader || !resource) return KV_FAILED;
    const std::string name = path ? path : "";
    void* handle = nullptr;
    if (reader->Open(name.c_str(), &handle) != KV_OK) return KV_FAILED;

    // A resource handed in is data of this path whose contents were freed.
    KV3DData* reloading = nullptr;
    if (*resource) {
        reloading = dynamic_cast<KV3DData*>(*resource);
        if (!reloading) {
            reader->Close(handle);
            return KV_FAILED;
        }
    }

    std::string error;
    KV3DData* data = nullptr;
    int32_t status = KV_FAILED;
    uint8_t header[kHeaderSize];
    if (reader->Read(handle, header, kHeaderSize) != KV_OK) {
        error = kTruncated;
    } else if (std::memcmp(header, "KV3D", 4) != 0) {
        error = "Not a mesh file";
    } else if (header[4] >= 2) {
        error = "File version is too high";
    } else {
        m_version = header[4];
        m_alignment = header[5];
        if (m_alignment == 0 || (m_alignment & (m_alignment - 1)) != 0) {
            error = "Invalid alignment";
        } else {
            // Everything the header announces must be in the file, before
            // anything is allocated for it.
            const uint64_t announced = uint64_t(HeaderU32(header, 12)) + HeaderU32(header, 16) +
                                       uint64_t(header[8]) * kAttachmentSize + uint64_t(header[9]) * kCameraSize +
                                       HeaderU32(header, 20) + uint64_t(header[11]) * kLightSize;
            auto* own = dynamic_cast<KV3DFileReader*>(reader);
            const int64_t remaining = own ? own->GetRemaining(handle) : -1;
            if (remaining >= 0 && announced > uint64_t(remaining)) {
                error = kTruncated;
            } else {
                if (reloading) {
                    data = reloading;
                    data->PrepareReload();
                } else {
                    data = new KV3DData(name);
                }
                status = ReadBody(reader, handle, header, data, &error);
            }
        }
    }

    if (!error.empty()) LogLoadError(name.c_str(), error);
    if (status == KV_OK) {
        *resource = data;
    } else if (data && data != reloading) {
        data->Release();
    } else if (data) {
        // A reload that failed leaves the data empty.
        data->FreeData();
    }
    reader->Close(handle);
    return status;
}

int32_t KV3DDataProducer::ReadBody(IKVResourceReader* reader, void* handle, const uint8_t* header, KV3DData* data,
                                   std::string* error) {
    auto fail = [&](const char* why) {
        *error = why;
        return KV_FAILED;
    };
    const uint32_t geometrySize = HeaderU32(header, 12);
    const uint32_t animationSize = HeaderU32(header, 16);
    const uint32_t curveSize = HeaderU32(header, 20);

    // The blocks are held at addresses that are multiples of the alignment.
    auto readBlock = [&](uint32_t blockSize, uint8_t** block) {
        *block = KV3D::AllocAligned(blockSize, m_alignment);
        if (!*block) return fail(kNoMemory);
        if (reader->Read(handle, *block, blockSize) != KV_OK) {
            KV3D::FreeAligned(*block);
            *block = nullptr;
            return fail(kTruncated);
        }
        return KV_OK;
    };
    if (geometrySize != 0) {
        uint8_t* block = nullptr;
        if (readBlock(geometrySize, &block) != KV_OK) return KV_FAILED;
        if (data->BuildGeometry(block, geometrySize, m_alignment, m_keepGeometry != 0, m_device, error) != KV_OK)
            return KV_FAILED;
    }
    if (animationSize != 0) {
        uint8_t* block = nullptr;
        if (readBlock(animationSize, &block) != KV_OK) return KV_FAILED;
        if (data->BuildAnimation(block, animationSize, m_alignment, error) != KV_OK) return KV_FAILED;
    }

    std::vector<uint8_t> bytes;
    if (!ReadRecords(reader, handle, header[8], kAttachmentSize, &bytes)) return fail(kTruncated);
    for (uint32_t i = 0; i < header[8]; ++i) {
        const uint8_t* r = bytes.data() + size_t(i) * kAttachmentSize;
        KV3DAttachment& a = data->attachments.emplace_back();
        std::memcpy(a.matrix, r, sizeof a.matrix);
        a.name = NameField(r + 64, 32);
    }

    if (!ReadRecords(reader, handle, header[9], kCameraSize, &bytes)) return fail(kTruncated);
    for (uint32_t i = 0; i < header[9]; ++i) {
        const uint8_t* r = bytes.data() + size_t(i) * kCameraSize;
        KV3DCamera& c = data->cameras.emplace_back();
        c.position = {KV3DReadFloat(r, 0), KV3DReadFloat(r, 1), KV3DReadFloat(r, 2)};
        c.fov = KV3DReadFloat(r, 3);
        c.target = {KV3DReadFloat(r, 4), KV3DReadFloat(r, 5), KV3DReadFloat(r, 6)};
        c.name = NameField(r + 32, 32);
    }

    // The curve block is passed over by its size even when it holds no
    // curve, so the lights are read from their own place.
    if (curveSize != 0) {
        std::unique_ptr<uint8_t[]> curves(new (std::nothrow) uint8_t[curveSize]);
        if (!curves) return fail(kNoMemory);
        if (reader->Read(handle, curves.get(), curveSize) != KV_OK) return fail(kTruncated);
        uint64_t offset = 0;
        for (uint32_t i = 0; i < header[10]; ++i) {
            if (curveSize - offset < 48) return fail("Invalid curve block");
            const uint8_t* r = curves.get() + offset;
            const uint32_t points = KV3DReadU32(r);
            if (16 * uint64_t(points) > curveSize - offset - 48) return fail("Invalid curve block");
            KV3DCurveRecord& c = data->curves.emplace_back();
            c.word = KV3DReadU32(r, 1);
            c.name = NameField(r + 16, 32);
            c.points.resize(points);
            if (points) std::memcpy(c.points.data(), r + 48, size_t(points) * 16);
            offset += 48 + 16 * uint64_t(points);
        }
    } else if (header[10] != 0) {
        return fail("Invalid curve block");
    }

    if (!ReadRecords(reader, handle, header[11], kLightSize, &bytes)) return fail(kTruncated);
    for (uint32_t i = 0; i < header[11]; ++i) {
        const uint8_t* r = bytes.data() + size_t(i) * kLightSize;
        KV3DLightRecord& l = data->lights.emplace_back();
        l.position = {KV3DReadFloat(r, 0), KV3DReadFloat(r, 1), KV3DReadFloat(r, 2)};
        l.params.color = KV3DReadU32(r, 3);
        l.params.specular = KV3DReadU32(r, 4);
        l.params.ambient = KV3DReadU32(r, 5);
        l.params.constantAttenuation = KV3DReadFloat(r, 6);
        l.params.linearAttenuation = KV3DReadFloat(r, 7);
        l.params.quadraticAttenuation = KV3DReadFloat(r, 8);
        l.params.range = KV3DReadFloat(r, 9);
        l.params.normalMapCaster = 0;
        l.params.shadowCaster = 0;
        l.name = NameField(r + 48, 32);
    }
    return KV_OK;
}

} // namespace kvl
