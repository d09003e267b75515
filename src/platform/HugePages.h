#pragma once
// Large tables fill hundreds of megabytes at start; with small pages every
// 4 KiB costs a page fault, with huge pages every 2 MiB does.

#include <cstddef>
#include <cstdlib>
#include <new>

namespace platform {

constexpr std::size_t kHugePageBytes = std::size_t(1) << 21;

// Asks for huge pages behind the whole huge pages inside [data, data + bytes),
// before they are touched. Advice only: without it small pages serve as before.
void PreferHugePages(void* data, std::size_t bytes);

// For containers that grow to many megabytes (a hash table of a million
// keys): their large buffers in huge pages, the small ones as usual.
template <class T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePageBytes) return static_cast<T*>(::operator new(bytes));
        const std::size_t rounded = (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
        void* data = std::aligned_alloc(kHugePageBytes, rounded);
        if (!data) throw std::bad_alloc();
        PreferHugePages(data, rounded);
        return static_cast<T*>(data);
    }
    void deallocate(T* data, std::size_t n) noexcept {
        if (n * sizeof(T) < kHugePageBytes) {
            ::operator delete(data);
        } else {
            std::free(data);
        }
    }
    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace platform
