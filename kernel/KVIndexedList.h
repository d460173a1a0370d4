#pragma once
// A doubly linked list over an array of slots. A slot's index stays valid
// while it lives, removed slots are reused before the array grows (first
// freed, first reused, so a stale index meets its slot again as late as
// possible), and walks registered with the list survive removals:
// - an Iterator standing on a removed slot moves on to the slot after it;
// - a Cursor keeps the slot it stands on and the slots around it, and a
//   removal of either neighbour moves the neighbour on, so that its next
//   step still leads to the rest of the list.
// A slot may be freed with a mark that keeps it from being reused until the
// marks are cleared (the unit table frees indices that must not come back
// within the same frame).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace kvl {

template <class T>
class KVIndexedList {
public:
    static constexpr int32_t kNone = -1;

    class Iterator {
    public:
        explicit Iterator(KVIndexedList& list, int32_t start = kNone) : m_list(&list), m_index(start) {
            m_list->m_iterators.push_back(this);
        }
        ~Iterator() {
            auto& v = m_list->m_iterators;
            v.erase(std::remove(v.begin(), v.end(), this), v.end());
        }
        Iterator(const Iterator&) = delete;
        Iterator& operator=(const Iterator&) = delete;

        int32_t Index() const { return m_index; }
        void Set(int32_t index) { m_index = index; }
        bool AtEnd() const { return m_index == kNone; }
        void Next() { m_index = m_list->Next(m_index); }

    private:
        KVIndexedList* m_list;
        int32_t m_index;
    };

    // A registered walk position: the slot it stands on and its neighbours
    // in the live chain at the time it stepped there.
    class Cursor {
    public:
        // Stands on the slot (kNone: at the end), registered until destroyed.
        Cursor(KVIndexedList& list, int32_t start) : m_list(&list) {
            m_list->m_cursors.push_back(this);
            StandOn(start);
        }
        ~Cursor() {
            if (!m_list) return;
            auto& v = m_list->m_cursors;
            v.erase(std::remove(v.begin(), v.end(), this), v.end());
        }
        Cursor(const Cursor&) = delete;
        Cursor& operator=(const Cursor&) = delete;

        int32_t Current() const { return m_current; }
        int32_t Previous() const { return m_previous; }
        int32_t NextSlot() const { return m_next; }
        bool AtEnd() const { return m_current == kNone; }
        // Steps to the remembered next slot.
        void Next() { StandOn(m_next); }

    private:
        friend class KVIndexedList;
        void StandOn(int32_t index) {
            m_current = index;
            if (index == kNone || !m_list->IsLive(index)) {
                m_current = m_previous = m_next = kNone;
                return;
            }
            m_previous = m_list->m_slots[size_t(index)].prev;
            m_next = m_list->m_slots[size_t(index)].next;
        }

        KVIndexedList* m_list;
        int32_t m_current = kNone;
        int32_t m_previous = kNone;
        int32_t m_next = kNone;
    };

    KVIndexedList() = default;
    ~KVIndexedList() {
        for (Cursor* c : m_cursors) c->m_list = nullptr;
    }
    KVIndexedList(const KVIndexedList&) = delete;
    KVIndexedList& operator=(const KVIndexedList&) = delete;

    // Appends at the tail, reusing the first freed slot; the new slot's index.
    int32_t PushBack(const T& value) { return PushBack(value, false); }

    // Appends at the tail. Unless append is set, the first free slot that
    // carries no freed mark is reused; otherwise (or when there is none) a
    // new slot is added at the end of the array.
    int32_t PushBack(const T& value, bool append) {
        int32_t index = append ? kNone : TakeFree();
        if (index == kNone) {
            index = int32_t(m_slots.size());
            m_slots.emplace_back();
        }
        Slot& s = m_slots[size_t(index)];
        s.value = value;
        s.live = true;
        s.freedMark = false;
        Link(index);
        ++m_count;
        return index;
    }

    // Unlinks a live slot and puts it at the end of the free chain; with
    // mark set the slot is not reused until ClearFreedMarks. A free or
    // unknown index is refused: unlinking it again would corrupt the links.
    void Remove(int32_t index, bool mark = false) {
        if (!IsLive(index)) return;
        int32_t successor = m_slots[size_t(index)].next;
        int32_t predecessor = m_slots[size_t(index)].prev;
        for (Iterator* it : m_iterators)
            if (it->Index() == index) it->Set(successor);
        for (Cursor* c : m_cursors) {
            if (c->m_next == index) c->m_next = successor;
            if (c->m_previous == index) c->m_previous = predecessor;
        }
        Unlink(index);
        Slot& s = m_slots[size_t(index)];
        s.live = false;
        s.freedMark = mark;
        s.value = T();
        Append(index, m_free, m_freeTail);
        --m_count;
    }

