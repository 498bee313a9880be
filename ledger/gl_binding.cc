// The library's binding to the general-ledger module (see gl_binding.h).
#include "ledger/gl_binding.h"

#include "framework/module/function_address.h"
#include "framework/module/module_registry.h"

namespace {
constexpr const char* kModule = "LEDGERCORE";
}  // namespace

const glwFactoryBinding kGLNewFiscalEntity{0, kModule, "_gl_new_fiscal_entity"};
const glwFactoryBinding kGLNewAccountBuilder{0, kModule, "_gl_new_account_builder"};
const glwFactoryBinding kGLNewAccountCursor{0, kModule, "_gl_new_account_cursor"};
const glwFactoryBinding kGLNewBaseAccountCursor{0, kModule, "_gl_new_base_account_cursor"};
const glwFactoryBinding kGLNewPrefixACursor{0, kModule, "_gl_new_prefix_a_cursor"};
const glwFactoryBinding kGLNewPrefixBCursor{0, kModule, "_gl_new_prefix_b_cursor"};
const glwFactoryBinding kGLNewPrefixCCursor{0, kModule, "_gl_new_prefix_c_cursor"};
const glwFactoryBinding kGLNewPartnerCursor{0, kModule, "_gl_new_partner_cursor"};
const glwFactoryBinding kGLNewJournalCursor{0, kModule, "_gl_new_journal_cursor"};
const glwFactoryBinding kGLNewBudgetCursor{0, kModule, "_gl_new_budget_cursor"};
const glwFactoryBinding kGLNewGLMHeader{0, kModule, "_gl_new_glm_header"};
const glwFactoryBinding kGLNewICBaseAccountValidator{0, kModule, "_gl_new_ic_base_account_validator"};
const glwFactoryBinding kGLNewAccountLister{0, kModule, "_gl_new_account_lister"};
const glwFactoryBinding kGLNewJournalLister{0, kModule, "_gl_new_journal_lister"};
const glwFactoryBinding kGLNewPrefixLister{0, kModule, "_gl_new_prefix_lister"};
const glwFactoryBinding kGLNewTransactionLock{0, kModule, "_gl_new_transaction_lock"};
const glwFactoryBinding kGLNewActivityHistoryRoller{0, kModule, "_gl_new_activity_history_roller"};

const std::array<const glwFactoryBinding*, 17> kGLFactoryBindings{
    &kGLNewFiscalEntity,  &kGLNewAccountBuilder, &kGLNewAccountCursor,          &kGLNewBaseAccountCursor,
    &kGLNewPrefixACursor, &kGLNewPrefixBCursor,  &kGLNewPrefixCCursor,          &kGLNewPartnerCursor,
    &kGLNewJournalCursor, &kGLNewBudgetCursor,   &kGLNewGLMHeader,              &kGLNewICBaseAccountValidator,
    &kGLNewAccountLister, &kGLNewJournalLister,  &kGLNewPrefixLister,           &kGLNewTransactionLock,
    &kGLNewActivityHistoryRoller};

glwFactoryCode glwResolveFactory(const glwFactoryBinding& binding, const tspoInterfaceID& id, void** out) {
  *out = nullptr;
  if (!binding.module || !binding.factory) return kGLWModuleNotLoaded;
  void* address = nullptr;
  tsLoadedModule os_module;  // mode 1: the reference is held only for this call
  if (binding.mode == 0) {
    const unsigned short handle = xdll_dll_loaded(binding.module);
    if (handle == 0) return kGLWModuleNotLoaded;
    address = xdll_get_function(handle, binding.factory);
  } else {
    os_module = tsLoadedModule::Find(binding.module);
    if (!os_module) return kGLWModuleNotLoaded;
    address = os_module.Function(binding.factory);
  }
  if (!address) return kGLWNoSuchFactory;
  glObject* object = reinterpret_cast<glFactoryFunction>(address)();
  if (!object) return kGLWNoObject;
  if (id == kIID_glObject) {
    *out = object;
    return kGLWFactoryOK;
  }
  void* itf = nullptr;
  if (object->QueryInterface(id, &itf) && itf) {
    *out = itf;
    return kGLWFactoryOK;
  }
  object->Release();
  return kGLWInterfaceRefused;
}

void* glwFindFunction(const char* name) { return zd_function_address("GL", name); }

// ---- entry points -------------------------------------------------------------

