#include "HeapCounter.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

namespace {

// Constant-initialised, so allocations made before any constructor runs
// are counted too.
std::atomic<int64_t> g_inUse{0};
std::atomic<int64_t> g_peak{0};
std::atomic<uint64_t> g_largest{0};

}  // namespace

// TRELVAN_COUNT_HEAP is 0 where a sanitizer owns the allocator: then
// nothing is replaced and Active() says so.
#if TRELVAN_COUNT_HEAP

// The C library's own allocator under its internal names: the replacements
// below forward to them and count what they hand out.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
}

namespace {

void NoteRequest(uint64_t bytes) {
    uint64_t seen = g_largest.load(std::memory_order_relaxed);
    while (bytes > seen && !g_largest.compare_exchange_weak(seen, bytes)) {
    }
}

void Granted(void* p) {
    if (p == nullptr) {
        return;
    }
    const int64_t now = g_inUse.fetch_add(static_cast<int64_t>(malloc_usable_size(p))) +
                        static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void Released(void* p) {
    if (p != nullptr) {
        g_inUse.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)));
    }
}

bool PowerOfTwo(size_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
    NoteRequest(size);
    void* p = __libc_malloc(size);
    Granted(p);
    return p;
}

void* calloc(size_t count, size_t size) {
    size_t total = 0;
    NoteRequest(__builtin_mul_overflow(count, size, &total) ? UINT64_MAX : total);
    void* p = __libc_calloc(count, size);
    Granted(p);
    return p;
}

void* realloc(void* old, size_t size) {
    NoteRequest(size);
    const int64_t before = old != nullptr ? static_cast<int64_t>(malloc_usable_size(old)) : 0;
    void* p = __libc_realloc(old, size);
    if (p != nullptr || (old != nullptr && size == 0)) {
        // Moved, resized or (size 0) freed: the old block is gone either way.
        g_inUse.fetch_sub(before);
        Granted(p);
    }
    return p;
}

void free(void* p) {
    Released(p);
    __libc_free(p);
}

void* memalign(size_t alignment, size_t size) {
    NoteRequest(size);
    void* p = __libc_memalign(alignment, size);
    Granted(p);
    return p;
}

void* aligned_alloc(size_t alignment, size_t size) {
    return memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
    if (!PowerOfTwo(alignment) || alignment % sizeof(void*) != 0) {
        return EINVAL;
    }
    void* p = memalign(alignment, size);
    if (p == nullptr) {
        return ENOMEM;
    }
    *out = p;
    return 0;
}

void* valloc(size_t size) {
    NoteRequest(size);
    void* p = __libc_valloc(size);
    Granted(p);
    return p;
}

void* pvalloc(size_t size) {
    NoteRequest(size);
    void* p = __libc_pvalloc(size);
    Granted(p);
    return p;
}

}  // extern "C"

#endif  // TRELVAN_COUNT_HEAP

namespace trelvan::test {

bool HeapCounter::Active() {
    if (!TRELVAN_COUNT_HEAP) {
        return false;
    }
    const int64_t before = g_inUse.load();
    void* volatile p = std::malloc(1 << 16);
    const bool counted = g_inUse.load() >= before + (1 << 16);
    std::free(p);
    return counted;
}

int64_t HeapCounter::BytesInUse() {
    return g_inUse.load();
}

void HeapCounter::Begin() {
    m_start = g_inUse.load();
    g_peak.store(m_start);
    g_largest.store(0);
}

HeapUse HeapCounter::End() const {
    HeapUse use;
    use.peakGrowth = g_peak.load() - m_start;
    use.largestRequest = g_largest.load();
    return use;
}

}  // namespace trelvan::test