    // Removes the slot and answers a registered cursor standing on the slot
    // that followed it (at the end when none did). The cursor is the
    // caller's: dropping it unregisters it.
    std::unique_ptr<Cursor> Erase(int32_t index) {
        int32_t successor = IsLive(index) ? m_slots[size_t(index)].next : kNone;
        Remove(index);
        return std::unique_ptr<Cursor>(new Cursor(*this, successor));
    }

    // A registered cursor standing on the head.
    std::unique_ptr<Cursor> Begin() { return std::unique_ptr<Cursor>(new Cursor(*this, m_head)); }

    // Lets every marked free slot be reused again.
    void ClearFreedMarks() {
        for (int32_t i = m_free; i != kNone; i = m_slots[size_t(i)].next) m_slots[size_t(i)].freedMark = false;
    }

    void MoveToTail(int32_t index) {
        if (!IsLive(index) || index == m_tail) return;
        Unlink(index);
        Link(index);
    }

    bool IsLive(int32_t index) const {
        return index >= 0 && size_t(index) < m_slots.size() && m_slots[size_t(index)].live;
    }
    bool IsFreedMarked(int32_t index) const {
        return index >= 0 && size_t(index) < m_slots.size() && !m_slots[size_t(index)].live &&
               m_slots[size_t(index)].freedMark;
    }
    T* At(int32_t index) { return IsLive(index) ? &m_slots[size_t(index)].value : nullptr; }
    int32_t Head() const { return m_head; }
    int32_t Tail() const { return m_tail; }
    int32_t Next(int32_t index) const { return IsLive(index) ? m_slots[size_t(index)].next : kNone; }
    size_t Size() const { return m_count; }
    size_t CursorCount() const { return m_cursors.size(); }
    size_t IteratorCount() const { return m_iterators.size(); }
    // Live and free slots together: one past the highest index ever used.
    size_t SlotCount() const { return m_slots.size(); }

    // Empties the list; registered walks stand nowhere.
    void Clear() {
        m_slots.clear();
        m_head = m_tail = m_free = m_freeTail = kNone;
        m_count = 0;
        for (Iterator* it : m_iterators) it->Set(kNone);
        for (Cursor* c : m_cursors) c->m_current = c->m_previous = c->m_next = kNone;
    }

private:
    struct Slot {
        T value{};
        int32_t prev = kNone;
        int32_t next = kNone;
        bool live = false;
        bool freedMark = false;
    };

    // Takes the first unmarked slot out of the free chain; kNone when none.
    int32_t TakeFree() {
        int32_t before = kNone;
        for (int32_t i = m_free; i != kNone; before = i, i = m_slots[size_t(i)].next) {
            if (m_slots[size_t(i)].freedMark) continue;
            int32_t after = m_slots[size_t(i)].next;
            if (before == kNone)
                m_free = after;
            else
                m_slots[size_t(before)].next = after;
            if (m_freeTail == i) m_freeTail = before;
            return i;
        }
        return kNone;
    }

    // Puts the slot at the end of a chain (the live one or the free one).
    void Append(int32_t index, int32_t& head, int32_t& tail) {
        Slot& s = m_slots[size_t(index)];
        s.prev = tail;
        s.next = kNone;
        if (tail != kNone)
            m_slots[size_t(tail)].next = index;
        else
            head = index;
        tail = index;
    }

    void Link(int32_t index) { Append(index, m_head, m_tail); }

    void Unlink(int32_t index) {
        Slot& s = m_slots[size_t(index)];
        if (s.prev != kNone)
            m_slots[size_t(s.prev)].next = s.next;
        else
            m_head = s.next;
        if (s.next != kNone)
            m_slots[size_t(s.next)].prev = s.prev;
        else
            m_tail = s.prev;
    }

    std::vector<Slot> m_slots;
    std::vector<Iterator*> m_iterators;
    std::vector<Cursor*> m_cursors;
    int32_t m_head = kNone;
    int32_t m_tail = kNone;
    int32_t m_free = kNone;      // first free slot, reused next
    int32_t m_freeTail = kNone;  // last free slot, where removals go
    size_t m_count = 0;
};

} // namespace kvl
