#include "KVSceneFileWriter.h"

namespace kvtest {

KVSceneFileWriter::KVSceneFileWriter(uint32_t version, uint64_t projectId, bool oldValueEncoding)
    : KVChunkWriter(version < 0x20001, oldValueEncoding), m_version(version) {
    RawU32(kMagic);
    RawU32(version);
    RawU64(0);
    if (version > 0x10006) {
        RawU32(SignatureLow(projectId));
        RawU32(SignatureHigh(projectId));
        RawU64(0);
    }
    m_headerSize = Size();
}

} // namespace kvtest
