#pragma once

#include <cstddef>
#include <QtGlobal>
#include <vector>

// Values by key, by open addressing in one array: finding one reads a single place in memory,
// which prefetch can bring into the processor's cache ahead of the search. For the tables a
// conversion fills with up to a million entries and searches once per record, where records
// come in no order of their keys and every pointer followed would miss the cache.
//
// Key needs == and size_t hash(). Entries are never removed. A slot is aligned to Alignment
// bytes, so that a slot of 64 bytes or less is read as one cache line.
template<class Key, class Value, std::size_t Alignment = alignof(std::max_align_t)> class OpenTable
{
public:
    const Value *find(const Key &key) const
    {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = key.hash() & mask;; i = (i + 1) & mask) {
            const Slot &slot = m_slots[i];
            if (!slot.used)
                return nullptr;
            if (slot.key == key)
                return &slot.value;
        }
    }
    Value *find(const Key &key) { return const_cast<Value *>(std::as_const(*this).find(key)); }

    // The key is not there yet. The reference holds until the next insert.
    Value &insert(const Key &key)
    {
        if (2 * (m_count + 1) > m_slots.size()) {
            std::vector<Slot> previous(2 * m_slots.size());
            previous.swap(m_slots);
            m_count = 0;
            for (Slot &slot : previous) {
                if (slot.used)
                    insert(slot.key) = std::move(slot.value);
            }
        }
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = key.hash() & mask;
        while (m_slots[i].used)
            i = (i + 1) & mask;
        m_slots[i].used = true;
        m_slots[i].key = key;
        ++m_count;
        return m_slots[i].value;
    }

    void prefetch(const Key &key) const
    {
#if defined(__GNUC__)
        __builtin_prefetch(&m_slots[key.hash() & (m_slots.size() - 1)]);
#else
        Q_UNUSED(key);
#endif
    }

    std::size_t size() const
    {
        return m_count;
    }

private:
    // The mark first and the key next to it.
    struct alignas(Alignment) alignas(Key) alignas(Value) Slot
    {
        bool used = false;
        Key key;
        Value value;
    };
    std::vector<Slot> m_slots = std::vector<Slot>(1024); // a power of two, at most half used
    std::size_t m_count = 0;
};
