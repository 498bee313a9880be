// The library's binding to the general-ledger module, which it never links:
//   - the general ledger's C functions, found by name under the application
//     code "GL" (zd_function_address) on first use and kept in one slot per
//     name for the rest of the process. The entry points in namespace glw
//     forward to them; when a function cannot be found an entry point
//     returns the value the general-ledger interface fixes for that case
//     (given with each below), stores nothing and looks again next time;
//   - the module's object factories, found in the loaded module "LEDGERCORE"
//     on every call (glwResolveFactory, glwInterface). Nothing here loads the
//     module.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "framework/module/gl_functions.h"
#include "framework/module/gl_objects.h"
#include "records/bk_export.h"

// How a factory is found. Fields in this order: lookup mode (0 through the
// framework's module registry, 1 through the process's loaded modules),
// module name, factory name. Every binding the library declares uses mode 0.
struct glwFactoryBinding {
  int32_t mode;
  const char* module;
  const char* factory;
};

// The general-ledger interface's factories, in their declared order.
BK_EXPORT extern const glwFactoryBinding kGLNewFiscalEntity;
BK_EXPORT extern const glwFactoryBinding kGLNewAccountBuilder;
BK_EXPORT extern const glwFactoryBinding kGLNewAccountCursor;
BK_EXPORT extern const glwFactoryBinding kGLNewBaseAccountCursor;
BK_EXPORT extern const glwFactoryBinding kGLNewPrefixACursor;
BK_EXPORT extern const glwFactoryBinding kGLNewPrefixBCursor;
BK_EXPORT extern const glwFactoryBinding kGLNewPrefixCCursor;
BK_EXPORT extern const glwFactoryBinding kGLNewPartnerCursor;
BK_EXPORT extern const glwFactoryBinding kGLNewJournalCursor;
BK_EXPORT extern const glwFactoryBinding kGLNewBudgetCursor;
BK_EXPORT extern const glwFactoryBinding kGLNewGLMHeader;
BK_EXPORT extern const glwFactoryBinding kGLNewICBaseAccountValidator;
BK_EXPORT extern const glwFactoryBinding kGLNewAccountLister;
BK_EXPORT extern const glwFactoryBinding kGLNewJournalLister;
BK_EXPORT extern const glwFactoryBinding kGLNewPrefixLister;
BK_EXPORT extern const glwFactoryBinding kGLNewTransactionLock;
BK_EXPORT extern const glwFactoryBinding kGLNewActivityHistoryRoller;
// All seventeen, in the same order.
BK_EXPORT extern const std::array<const glwFactoryBinding*, 17> kGLFactoryBindings;

// Codes of glwResolveFactory.
enum glwFactoryCode : short {
  kGLWFactoryOK = 0,             // the interface was obtained
  kGLWModuleNotLoaded = 1,
  kGLWNoSuchFactory = 2,
  kGLWInterfaceRefused = 3,      // the object was released
  kGLWNoObject = 4,              // the factory returned no object
};

// Makes an object with the binding's factory and obtains the interface `id`
// from it. `*out` is the interface (released by the caller, once, on every
// path) or null. Asking for kIID_glObject hands out the object itself.
[[nodiscard]] BK_EXPORT glwFactoryCode glwResolveFactory(const glwFactoryBinding& binding, const tspoInterfaceID& id,
                                                         void** out);

// Owns one general-ledger interface obtained through a factory binding and
// releases it when it goes, so no path leaks an object and none calls or
// releases an object that was not obtained.
template <typename I>
class glwInterface {
 public:
  glwInterface(const glwFactoryBinding& binding, const tspoInterfaceID& id) {
    void* raw = nullptr;
    code_ = glwResolveFactory(binding, id, &raw);
    ptr_ = static_cast<I*>(raw);
  }
  ~glwInterface() {
    if (ptr_) ptr_->Release();
  }
  glwInterface(const glwInterface&) = delete;
  glwInterface& operator=(const glwInterface&) = delete;

  explicit operator bool() const { return ptr_ != nullptr; }
  I* operator->() const { return ptr_; }
  I* get() const { return ptr_; }
  glwFactoryCode Code() const { return code_; }

 private:
  I* ptr_ = nullptr;
  glwFactoryCode code_ = kGLWModuleNotLoaded;
};

