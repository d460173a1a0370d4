#include "KVTriangulatorTables.h"

namespace kvl {

void KVTriangulatorTables::Reset(int32_t n) {
    // Entries are cleared as they are handed out; only the counters start over.
    nextTrap = 1;
    nextNode = 1;
    nextChain = 0;
    monCount = 0;
    triCount = 0;
    chooseIndex = 1;
    segCount = n;
    failed = false;
}

KVTriangulatorTables& TriangulatorTables() {
    static KVTriangulatorTables tables;
    return tables;
}

} // namespace kvl
