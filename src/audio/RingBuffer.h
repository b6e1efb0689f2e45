#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

namespace sonalto::audio {

// Bounded lock-free queue for one producer thread and one consumer thread. The
// audio thread writes without ever waiting; a full buffer is reported to the
// caller instead. clear() is only safe while neither side is running (the
// owner serialises it with both).
template <typename T> class RingBuffer
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    explicit RingBuffer(size_t capacity)
        : m_capacity(capacity), m_data(std::make_unique<T[]>(capacity + 1))
    {
    }

    size_t capacity() const { return m_capacity; }

    size_t size() const
    {
        const size_t w = m_write.load(std::memory_order_acquire);
        const size_t r = m_read.load(std::memory_order_acquire);
        return w >= r ? w - r : w + storageSize() - r;
    }
    size_t freeSpace() const { return m_capacity - size(); }
    bool empty() const { return size() == 0; }

    // Producer: appends all of `count` items or none. False when they do not fit.
    bool pushAll(const T *items, size_t count)
    {
        if (count > freeSpace())
            return false;
        push(items, count);
        return true;
    }

    // Producer: appends as many items as fit and returns how many.
    size_t push(const T *items, size_t count)
    {
        const size_t w = m_write.load(std::memory_order_relaxed);
        const size_t r = m_read.load(std::memory_order_acquire);
        const size_t used = w >= r ? w - r : w + storageSize() - r;
        count = std::min(count, m_capacity - used);
        const size_t first = std::min(count, storageSize() - w);
        std::memcpy(m_data.get() + w, items, first * sizeof(T));
        std::memcpy(m_data.get(), items + first, (count - first) * sizeof(T));
        m_write.store((w + count) % storageSize(), std::memory_order_release);
        return count;
    }

    // Consumer: takes up to `count` items and returns how many.
    size_t pop(T *out, size_t count)
    {
        const size_t r = m_read.load(std::memory_order_relaxed);
        const size_t w = m_write.load(std::memory_order_acquire);
        const size_t used = w >= r ? w - r : w + storageSize() - r;
        count = std::min(count, used);
        const size_t first = std::min(count, storageSize() - r);
        std::memcpy(out, m_data.get() + r, first * sizeof(T));
        std::memcpy(out + first, m_data.get(), (count - first) * sizeof(T));
        m_read.store((r + count) % storageSize(), std::memory_order_release);
        return count;
    }

    void clear()
    {
        m_read.store(m_write.load(std::memory_order_acquire), std::memory_order_release);
    }

private:
    // One slot stays unused so that full and empty differ.
    size_t storageSize() const { return m_capacity + 1; }

    const size_t m_capacity;
    std::unique_ptr<T[]> m_data;
    alignas(64) std::atomic<size_t> m_write{0};
    alignas(64) std::atomic<size_t> m_read{0};
};

} // namespace sonalto::audio
