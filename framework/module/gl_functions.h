// The C functions of the general-ledger module, found by name under the
// application code "GL" (function_address.h): their types and the blocks
// they exchange.
//
// Blocks are raw byte blocks; integers are in the machine's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

// The validation request of GL_VALID_ACCOUNT and GL_VALID_SECTION:
// kGLValidRequestSize bytes, zero-filled, with
//   offset   0  unsigned 16-bit  GLM file number (0: the master file of the
//                                application's company)
//   offset   2  16-bit           0
//   offset   4  16-bit           reserved (the general ledger ignores it)
//   offset 696  16-bit           intercompany use required: 0 none,
//                                kGLListPayable, kGLListReceivable
//   offset 700  16-bit           flag: 1 accepts inactive accounts
inline constexpr std::size_t kGLValidRequestSize = 709;
inline constexpr std::size_t kGLValidRequestFirst = 0;
inline constexpr std::size_t kGLValidRequestZero = 2;
inline constexpr std::size_t kGLValidRequestThird = 4;
inline constexpr std::size_t kGLValidRequestSecond = 696;
inline constexpr std::size_t kGLValidRequestFlag = 700;
// The answer of the validation functions for a valid value.
inline constexpr short kGLValid = 9;

// The update block of the posting functions: kGLUpdateBlockSize bytes,
// laid out as gl_update_def (gl_blocks.h).
inline constexpr std::size_t kGLUpdateBlockSize = 717;

// A fiscal period as the activity and budget functions take it: 6 bytes.
#pragma pack(push, 1)
struct gl_period_arg {
  int32_t year;
  int16_t period;
};
#pragma pack(pop)
static_assert(sizeof(gl_period_arg) == 6);

extern "C" {
// GL_VALID_ACCOUNT(request, 0, 0, account, 0, 0, result word) -> kGLValid or 0.
typedef short (*GL_VALID_ACCOUNT_FN)(void* request, short, short, const char* account, short, short,
                                     int32_t* result);
// GL_VALID_SECTION(request, section, 0, 0, value, 0, result word) -> kGLValid or 0.
typedef short (*GL_VALID_SECTION_FN)(void* request, short section, short, short, const char* value, short,
                                     int32_t* result);
typedef short (*GL_VALID_JOURNAL_FN)(void* request, short journal, int32_t* result);
typedef void (*GL_PST_RD_FILE_FN)(short, short, short);

// Posting: each takes the update block.
typedef short (*GL_INIT_UPDATE_FN)(void* update_block);
typedef short (*GL_UPDATE_FN)(void* update_block);
typedef void (*GL_TERM_UPDATE_FN)(void* update_block);
typedef short (*GL_PROCESS_TRANSACTION_FN)(void* update_block);
typedef short (*GL_REMOVE_TRANSACTION_FN)(void* update_block);
typedef void (*GL_PRINT_ACCT_RECAP_FN)(void* update_block, void* print_block);
typedef bool (*GL_START_TRANSACTION_FOR_RECAP_FN)(void* update_block);
typedef void (*GL_COMMIT_TRANSACTION_FOR_RECAP_FN)(void* update_block);
typedef void (*GL_ROLLBACK_TRANSACTION_FOR_RECAP_FN)(void* update_block);
typedef void (*GL_FREE_RECAP_INFO_FN)(void* update_block);

// Master data.
typedef short (*GL_OPEN_MASTER_FILE_FN)(short mode);
typedef short (*GL_RD_HEADER_FN)(short glm_file, void* header_block);
typedef short (*GLM_NUM_FN)(void);
typedef bool (*GL_FISCAL_ENTITY_AT_COMPANY_FN)(short glm_file);
typedef double (*GL_GET_ACTIVITY_FN)(short glm_file, const char* account, gl_period_arg period, short ledger);
typedef short (*GL_GET_BUDGET_FN)(short glm_file, const char* account, gl_period_arg period, double* amount);
typedef short (*GL_LIST_ACCOUNTS_FN)(short glm_file, void* list_block);
typedef short (*GL_LIST_ACCOUNTS_BOTH_VIEWS_FN)(short glm_file, void* list_block);
typedef short (*GL_LIST_JOURNALS_FN)(short glm_file, void* list_block);
typedef short (*GL_LIST_SECTIONS_FN)(short glm_file, short section, void* list_block);
}
