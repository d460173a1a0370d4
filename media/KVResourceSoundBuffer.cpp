#include "KVResourceSoundBuffer.h"

#include "../kernel/IKVLog.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVResources.h"

namespace kvl {
namespace {

// Far above any envelope (255 records of an hour at 1000 values a second).
constexpr uint32_t kMaxDescriptorSize = 1u << 30;

} // namespace

IKVResourceManager* FindResourceManager() {
    if (auto* resources = QueryCoreInterface<IKVResourceManager>(IID_IKVResourceManager)) return resources;
    return KVResources::Instance();
}

KVResourceSoundBuffer::KVResourceSoundBuffer(IKVSoundBuffer* buffer, std::string name, bool kept,
                                             const SoundFormat& format, uint32_t dataLength, uint32_t secondLength,
                                             IKVFile* file)
    : m_name(std::move(name)),
      m_kept(kept),
      m_buffer(buffer),
      m_format(format),
      m_dataLength(dataLength),
      m_secondLength(secondLength) {
    ReadDescriptor(file);
}

KVResourceSoundBuffer::~KVResourceSoundBuffer() {
    if (m_buffer) m_buffer->Release();
}

int32_t KVResourceSoundBuffer::Release() {
    const int32_t left = --m_refCount;
    if (left == 0) {
        if (m_kept) {
            if (IKVResourceManager* resources = FindResourceManager()) resources->Release(this);
        }
        delete this;
    }
    return left;
}

int32_t KVResourceSoundBuffer::FreeData() {
    m_descriptor.clear();
    m_descriptor.shrink_to_fit();
    m_envelope = KVSoundEnvelope();
    if (m_buffer) m_buffer->Release();
    m_buffer = nullptr;
    return KV_OK;
}

void KVResourceSoundBuffer::ReadDescriptor(IKVFile* file) {
    if (!file) return;
    const std::string path = KVSoundDescriptor::PathFor(m_name);
    KVFileHandle handle = nullptr;
    if (file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) return;
    const uint32_t size = file->GetSize(handle);
    if (size > kMaxDescriptorSize) {
        file->Close(handle);
        if (IKVLog* log = GetLog()) log->WriteString(path + ": invalid sound descriptor: too large", KVLOG_ERROR, 0);
        return;
    }
    std::vector<uint8_t> bytes(size);
    uint32_t got = 0;
    if (!bytes.empty()) file->Read(handle, bytes.data(), uint32_t(bytes.size()), &got);
    file->Close(handle);
    bytes.resize(got);

    std::string error;
    KVSoundEnvelope envelope;
    const KVSoundDescriptor::Result result = KVSoundDescriptor::Parse(bytes, &envelope, &error);
    if (result == KVSoundDescriptor::Result::Malformed) {
        if (IKVLog* log = GetLog()) log->WriteString(path + ": invalid sound descriptor: " + error, KVLOG_ERROR, 0);
        return;
    }
    if (result != KVSoundDescriptor::Result::Valid) return;
    // The envelope points into the kept bytes.
    const size_t offset = envelope.values ? size_t(envelope.values - bytes.data()) : 0;
    m_descriptor = std::move(bytes);
    if (envelope.values) envelope.values = m_descriptor.data() + offset;
    m_envelope = envelope;
}

} // namespace kvl
