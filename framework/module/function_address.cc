// Functions of other applications by name (see function_address.h).
#include "framework/module/function_address.h"

#include <map>
#include <mutex>

#include "framework/module/module_registry.h"

namespace {

std::mutex mu;
std::map<std::string, std::string, std::less<>>& Applications() {
  static auto* apps = new std::map<std::string, std::string, std::less<>>{{"GL", "LEDGERCORE"}};
  return *apps;
}

}  // namespace

void zd_register_application(std::string_view application, std::string_view module_name) {
  std::lock_guard<std::mutex> lock(mu);
  Applications()[std::string(application)] = std::string(module_name);
}

std::string zd_application_module(std::string_view application) {
  std::lock_guard<std::mutex> lock(mu);
  auto it = Applications().find(application);
  return it == Applications().end() ? std::string() : it->second;
}

void* zd_function_address(std::string_view application, std::string_view name) {
  const std::string module = zd_application_module(application);
  if (module.empty()) return nullptr;
  const unsigned short handle = xdll_dll_loaded(module);
  return handle ? xdll_get_function(handle, name) : nullptr;
}
