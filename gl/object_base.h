// The common implementation of the general-ledger module's objects: the
// reference, the interfaces an object answers, and the count of live
// objects that the module reports to tests (gl_live_objects).
#pragma once

#include <atomic>

#include "framework/module/gl_objects.h"

namespace gl {

// Objects alive in the module now.
int LiveObjects();
// While set, objects answer only the base interface (a test switch).
bool RefusingInterfaces();
void SetRefusingInterfaces(bool refuse);
// While set, every factory returns no object (a test switch).
bool FactoriesFail();
void SetFactoriesFail(bool fail);

namespace detail {
void CountObject(int delta);
}

// Implements glObject for an object that offers the interface I (itself
// derived from glObject) under the identifier `Id`.
template <typename I, const tspoInterfaceID& Id>
class Object : public I {
 public:
  Object() { detail::CountObject(1); }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  bool QueryInterface(const tspoInterfaceID& id, void** out) final {
    *out = nullptr;
    if (id == kIID_glObject) {
      *out = static_cast<glObject*>(this);
    } else if (id == Id && !RefusingInterfaces()) {
      *out = static_cast<I*>(this);
    }
    return *out != nullptr;
  }
  void Release() final { delete this; }

 protected:
  virtual ~Object() { detail::CountObject(-1); }
};

}  // namespace gl
