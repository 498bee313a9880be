// Memory blocks exchanged with other modules: fixed-layout blocks that the
// library and another module (the general ledger) both read and write.
//
// x_alloc gives a zero-filled block, or nullptr when there is no memory (it
// never throws); x_free releases one (nullptr is ignored); x_fill sets every
// byte of a block to one value.
#pragma once

#include <cstddef>

#include "framework/base/export.h"

[[nodiscard]] TS_EXPORT void* x_alloc(std::size_t size) noexcept;
TS_EXPORT void x_free(void* block) noexcept;
TS_EXPORT void x_fill(void* block, std::size_t size, unsigned char value) noexcept;
