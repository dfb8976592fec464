#pragma once

#include <cstdint>
#include <limits>
#include <new>

// Owner of one heap object of class T (null when empty).
template <typename T>
class CMemBuffClassBase {
public:
    CMemBuffClassBase() = default;
    explicit CMemBuffClassBase(T* object) : m_object(object) {}
    CMemBuffClassBase(const CMemBuffClassBase&) = delete;
    CMemBuffClassBase& operator=(const CMemBuffClassBase&) = delete;
    virtual ~CMemBuffClassBase() { CMemBuffClassBase::Release(); }

    // Deletes the object; the owner is empty afterwards.
    virtual void Release() {
        delete m_object;
        m_object = nullptr;
    }
    // Releases the current object, then owns the new one.
    virtual void Attach(T* object) {
        Release();
        m_object = object;
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

protected:
    T* m_object = nullptr;
};

// The same owner, handed to code that may use the object but not replace it.
template <typename T>
class CMemBuffClassBaseConst : public CMemBuffClassBase<T> {
public:
    using CMemBuffClassBase<T>::CMemBuffClassBase;
};

// Owner of an array of T objects created together, with its element count.
template <typename T>
class CMemBuffClassArrayBase : public CMemBuffClassBase<T> {
public:
    CMemBuffClassArrayBase() = default;
    ~CMemBuffClassArrayBase() override { ReleaseArray(); }

    // Destroys every element and frees the array.
    void Release() override { ReleaseArray(); }

    // Owns an array made with new T[count].
    void Attach(T* array) override { Attach(array, array != nullptr ? 1 : 0); }
    virtual void Attach(T* array, int32_t count) {
        ReleaseArray();
        this->m_object = array;
        m_count = array != nullptr ? count : 0;
    }

    // Replaces the array with n default-constructed objects (none for n <= 0).
    // A byte size beyond 32 bits is an allocation failure (std::bad_alloc).
    virtual void Create(int32_t n) {
        ReleaseArray();
        if (n <= 0) {
            return;
        }
        if (static_cast<uint64_t>(n) * sizeof(T) > std::numeric_limits<uint32_t>::max()) {
            throw std::bad_alloc();
        }
        Attach(new T[static_cast<size_t>(n)], n);
    }

    int32_t GetCount() const { return m_count; }
    T& operator[](int32_t i) const { return this->m_object[i]; }

private:
    void ReleaseArray() {
        delete[] this->m_object;
        this->m_object = nullptr;
        m_count = 0;
    }

    int32_t m_count = 0;
};
