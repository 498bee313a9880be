// The company's control file: company-wide settings kept in the data file
// "CTL" (instance 1, dictionary id 900) of the company's database.
//
// What it holds:
//   header 1           company name (CNAME) and accounting method (CACCTM:
//                      1 accrual, 2 cash, 3 both; 1 when never set).
//   record type 1      account formats (see account_format.h): FMTNUM (key),
//                      FMTPFX (the company uses prefixes), FMTSEP (the
//                      separator shown between sections), FMTW1..FMTW5 (the
//                      widths of sections 1 to 5).
//   record type 2      interfaces between applications: IFFROM;IFTO (key),
//                      IFACTIV (see interfaces.h).
//   record type 3      custom lists: CLID (key), CLTEXT (one text of
//                      comma-separated entries; a list never written is "").
//   record type 4      last-run counters: LRFILE;LRINST (key: the code and
//                      instance of the data file the runs belong to), LRRUN,
//                      LRTASK (the task that took the last run).
//
// A company's control file is created, with the defaults above, the first
// time it is opened. Two ways in:
//   - tsControlFile: the C++ object, whose writes take effect at once;
//   - the xc_* handle functions for programs: a handle is opened on the
//     control file of the application's company (TSGetApp()->CompanyFolder()),
//     changes to custom lists are kept with the handle and written by
//     xc_wr_control_file; closing a handle drops what was not written.
// Settings read through account_format.h and interfaces.h are cached per
// company folder in the process and refreshed whenever this process writes
// the control file (ForgetCached drops them, e.g. after another program
// changed the set-up).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "framework/base/export.h"
#include "framework/io/file_manager.h"
#include "framework/io/file_identity.h"
#include "framework/io/io_status.h"

struct tsAccountFormat;

inline constexpr short kControlDictionaryId = 900;

// Registers the control file's definition (idempotent, any thread).
TS_EXPORT void tsRegisterControlFile();
TS_EXPORT tsioFileSpec tsControlFileSpec();

class TS_EXPORT tsControlFile {
 public:
  // Opens the control file of the company in `folder`, creating it when
  // missing (the company's database must exist). nullptr on failure, with
  // the status in `status` when given.
  static std::unique_ptr<tsControlFile> Open(const std::string& folder, tsioStatus::Status* status = nullptr);
  ~tsControlFile();
  tsControlFile(const tsControlFile&) = delete;
  tsControlFile& operator=(const tsControlFile&) = delete;

  const std::string& Folder() const { return fm_.Folder(); }

  [[nodiscard]] tsioStatus::Status GetCompanySettings(std::string* name, short* accounting_method) const;
  [[nodiscard]] tsioStatus::Status SetCompanyName(const std::string& name);
  // Method 1 accrual, 2 cash, 3 both; anything else is refused (1).
  [[nodiscard]] tsioStatus::Status SetAccountingMethod(short method);

  // A list never written reads as "" with kSuccess.
  [[nodiscard]] tsioStatus::Status GetCustomList(short list_id, std::string* text) const;
  [[nodiscard]] tsioStatus::Status PutCustomList(short list_id, std::string_view text);

  // A format never written reads as tsDefaultAccountFormat(number).
  [[nodiscard]] tsioStatus::Status GetAccountFormat(short number, tsAccountFormat* format) const;
  [[nodiscard]] tsioStatus::Status PutAccountFormat(const tsAccountFormat& format);

  // An interface never written is inactive.
  [[nodiscard]] tsioStatus::Status GetInterfaceActive(std::string_view from, std::string_view to, bool* active) const;
  [[nodiscard]] tsioStatus::Status SetInterfaceActive(std::string_view from, std::string_view to, bool active);

  // Adds n to the last run of the data file (code, instance), under a record
  // lock, and returns the new last run in `run`. kLocked when another
  // program holds the counter (nothing waits). A counter another program
  // created after this one found none is counted on, not refused.
  [[nodiscard]] tsioStatus::Status IncrementLastRun(const std::string& code, short instance, short n,
                                                    unsigned short task_command_id, long* run);

  // Drops every setting cached for `folder` (all folders when empty).
  static void ForgetCached(const std::string& folder = "");

 private:
  explicit tsControlFile(const std::string& folder) : fm_(folder) {}
  tsioFileManager fm_;
  tsioDataFile* file_ = nullptr;
};

// Handle functions. Modes: 0 read, 1 update.
// The handle (0 or more) of the control file of the application's company,
// or -1 when there is no company folder or its control file cannot be
// opened.
TS_EXPORT short xc_open_control_file(short mode);
// The text of a custom list as this handle sees it (its unwritten changes
// included); "" for an unknown handle or a list never written.
TS_EXPORT std::string xc_get_custom_list(short handle, short list_id);
// The same, telling a list that cannot be read from an empty one: 1 with the
// text in `text` ("" for a list never written), 0 when the handle is unknown
// or the list cannot be read (`text` then untouched).
TS_EXPORT short xc_read_custom_list(short handle, short list_id, std::string* text);
// Keeps a new text for a list with the handle: 1, or 0 for an unknown handle
// or one opened for reading.
TS_EXPORT short xc_put_custom_list(short handle, short list_id, std::string_view text);
// Writes the handle's changes: 1 on success, 0 on failure (the changes are
// then kept with the handle).
TS_EXPORT short xc_wr_control_file(short handle);
// Closes the handle (unknown handles are ignored).
TS_EXPORT void xc_cls_control_file(short handle);

// The control definition block: 591 bytes, laid out as follows (integers in
// the machine's byte order, texts zero-terminated):
//   offset   0, 41 bytes  company name
//   offset 150, 16-bit    accounting method (1 accrual, 2 cash, 3 both)
// everything else zero.
inline constexpr std::size_t kControlDefSize = 591;
inline constexpr std::size_t kControlDefCompanyName = 0;
inline constexpr std::size_t kControlDefAccountingMethod = 150;
// Zero-fills the kControlDefSize bytes at `block` and fills them from the
// control file of the application's company: 1 when it was read, 0 when
// there is none (the block then holds accounting method 1).
TS_EXPORT short xc_get_control_def(void* block);
