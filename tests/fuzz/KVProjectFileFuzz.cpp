// Project files as the serializer reads them: head, properties block and
// the group operations of a running game.
#include <cstddef>
#include <cstdint>

#include "support/KVSerializeFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVFuzzProjectFile(data, size);
    return 0;
}
