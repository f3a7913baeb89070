// Reference-counted, copy-on-write growable arrays.
//
// Copies share one block until either side writes; the writer then takes a private copy of the
// same capacity. The element count belongs to each array object, the block to all sharers.
// Byte arrays grow to exactly the size asked for, other arrays to twice the needed count.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace locket {

template <class T>
class CVipArrBase {
public:
    CVipArrBase() = default;
    explicit CVipArrBase(int capacity) { Allocate(capacity); }
    CVipArrBase(const CVipArrBase& other) { Assign(other); }
    CVipArrBase(CVipArrBase&& other) noexcept { Swap(other); }
    CVipArrBase& operator=(const CVipArrBase& other) {
        Assign(other);
        return *this;
    }
    CVipArrBase& operator=(CVipArrBase&& other) noexcept {
        if (this != &other) {
            Release();
            Swap(other);
        }
        return *this;
    }
    virtual ~CVipArrBase() { Release(); }

    int GetSize() const { return m_count; }
    int GetCapacity() const { return m_capacity; }
    bool IsEmpty() const { return m_count == 0; }
    // How many arrays share this block (0 when there is none).
    int GetRefCount() const { return m_header ? m_header->refs.load() : 0; }

    const T* GetData() const { return m_data; }
    // Makes the block private first: the pointer may be written through.
    T* GetWritableData() {
        CopyBeforeWrite();
        return m_data;
    }
    const T& operator[](int i) const { return m_data[i]; }
    T& ElementAt(int i) {
        CopyBeforeWrite();
        return m_data[i];
    }

    // Throws away the contents and makes room for `capacity` elements, count 0.
    void Allocate(int capacity) {
        Release();
        if (capacity <= 0)
            return;
        m_header = new Header;
        m_header->data = static_cast<T*>(::operator new(sizeof(T) * capacity, kAlign));
        m_data = m_header->data;
        m_capacity = capacity;
        ConstructSlots(m_data, capacity);
    }

    // Keeps the contents and makes sure `capacity` elements fit without a reallocation.
    void Reserve(int capacity) {
        if (capacity > m_capacity)
            Reallocate(capacity);
        else
            CopyBeforeWrite();
    }

    // Sets the count; new elements are value-initialised.
    void SetSize(int count) {
        if (count < 0)
            count = 0;
        if (count > m_capacity)
            Reallocate(GrowTo(count));
        else
            CopyBeforeWrite();
        for (int i = m_count; i < count; ++i)
            m_data[i] = T();
        m_count = count;
    }

    void Append(const T* items, int k) {
        if (k <= 0)
            return;
        if (m_count + k > m_capacity)
            Reallocate(GrowTo(m_count + k));
        else
            CopyBeforeWrite();
        for (int i = 0; i < k; ++i)
            m_data[m_count + i] = items[i];
        m_count += k;
    }
    void Add(const T& item) {
        T copy = item;  // `item` may live inside this array
        Append(&copy, 1);
    }

    // Removes k elements at i; the tail moves down and the freed slots are reset.
    void RemoveAt(int i, int k = 1) {
        if (i < 0 || k <= 0 || i >= m_count)
            return;
        k = std::min(k, m_count - i);
        CopyBeforeWrite();
        std::move(m_data + i + k, m_data + m_count, m_data + i);
        for (int j = m_count - k; j < m_count; ++j)
            m_data[j] = T();
        m_count -= k;
    }

    // Count 0; the block and its capacity are kept.
    void RemoveAll() {
        if (m_count == 0)
            return;
        CopyBeforeWrite();
        for (int j = 0; j < m_count; ++j)
            m_data[j] = T();
        m_count = 0;
    }

    // Drops this array's share of the block; the array becomes empty.
    void Release() {
        if (m_header && m_header->refs.fetch_sub(1) <= 1) {
            DestroySlots(m_header->data, m_capacity);
            ::operator delete(m_header->data, kAlign);
            delete m_header;
        }
        m_header = nullptr;
        m_data = nullptr;
        m_capacity = 0;
        m_count = 0;
    }

    // Takes a private block of the same capacity when the block is shared.
    void CopyBeforeWrite() {
        if (m_header && m_header->refs.load() > 1)
            Reallocate(m_capacity);
    }

protected:
    // Byte stores grow to the exact size; everything else doubles.
    static int GrowTo(int needed) { return std::is_same_v<T, unsigned char> ? needed : needed * 2; }

private:
    struct Header {
        T* data = nullptr;
        std::atomic<int> refs{1};
    };
    static constexpr std::align_val_t kAlign{alignof(T) > 16 ? alignof(T) : 16};

    static void ConstructSlots(T* p, int n) {
        if constexpr (std::is_trivially_default_constructible_v<T>)
            std::memset(static_cast<void*>(p), 0, sizeof(T) * n);
        else
            for (int i = 0; i < n; ++i)
                new (p + i) T();
    }
    static void DestroySlots(T* p, int n) {
        if constexpr (!std::is_trivially_destructible_v<T>)
            for (int i = 0; i < n; ++i)
                p[i].~T();
    }

    void Reallocate(int capacity) {
        CVipArrBase fresh(capacity);
        int keep = std::min(m_count, capacity);
        if (m_header && m_header->refs.load() == 1)
            std::move(m_data, m_data + keep, fresh.m_data);
        else
            std::copy(m_data, m_data + keep, fresh.m_data);
        fresh.m_count = keep;
        Release();
        Swap(fresh);
    }

    void Assign(const CVipArrBase& other) {
        if (m_header == other.m_header) {
            m_count = other.m_count;
            return;
        }
        Release();
        if (!other.m_header)
            return;
        other.m_header->refs.fetch_add(1);
        m_header = other.m_header;
        m_data = other.m_data;
        m_capacity = other.m_capacity;
        m_count = other.m_count;
    }

    void Swap(CVipArrBase& other) noexcept {
        std::swap(m_header, other.m_header);
        std::swap(m_data, other.m_data);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_count, other.m_count);
    }

    Header* m_header = nullptr;
    int m_capacity = 0;
    int m_count = 0;
    T* m_data = nullptr;
};

// The same storage for element types that need construction and assignment one by one,
// such as an array of byte arrays.
template <class T>
class CVipArray : public CVipArrBase<T> {
public:
    using CVipArrBase<T>::CVipArrBase;
    T& operator[](int i) { return this->ElementAt(i); }
    const T& operator[](int i) const { return CVipArrBase<T>::operator[](i); }
};

}  // namespace locket