// One process-wide slot per general-ledger function name: empty at start,
// filled with the function's address the first time it is found and never
// cleared. Two threads racing on a first call both look it up and store
// the same address.
template <typename Fn>
class glwFunctionSlot {
 public:
  explicit constexpr glwFunctionSlot(const char* name) : name_(name) {}
  // The function, looking it up while the slot is empty; null when it
  // cannot be found.
  Fn Get();
  bool Filled() const { return fn_.load(std::memory_order_acquire) != nullptr; }
  const char* Name() const { return name_; }

 private:
  const char* name_;
  std::atomic<Fn> fn_{nullptr};
};

// Looks a general-ledger function up by name (zd_function_address("GL", name)).
BK_EXPORT void* glwFindFunction(const char* name);

template <typename Fn>
Fn glwFunctionSlot<Fn>::Get() {
  Fn f = fn_.load(std::memory_order_acquire);
  if (!f) {
    f = reinterpret_cast<Fn>(glwFindFunction(name_));
    if (f) fn_.store(f, std::memory_order_release);
  }
  return f;
}

// Entry points, one per general-ledger function. The value after "->" is
// what each returns when the function cannot be found.
namespace glw {
BK_EXPORT void GL_COMMIT_TRANSACTION_FOR_RECAP(void* update_block);                    // -> nothing
BK_EXPORT bool GL_FISCAL_ENTITY_AT_COMPANY(short glm_file);                             // -> true
BK_EXPORT void GL_FREE_RECAP_INFO(void* update_block);                                  // -> nothing
// The period (year, period) is passed on as one 6-byte value.
BK_EXPORT double GL_GET_ACTIVITY(short glm_file, const char* account, int32_t year, int16_t period,
                                 short ledger);                                          // -> 0
BK_EXPORT short GL_GET_BUDGET(short glm_file, const char* account, int32_t year, int16_t period,
                              double* amount);                                           // -> 1
BK_EXPORT short GL_INIT_UPDATE(void* update_block);                                     // -> 1
BK_EXPORT short GL_LIST_ACCOUNTS(short glm_file, void* list_block);                     // -> 1
BK_EXPORT short GL_LIST_ACCOUNTS_BOTH_VIEWS(short glm_file, void* list_block);          // -> 1
BK_EXPORT short GL_LIST_JOURNALS(short glm_file, void* list_block);                     // -> 1
BK_EXPORT short GL_LIST_SECTIONS(short glm_file, short section, void* list_block);      // -> 1
BK_EXPORT short GL_OPEN_MASTER_FILE(short mode);                                        // -> 0
BK_EXPORT void GL_PRINT_ACCT_RECAP(void* update_block, void* print_block);              // -> nothing
BK_EXPORT short GL_PROCESS_TRANSACTION(void* update_block);                             // -> 0
BK_EXPORT void GL_PST_RD_FILE(short a, short b, short c);                               // -> nothing
BK_EXPORT short GL_RD_HEADER(short glm_file, void* header_block);                       // -> 0
BK_EXPORT short GL_REMOVE_TRANSACTION(void* update_block);                              // -> 0
BK_EXPORT void GL_ROLLBACK_TRANSACTION_FOR_RECAP(void* update_block);                   // -> nothing
BK_EXPORT bool GL_START_TRANSACTION_FOR_RECAP(void* update_block);                      // -> true
BK_EXPORT void GL_TERM_UPDATE(void* update_block);                                      // -> nothing
BK_EXPORT short GL_UPDATE(void* update_block);                                          // -> 1
BK_EXPORT short GL_VALID_ACCOUNT(void* request, short a, short b, const char* account, short c, short d,
                                 int32_t* result);                                       // -> 1
BK_EXPORT short GL_VALID_JOURNAL(void* request, short journal, int32_t* result);        // -> 1
BK_EXPORT short GL_VALID_SECTION(void* request, short section, short a, short b, const char* value, short c,
                                 int32_t* result);                                       // -> 1
BK_EXPORT short GLM_NUM();                                                               // -> 0
}  // namespace glw

// Tells the general ledger that a program has read data files: forwards the
// three numbers to "GL_PST_RD_FILE" (nothing happens without it).
BK_EXPORT void glwPostReadFile(short a, short b, short c);
