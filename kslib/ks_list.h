#pragma once
// The library's doubly linked list: heap entries {next, previous, item},
// appended at the tail. Appending can fail (no memory); the list never owns
// its items, their owner deletes them.

#include <new>

namespace kslib {

template <typename T>
class CKsList {
public:
    struct Entry {
        Entry* pNext;
        Entry* pPrev;
        T* pItem;
    };

    CKsList() = default;
    ~CKsList() { RemoveAll(); }
    CKsList(const CKsList&) = delete;
    CKsList& operator=(const CKsList&) = delete;

    bool AddTail(T* pItem) {
        Entry* pEntry = new (std::nothrow) Entry{nullptr, m_pTail, pItem};
        if (pEntry == nullptr) return false;
        if (m_pTail != nullptr) {
            m_pTail->pNext = pEntry;
        } else {
            m_pHead = pEntry;
        }
        m_pTail = pEntry;
        ++m_cItems;
        return true;
    }

    // Drops the entries, not the items.
    void RemoveAll() {
        while (m_pHead != nullptr) {
            Entry* pNext = m_pHead->pNext;
            delete m_pHead;
            m_pHead = pNext;
        }
        m_pTail = nullptr;
        m_cItems = 0;
    }

    bool IsEmpty() const { return m_cItems == 0; }
    unsigned Count() const { return m_cItems; }
    T* Head() const { return m_pHead != nullptr ? m_pHead->pItem : nullptr; }

    class Iterator {
    public:
        explicit Iterator(Entry* p) : m_p(p) {}
        T* operator*() const { return m_p->pItem; }
        Iterator& operator++() {
            m_p = m_p->pNext;
            return *this;
        }
        bool operator!=(const Iterator& o) const { return m_p != o.m_p; }

    private:
        Entry* m_p;
    };
    Iterator begin() const { return Iterator(m_pHead); }
    Iterator end() const { return Iterator(nullptr); }

private:
    Entry* m_pHead = nullptr;
    Entry* m_pTail = nullptr;
    unsigned m_cItems = 0;
};

}  // namespace kslib
