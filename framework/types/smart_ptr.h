// tsBase::SmartPtr<T>: a shared, reference-counted pointer. The object it
// owns ends with the last pointer that shares it.
#pragma once

#include <memory>

namespace tsBase {
template <typename T>
using SmartPtr = std::shared_ptr<T>;
}  // namespace tsBase
