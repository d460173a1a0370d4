#pragma once
// A doubly linked list over an array of slots. A slot's index stays valid
// while it lives, removed slots are reused before the array grows (first
// freed, first reused, so a stale index meets its slot again as late as
// possible), and
// iterators registered with the list move on to the next slot when the slot
// they stand on is removed, so a walk survives the removal of its current
// element.
#include <algorithm>
#include <cstdint>
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

    ~KVIndexedList() = default;

    // Appends at the tail; the new slot's index.
    int32_t PushBack(const T& value) {
        int32_t index;
        if (m_free != kNone) {
            index = m_free;
            m_free = m_slots[size_t(index)].next;
            if (m_free == kNone) m_freeTail = kNone;
        } else {
            index = int32_t(m_slots.size());
            m_slots.emplace_back();
        }
        Slot& s = m_slots[size_t(index)];
        s.value = value;
        s.live = true;
        Link(index);
        ++m_count;
        return index;
    }

    // Unlinks a live slot and puts it at the end of the free chain. A free
    // or unknown index is refused: unlinking it again would corrupt the links.
    void Remove(int32_t index) {
        if (!IsLive(index)) return;
        int32_t successor = m_slots[size_t(index)].next;
        for (Iterator* it : m_iterators)
            if (it->Index() == index) it->Set(successor);
        Unlink(index);
        Slot& s = m_slots[size_t(index)];
        s.live = false;
        s.value = T();
        Append(index, m_free, m_freeTail);
        --m_count;
    }

    void MoveToTail(int32_t index) {
        if (!IsLive(index) || index == m_tail) return;
        Unlink(index);
        Link(index);
    }

    bool IsLive(int32_t index) const {
        return index >= 0 && size_t(index) < m_slots.size() && m_slots[size_t(index)].live;
    }
    T* At(int32_t index) { return IsLive(index) ? &m_slots[size_t(index)].value : nullptr; }
    int32_t Head() const { return m_head; }
    int32_t Tail() const { return m_tail; }
    int32_t Next(int32_t index) const { return IsLive(index) ? m_slots[size_t(index)].next : kNone; }
    size_t Size() const { return m_count; }

    // Empties the list; registered iterators stand nowhere.
    void Clear() {
        m_slots.clear();
        m_head = m_tail = m_free = m_freeTail = kNone;
        m_count = 0;
        for (Iterator* it : m_iterators) it->Set(kNone);
    }

private:
    struct Slot {
        T value{};
        int32_t prev = kNone;
        int32_t next = kNone;
        bool live = false;
    };

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
    int32_t m_head = kNone;
    int32_t m_tail = kNone;
    int32_t m_free = kNone;      // first free slot, reused next
    int32_t m_freeTail = kNone;  // last free slot, where removals go
    size_t m_count = 0;
};

} // namespace kvl
