#include "platform/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {

void PreferHugePages(void* data, std::size_t bytes) {
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePageBytes - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace platform
