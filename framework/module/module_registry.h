// The module registry: shared modules of the suite (such as the general
// ledger, "LEDGERCORE") found by name at run time, and their functions.
//
// A module named N is the shared library "libN.so". Only xdll_load loads
// one; every other function looks only at modules already in the process.
// Loading searches, in order:
//   1. each folder of the environment variable BK_MODULE_PATH (separated by
//      ':'), when it is set;
//   2. "modules" beside the running program, then "modules" one and two
//      folders above it (the build tree puts every module in
//      <build>/modules), then the program's own folder.
// A loaded module stays loaded until the process ends.
//
// Handles are 16-bit numbers from 1; 0 means "no module".
#pragma once

#include <string>
#include <string_view>

#include "framework/base/export.h"

// The file name of module `name`: "lib<name>.so".
TS_EXPORT std::string xdll_file_name(std::string_view name);

// Loads module `name` (or finds it when it is loaded already) and returns its
// handle, 0 when it cannot be found or loaded (one log line says why).
TS_EXPORT unsigned short xdll_load(std::string_view name);

// The handle of module `name` when it is loaded in the process (by xdll_load
// or by any other means), else 0. Never loads.
TS_EXPORT unsigned short xdll_dll_loaded(std::string_view name);

// The address of function `function` exported by the module `handle`,
// nullptr when the handle is unknown or the module has no such function.
TS_EXPORT void* xdll_get_function(unsigned short handle, std::string_view function);

// The operating system's view of the loaded modules, without the registry:
// an owned reference on a module that is already loaded, released with the
// object. It never loads a module.
class TS_EXPORT tsLoadedModule {
 public:
  tsLoadedModule() = default;
  // The module `name` if it is in the process (an empty object otherwise).
  static tsLoadedModule Find(std::string_view name);
  ~tsLoadedModule();
  tsLoadedModule(tsLoadedModule&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  tsLoadedModule& operator=(tsLoadedModule&& other) noexcept;
  tsLoadedModule(const tsLoadedModule&) = delete;
  tsLoadedModule& operator=(const tsLoadedModule&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  // The address of an exported function, nullptr when there is none.
  void* Function(std::string_view function) const;

 private:
  explicit tsLoadedModule(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};
