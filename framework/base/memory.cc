// Memory blocks exchanged with other modules (see memory.h).
#include "framework/base/memory.h"

#include <cstdlib>
#include <cstring>

void* x_alloc(std::size_t size) noexcept { return std::calloc(size == 0 ? 1 : size, 1); }

void x_free(void* block) noexcept { std::free(block); }

void x_fill(void* block, std::size_t size, unsigned char value) noexcept {
  if (block && size) std::memset(block, value, size);
}
