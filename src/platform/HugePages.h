#pragma once
// Large tables fill hundreds of megabytes at start; with small pages every
// 4 KiB costs a page fault, with huge pages every 2 MiB does.

#include <cstddef>

namespace platform {

constexpr std::size_t kHugePageBytes = std::size_t(1) << 21;

// Asks for huge pages behind the whole huge pages inside [data, data + bytes),
// before they are touched. Advice only: without it small pages serve as before.
void PreferHugePages(void* data, std::size_t bytes);

}  // namespace platform
