#pragma once
// The iterator the unit factory hands out over its unit table or its root
// list (count 1 at creation; the caller releases it). Over the unit table a
// slot is a unit index; over the root list the iterator answers the unit
// index of the root at its slot, which is what a caller can use.
#include <memory>
#include "IKVUnitIterator.h"
#include "KVUnit.h"

namespace kvl {

class KVUnitIterator : public KVRefCounted<IKVUnitIterator> {
public:
    KVUnitIterator(KVIndexedList<KVUnit*>& list, bool roots)
        : m_list(&list), m_cursor(list.Begin()), m_roots(roots) {}

    int32_t GetIndex() override {
        if (!m_roots || m_cursor->AtEnd()) return m_cursor->Current();
        KVUnit** unit = m_list->At(m_cursor->Current());
        return unit && *unit ? (*unit)->GetIndex() : -1;
    }
    void Next() override { m_cursor->Next(); }
    bool IsEnd() override { return m_cursor->AtEnd(); }

private:
    ~KVUnitIterator() override = default;

    KVIndexedList<KVUnit*>* m_list;
    std::unique_ptr<KVUnitCursorState> m_cursor;
    bool m_roots;
};

} // namespace kvl
