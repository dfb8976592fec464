#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

// A palette entry as stored in bitmap formats: blue, green, red, reserved.
struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

// A typed, resizable array of plain elements, grown with realloc and released
// with free. The count is in elements. Shrinking the count to 0 (or below)
// keeps the storage, so a buffer can be reused without a new allocation.
// Failures show only as a null pointer and a count of 0.
template <typename T>
class CMemBuffBase {
public:
    CMemBuffBase() = default;
    CMemBuffBase(const CMemBuffBase&) = delete;
    CMemBuffBase& operator=(const CMemBuffBase&) = delete;
    virtual ~CMemBuffBase() { Free(); }

    // Reallocates to n elements when n > 0 and differs from the count (old
    // contents kept up to the smaller size). With n <= 0 only the count
    // changes (to 0) and the storage stays. An allocation failure frees the
    // storage and leaves an empty buffer.
    virtual void Resize(int32_t n) {
        if (n > 0 && n != m_count) {
            if (static_cast<uint64_t>(n) > std::numeric_limits<size_t>::max() / sizeof(T)) {
                Free();
                return;
            }
            void* p = std::realloc(m_data, static_cast<size_t>(n) * sizeof(T));
            if (p == nullptr) {
                Free();
                return;
            }
            m_data = static_cast<T*>(p);
        }
        m_count = n > 0 ? n : 0;
        if (m_data == nullptr) {
            m_count = 0;
        }
    }

    // Grows to at least n elements (never shrinks); null when growing failed.
    virtual T* GetBuffer(int32_t n) {
        if (m_count < n) {
            Resize(n);
            if (m_count < n) {
                return nullptr;
            }
        }
        return m_data;
    }

    virtual bool Fill(uint8_t value) { return FillCount(value, m_count); }

    // Sets the bytes of the first n elements to value.
    virtual bool FillCount(uint8_t value, int32_t n) {
        if (m_data == nullptr || n < 0 || n > m_count) {
            return false;
        }
        std::memset(m_data, value, static_cast<size_t>(n) * sizeof(T));
        return true;
    }

    virtual bool CopyFrom(const CMemBuffBase& other) { return CopyIn(other.m_data, other.m_count); }

    // Copies n elements in; refuses (false) when n exceeds the count.
    virtual bool CopyIn(const T* source, int32_t n) {
        if (m_data == nullptr || n < 0 || n > m_count || (n > 0 && source == nullptr)) {
            return false;
        }
        if (n > 0) {
            std::memmove(m_data, source, static_cast<size_t>(n) * sizeof(T));
        }
        return true;
    }

    virtual int32_t GetCount() const { return m_count; }
    virtual int64_t GetByteSize() const { return static_cast<int64_t>(m_count) * sizeof(T); }

    virtual void Free() {
        std::free(m_data);
        m_data = nullptr;
        m_count = 0;
    }

    T* Data() { return m_data; }
    const T* Data() const { return m_data; }
    bool HasStorage() const { return m_data != nullptr; }

private:
    T* m_data = nullptr;
    int32_t m_count = 0;
};