namespace glw {

namespace {
// One slot per function; the macro keeps name and type together.
#define GLW_SLOT(NAME) glwFunctionSlot<NAME##_FN> NAME##_slot(#NAME)
GLW_SLOT(GL_COMMIT_TRANSACTION_FOR_RECAP);
GLW_SLOT(GL_FISCAL_ENTITY_AT_COMPANY);
GLW_SLOT(GL_FREE_RECAP_INFO);
GLW_SLOT(GL_GET_ACTIVITY);
GLW_SLOT(GL_GET_BUDGET);
GLW_SLOT(GL_INIT_UPDATE);
GLW_SLOT(GL_LIST_ACCOUNTS);
GLW_SLOT(GL_LIST_ACCOUNTS_BOTH_VIEWS);
GLW_SLOT(GL_LIST_JOURNALS);
GLW_SLOT(GL_LIST_SECTIONS);
GLW_SLOT(GL_OPEN_MASTER_FILE);
GLW_SLOT(GL_PRINT_ACCT_RECAP);
GLW_SLOT(GL_PROCESS_TRANSACTION);
GLW_SLOT(GL_PST_RD_FILE);
GLW_SLOT(GL_RD_HEADER);
GLW_SLOT(GL_REMOVE_TRANSACTION);
GLW_SLOT(GL_ROLLBACK_TRANSACTION_FOR_RECAP);
GLW_SLOT(GL_START_TRANSACTION_FOR_RECAP);
GLW_SLOT(GL_TERM_UPDATE);
GLW_SLOT(GL_UPDATE);
GLW_SLOT(GL_VALID_ACCOUNT);
GLW_SLOT(GL_VALID_JOURNAL);
GLW_SLOT(GL_VALID_SECTION);
GLW_SLOT(GLM_NUM);
#undef GLW_SLOT
}  // namespace

void GL_COMMIT_TRANSACTION_FOR_RECAP(void* block) {
  if (auto f = GL_COMMIT_TRANSACTION_FOR_RECAP_slot.Get()) f(block);
}
bool GL_FISCAL_ENTITY_AT_COMPANY(short glm_file) {
  auto f = GL_FISCAL_ENTITY_AT_COMPANY_slot.Get();
  return f ? f(glm_file) : true;
}
void GL_FREE_RECAP_INFO(void* block) {
  if (auto f = GL_FREE_RECAP_INFO_slot.Get()) f(block);
}
double GL_GET_ACTIVITY(short glm_file, const char* account, int32_t year, int16_t period, short ledger) {
  auto f = GL_GET_ACTIVITY_slot.Get();
  return f ? f(glm_file, account, gl_period_arg{year, period}, ledger) : 0;
}
short GL_GET_BUDGET(short glm_file, const char* account, int32_t year, int16_t period, double* amount) {
  auto f = GL_GET_BUDGET_slot.Get();
  return f ? f(glm_file, account, gl_period_arg{year, period}, amount) : 1;
}
short GL_INIT_UPDATE(void* block) {
  auto f = GL_INIT_UPDATE_slot.Get();
  return f ? f(block) : 1;
}
short GL_LIST_ACCOUNTS(short glm_file, void* list) {
  auto f = GL_LIST_ACCOUNTS_slot.Get();
  return f ? f(glm_file, list) : 1;
}
short GL_LIST_ACCOUNTS_BOTH_VIEWS(short glm_file, void* list) {
  auto f = GL_LIST_ACCOUNTS_BOTH_VIEWS_slot.Get();
  return f ? f(glm_file, list) : 1;
}
short GL_LIST_JOURNALS(short glm_file, void* list) {
  auto f = GL_LIST_JOURNALS_slot.Get();
  return f ? f(glm_file, list) : 1;
}
short GL_LIST_SECTIONS(short glm_file, short section, void* list) {
  auto f = GL_LIST_SECTIONS_slot.Get();
  return f ? f(glm_file, section, list) : 1;
}
short GL_OPEN_MASTER_FILE(short mode) {
  auto f = GL_OPEN_MASTER_FILE_slot.Get();
  return f ? f(mode) : 0;
}
void GL_PRINT_ACCT_RECAP(void* block, void* print_block) {
  if (auto f = GL_PRINT_ACCT_RECAP_slot.Get()) f(block, print_block);
}
short GL_PROCESS_TRANSACTION(void* block) {
  auto f = GL_PROCESS_TRANSACTION_slot.Get();
  return f ? f(block) : 0;
}
void GL_PST_RD_FILE(short a, short b, short c) {
  if (auto f = GL_PST_RD_FILE_slot.Get()) f(a, b, c);
}
short GL_RD_HEADER(short glm_file, void* header) {
  auto f = GL_RD_HEADER_slot.Get();
  return f ? f(glm_file, header) : 0;
}
short GL_REMOVE_TRANSACTION(void* block) {
  auto f = GL_REMOVE_TRANSACTION_slot.Get();
  return f ? f(block) : 0;
}
void GL_ROLLBACK_TRANSACTION_FOR_RECAP(void* block) {
  if (auto f = GL_ROLLBACK_TRANSACTION_FOR_RECAP_slot.Get()) f(block);
}
bool GL_START_TRANSACTION_FOR_RECAP(void* block) {
  auto f = GL_START_TRANSACTION_FOR_RECAP_slot.Get();
  return f ? f(block) : true;
}
void GL_TERM_UPDATE(void* block) {
  if (auto f = GL_TERM_UPDATE_slot.Get()) f(block);
}
short GL_UPDATE(void* block) {
  auto f = GL_UPDATE_slot.Get();
  return f ? f(block) : 1;
}
short GL_VALID_ACCOUNT(void* request, short a, short b, const char* account, short c, short d, int32_t* result) {
  auto f = GL_VALID_ACCOUNT_slot.Get();
  return f ? f(request, a, b, account, c, d, result) : 1;
}
short GL_VALID_JOURNAL(void* request, short journal, int32_t* result) {
  auto f = GL_VALID_JOURNAL_slot.Get();
  return f ? f(request, journal, result) : 1;
}
short GL_VALID_SECTION(void* request, short section, short a, short b, const char* value, short c,
                       int32_t* result) {
  auto f = GL_VALID_SECTION_slot.Get();
  return f ? f(request, section, a, b, value, c, result) : 1;
}
short GLM_NUM() {
  auto f = GLM_NUM_slot.Get();
  return f ? f() : 0;
}

}  // namespace glw

void glwPostReadFile(short a, short b, short c) { glw::GL_PST_RD_FILE(a, b, c); }
