// The module registry over the dynamic loader (see module_registry.h).
#include "framework/module/module_registry.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "framework/base/log.h"

namespace {

struct Entry {
  std::string name;
  void* handle;  // a reference the registry keeps until the process ends
};

std::mutex mu;
std::vector<Entry>& Entries() {
  static auto* entries = new std::vector<Entry>();  // never destroyed: modules stay loaded
  return *entries;
}

// Handle of an entry already registered under `name`, 0 when none. Caller
// holds mu.
unsigned short FindEntry(std::string_view name) {
  const auto& e = Entries();
  for (size_t i = 0; i < e.size(); ++i) {
    if (e[i].name == name) return static_cast<unsigned short>(i + 1);
  }
  return 0;
}

unsigned short AddEntry(std::string_view name, void* handle) {
  Entries().push_back(Entry{std::string(name), handle});
  return static_cast<unsigned short>(Entries().size());
}

std::string ProgramFolder() {
  std::string buf(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return ".";
  buf.resize(static_cast<size_t>(n));
  const size_t slash = buf.rfind('/');
  return slash == std::string::npos ? "." : buf.substr(0, slash);
}

std::vector<std::string> SearchFolders() {
  std::vector<std::string> dirs;
  if (const char* path = std::getenv("BK_MODULE_PATH"); path && *path) {
    std::string_view p(path);
    while (!p.empty()) {
      const size_t colon = p.find(':');
      std::string_view d = p.substr(0, colon);
      if (!d.empty()) dirs.emplace_back(d);
      if (colon == std::string_view::npos) break;
      p.remove_prefix(colon + 1);
    }
  }
  const std::string exe = ProgramFolder();
  dirs.push_back(exe + "/modules");
  dirs.push_back(exe + "/../modules");
  dirs.push_back(exe + "/../../modules");
  dirs.push_back(exe);
  return dirs;
}

}  // namespace

std::string xdll_file_name(std::string_view name) { return "lib" + std::string(name) + ".so"; }

unsigned short xdll_load(std::string_view name) {
  if (name.empty()) return 0;
  if (unsigned short h = xdll_dll_loaded(name)) return h;
  const std::string file = xdll_file_name(name);
  std::string errors;
  for (const std::string& dir : SearchFolders()) {
    const std::string path = dir + "/" + file;
    if (access(path.c_str(), F_OK) != 0) continue;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      errors += std::string(" ") + (why ? why : path);
      continue;
    }
    std::lock_guard<std::mutex> lock(mu);
    if (unsigned short h = FindEntry(name)) {  // another thread was quicker
      dlclose(handle);
      return h;
    }
    return AddEntry(name, handle);
  }
  x_log(2, "module " + std::string(name) + " could not be loaded:" + (errors.empty() ? " " + file + " not found" : errors));
  return 0;
}

unsigned short xdll_dll_loaded(std::string_view name) {
  if (name.empty()) return 0;
  std::lock_guard<std::mutex> lock(mu);
  if (unsigned short h = FindEntry(name)) return h;
  // Loaded by other means (a program that links it, or dlopen): register it.
  void* handle = dlopen(xdll_file_name(name).c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_LOCAL);
  if (!handle) return 0;
  return AddEntry(name, handle);
}

void* xdll_get_function(unsigned short handle, std::string_view function) {
  void* module = nullptr;
  {
    std::lock_guard<std::mutex> lock(mu);
    if (handle == 0 || handle > Entries().size()) return nullptr;
    module = Entries()[handle - 1u].handle;
  }
  return dlsym(module, std::string(function).c_str());
}

tsLoadedModule tsLoadedModule::Find(std::string_view name) {
  if (name.empty()) return tsLoadedModule();
  return tsLoadedModule(dlopen(xdll_file_name(name).c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_LOCAL));
}

tsLoadedModule::~tsLoadedModule() {
  if (handle_) dlclose(handle_);
}

tsLoadedModule& tsLoadedModule::operator=(tsLoadedModule&& other) noexcept {
  if (this != &other) {
    if (handle_) dlclose(handle_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void* tsLoadedModule::Function(std::string_view function) const {
  return handle_ ? dlsym(handle_, std::string(function).c_str()) : nullptr;
}
