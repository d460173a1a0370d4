#include "KVAttributeManipulator.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVFormat.h"
#include "KVChunkReader.h"
#include "KVUnitFactory.h"

namespace kvl {

bool KVReadCursor::Need(uint64_t n, const std::string& attribute) {
    if (!failed && n <= Left()) return true;
    if (!failed) {
        if (IKVLog* log = GetLog())
            log->WriteString(Format("Attribute {0}: a value of {1} bytes does not fit in the {2} bytes left",
                                    attribute, n, uint64_t(Left())),
                             KVLOG_ERROR, 0);
    }
    failed = true;
    return false;
}

uint32_t KVReadCursor::PeekU32() const {
    if (Left() < 4) return 0;
    return uint32_t(pos[0]) | (uint32_t(pos[1]) << 8) | (uint32_t(pos[2]) << 16) | (uint32_t(pos[3]) << 24);
}

KVAttributeManipulator::KVAttributeManipulator() = default;

KVAttributeManipulator::~KVAttributeManipulator() = default;

void KVAttributeManipulator::Adopt(const KVAttributeDesc& desc) {
    m_desc = desc;
    // The class record owns the manipulator; the copy must not.
    m_desc.manipulator.reset();
    m_elementCount = m_elementSize ? ByteSize() / m_elementSize : 0u;
}

bool KVAttributeManipulator::InSceneFile() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory && factory->IsLoading();
}

uint32_t KVAttributeManipulator::SceneVersion() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory ? factory->GetKvlVersion() : 0;
}

IKVLua* KVAttributeManipulator::Lua() { return GetLuaBinding(); }

bool KVAttributeManipulator::Take(KVReadCursor* cursor, void* out, size_t n) const {
    if (!cursor->Need(n, m_desc.name)) return false;
    if (n) std::memcpy(out, cursor->pos, n);
    cursor->pos += n;
    return true;
}

template <class T>
int32_t KVAttributeManipulatorTempl<T>::ReadOld(KVChunkReader& reader, void* holder, int32_t byteSize) {
    uint32_t size = byteSize > 0 ? uint32_t(byteSize) : 0u;
    std::vector<uint8_t> bytes(size);
    int32_t result = reader.ReadValue(bytes.data(), size);
    if (result != KV_OK) return result;
    T* target = static_cast<T*>(holder);
    for (size_t k = 0; k < size / sizeof(T); ++k) target[k] = Load(bytes.data() + k * sizeof(T));
    return KV_OK;
}

template class KVAttributeManipulatorTempl<uint32_t>;
template class KVAttributeManipulatorTempl<int32_t>;
template class KVAttributeManipulatorTempl<float>;
template class KVAttributeManipulatorTempl<bool>;
template class KVAttributeManipulatorTempl<uint64_t>;

} // namespace kvl
