// The company's control file (see control_file.h), the per-folder cache of
// its settings and the xc_* handle functions.
#include "framework/control/control_file.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/control/account_format.h"
#include "framework/control/control_cache.h"
#include "framework/io/command_reads.h"
#include "framework/io/cursor.h"
#include "framework/io/header.h"
#include "framework/io/record.h"
#include "framework/io/rollback_stack.h"
#include "framework/types/values.h"

namespace {

enum : short { kFormatRec = 1, kInterfaceRec = 2, kListRec = 3, kLastRunRec = 4, kSettingsHeader = 1 };
constexpr int kListWidth = 4000;

tsioFieldDef Num(const char* name, int width, int64_t def = 0) { return {name, tsDataType::kNum, width, 0, def}; }

tsioFileDef ControlDef() {
  tsioFileDef d;
  d.code = "CTL";
  d.dictionary_id = kControlDictionaryId;
  d.description = "Control file";
  tsioRecordDef fmt;
  fmt.record_type = kFormatRec;
  fmt.description = "account format";
  fmt.fields = {Num("FMTNUM", 2),
                {"FMTPFX", tsDataType::kBool, 1, 0, 0},
                {"FMTSEP", tsDataType::kAlpha, 1, 0, 0},
                Num("FMTW1", 2),
                Num("FMTW2", 2),
                Num("FMTW3", 2),
                Num("FMTW4", 2),
                Num("FMTW5", 2)};
  fmt.keys = {{0, {"FMTNUM"}, true}};
  tsioRecordDef itf;
  itf.record_type = kInterfaceRec;
  itf.description = "application interface";
  itf.fields = {{"IFFROM", tsDataType::kAlpha, 4, 0, 0},
                {"IFTO", tsDataType::kAlpha, 4, 0, 0},
                {"IFACTIV", tsDataType::kBool, 1, 0, 0}};
  itf.keys = {{0, {"IFFROM", "IFTO"}, true}};
  tsioRecordDef list;
  list.record_type = kListRec;
  list.description = "custom list";
  list.fields = {Num("CLID", 5), {"CLTEXT", tsDataType::kAlpha, kListWidth, 0, 0}};
  list.keys = {{0, {"CLID"}, true}};
  tsioRecordDef run;
  run.record_type = kLastRunRec;
  run.description = "last run";
  run.fields = {{"LRFILE", tsDataType::kAlpha, 8, 0, 0},
                Num("LRINST", 4),
                {"LRRUN", tsDataType::kDouble, 9, 0, 0},
                Num("LRTASK", 5)};
  run.keys = {{0, {"LRFILE", "LRINST"}, true}};
  d.records = {fmt, itf, list, run};
  tsioHeaderDef h;
  h.number = kSettingsHeader;
  h.fields = {{"CNAME", tsDataType::kAlpha, 40, 0, 0}, Num("CACCTM", 2, 1)};
  d.headers = {h};
  return d;
}

struct FormatRec : ccRecData {
  tsNum<short> number;
  tsBool prefixed;
  tsAlpha separator;
  tsNum<short> w[5];
  FormatRec() : ccRecData("CTL", kFormatRec, "FMTNUM") {
    AddColumn("FMTNUM", &number);
    AddColumn("FMTPFX", &prefixed);
    AddColumn("FMTSEP", &separator);
    const char* names[5] = {"FMTW1", "FMTW2", "FMTW3", "FMTW4", "FMTW5"};
    for (int i = 0; i < 5; ++i) AddColumn(names[i], &w[i]);
  }
};

struct InterfaceRec : ccRecData {
  tsAlpha from, to;
  tsBool active;
  InterfaceRec() : ccRecData("CTL", kInterfaceRec, "IFFROM;IFTO") {
    AddColumn("IFFROM", &from);
    AddColumn("IFTO", &to);
    AddColumn("IFACTIV", &active);
  }
};

struct ListRec : ccRecData {
  tsNum<short> id;
  tsAlpha text;
  ListRec() : ccRecData("CTL", kListRec, "CLID") {
    AddColumn("CLID", &id);
    AddColumn("CLTEXT", &text);
  }
};

struct LastRunRec : ccRecData {
  tsAlpha file;
  tsNum<short> instance;
  tsDouble run{0, 0};
  tsNum<long> task;
  LastRunRec() : ccRecData("CTL", kLastRunRec, "LRFILE;LRINST") {
    AddColumn("LRFILE", &file);
    AddColumn("LRINST", &instance);
    AddColumn("LRRUN", &run);
    AddColumn("LRTASK", &task);
  }
};

// Writes `rec` as the record with its key: updates the one found by
// FetchEQ, inserts when there is none.
tsioStatus::Status Upsert(ccRecData& rec, const tsioDataFile& file) {
  // The fetch overwrites the bound fields, so keep what is to be written.
  std::vector<std::unique_ptr<tsData>> wanted;
  for (const auto& c : rec.Columns()) wanted.push_back(c.field->Clone());
  tsioCursor cur(rec, file, rec.TableID(), 0);
  tsioStatus::Status st = cur.FetchEQ(true);
  for (size_t i = 0; i < wanted.size(); ++i) rec.Columns()[i].field->SetVal(*wanted[i]);
  if (st == tsioStatus::kSuccess) {
    st = cur.Update();
    (void)cur.Unlock();
    return st;
  }
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) return cur.Insert();
  return st;
}

tsioStatus::Status WriteSettings(const tsioDataFile& file, const std::string& name, short method) {
  tsAlpha n(name);
  tsNum<short> m(method);
  tsioHeader h(file, kSettingsHeader);
  (void)h.AttachColumn("CNAME", n);
  (void)h.AttachColumn("CACCTM", m);
  return h.Update();
}

// ---- the settings cache ---------------------------------------------------

struct CachedFolder {
  std::map<short, tsAccountFormat> formats;
  std::map<std::pair<std::string, std::string>, bool> interfaces;
};

std::mutex cache_mu;
std::map<std::string, CachedFolder>& Cache() {
  static auto* cache = new std::map<std::string, CachedFolder>();  // lives to the end of the process
  return *cache;
}

}  // namespace

void tsRegisterControlFile() {
  static std::once_flag once;
  std::call_once(once, [] { tsioDictionary::Register(ControlDef()); });
}

tsioFileSpec tsControlFileSpec() { return tsioFileSpec("CTL", 1, kControlDictionaryId); }

namespace {
// Registered when the framework is loaded, before any file can be created or opened.
const bool kControlFileRegistered = (tsRegisterControlFile(), true);
}  // namespace

// ---- tsControlFile ----------------------------------------------------------

std::unique_ptr<tsControlFile> tsControlFile::Open(const std::string& folder, tsioStatus::Status* status) {
  tsRegisterControlFile();
  std::unique_ptr<tsControlFile> cf(new tsControlFile(folder));
  tsioStatus::Status st = cf->fm_.Open(tsControlFileSpec(), &cf->file_);
  if (st == tsioStatus::kFileDoesNotExist) {
    // Only a company that exists gets a control file.
    tsioStatus::Status company_status = tsioStatus::kSuccess;
    if (tsioCompany::Open(cf->fm_.Folder(), false, &company_status) != nullptr) {
      st = cf->fm_.Create(tsControlFileSpec());
      if (st == tsioStatus::kSuccess) {
        ForgetCached(cf->fm_.Folder());
        st = cf->fm_.Open(tsControlFileSpec(), &cf->file_);
      }
      // The settings header starts with the defaults.
      if (st == tsioStatus::kSuccess) st = WriteSettings(*cf->file_, "", 1);
    }
  }
  if (status) *status = st;
  if (st != tsioStatus::kSuccess) return nullptr;
  return cf;
}

tsControlFile::~tsControlFile() = default;

tsioStatus::Status tsControlFile::GetCompanySettings(std::string* name, short* accounting_method) const {
  tsAlpha n;
  tsNum<short> method(1);
  tsioHeader h(*file_, kSettingsHeader);
  (void)h.AttachColumn("CNAME", n);
  (void)h.AttachColumn("CACCTM", method);
  tsioStatus::Status st = h.Get(false);
  if (st == tsioStatus::kNotFound) {  // never written: the defaults
    n.Clear();
    method = 1;
    st = tsioStatus::kSuccess;
  }
  if (st != tsioStatus::kSuccess) return st;
  if (name) *name = n.str();
  if (accounting_method) *accounting_method = method.Value() ? method.Value() : 1;
  return st;
}

tsioStatus::Status tsControlFile::SetCompanyName(const std::string& name) {
  short method = 1;
  tsioStatus::Status st = GetCompanySettings(nullptr, &method);
  return st == tsioStatus::kSuccess ? WriteSettings(*file_, name, method) : st;
}

tsioStatus::Status tsControlFile::SetAccountingMethod(short method) {
  if (method < 1 || method > 3) return tsioStatus::kInvalidOperation;
  std::string name;
  tsioStatus::Status st = GetCompanySettings(&name, nullptr);
  return st == tsioStatus::kSuccess ? WriteSettings(*file_, name, method) : st;
}

tsioStatus::Status tsControlFile::GetCustomList(short list_id, std::string* text) const {
  ListRec rec;
  rec.id = list_id;
  tsioCursor cur(rec, *file_, kListRec, 0);
  tsioStatus::Status st = cur.FetchEQ();
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    text->clear();
    return tsioStatus::kSuccess;
  }
  if (st == tsioStatus::kSuccess) *text = rec.text.str();
  return st;
}

tsioStatus::Status tsControlFile::PutCustomList(short list_id, std::string_view text) {
  ListRec rec;
  rec.id = list_id;
  rec.text = tsAlpha(text);
  return Upsert(rec, *file_);
}

tsioStatus::Status tsControlFile::GetAccountFormat(short number, tsAccountFormat* format) const {
  FormatRec rec;
  rec.number = number;
  tsioCursor cur(rec, *file_, kFormatRec, 0);
  tsioStatus::Status st = cur.FetchEQ();
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    *format = tsDefaultAccountFormat(number);
    return tsioStatus::kSuccess;
  }
  if (st != tsioStatus::kSuccess) return st;
  format->number = number;
  format->prefixed = rec.prefixed.Value();
  format->separator = rec.separator.str().empty() ? '-' : rec.separator.str()[0];
  for (int i = 0; i < 5; ++i) format->widths[static_cast<size_t>(i)] = rec.w[i].Value();
  return st;
}

tsioStatus::Status tsControlFile::PutAccountFormat(const tsAccountFormat& format) {
  FormatRec rec;
  rec.number = format.number;
  rec.prefixed = format.prefixed;
  rec.separator = tsAlpha(std::string(1, format.separator));
  for (int i = 0; i < 5; ++i) rec.w[i] = format.widths[static_cast<size_t>(i)];
  tsioStatus::Status st = Upsert(rec, *file_);
  ForgetCached(Folder());
  return st;
}

tsioStatus::Status tsControlFile::GetInterfaceActive(std::string_view from, std::string_view to, bool* active) const {
  InterfaceRec rec;
  rec.from = tsAlpha(from);
  rec.to = tsAlpha(to);
  tsioCursor cur(rec, *file_, kInterfaceRec, 0);
  tsioStatus::Status st = cur.FetchEQ();
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    *active = false;
    return tsioStatus::kSuccess;
  }
  if (st == tsioStatus::kSuccess) *active = rec.active.Value();
  return st;
}

tsioStatus::Status tsControlFile::SetInterfaceActive(std::string_view from, std::string_view to, bool active) {
  InterfaceRec rec;
  rec.from = tsAlpha(from);
  rec.to = tsAlpha(to);
  rec.active = active;
  tsioStatus::Status st = Upsert(rec, *file_);
  ForgetCached(Folder());
  return st;
}

tsioStatus::Status tsControlFile::IncrementLastRun(const std::string& code, short instance, short n,
                                                   unsigned short task_command_id, long* run) {
  *run = 0;
  tsioStatus::Status st = tsioStatus::kSuccess;
  // A file's first run: two programs may both find no counter and both
  // insert it. On a database server the second insert waits for the first
  // program's unit and then meets its record (duplicate key): the counter
  // exists now, so it is read again, locked, and counted on from there.
  for (int attempt = 0; attempt < 2; ++attempt) {
    LastRunRec rec;
    rec.file = tsAlpha(code);
    rec.instance = instance;
    tsioCursor cur(rec, *file_, kLastRunRec, 0);
    st = cur.FetchEQ(true);
    const bool found = st == tsioStatus::kSuccess;
    if (!found && st != tsioStatus::kNotFound && st != tsioStatus::kEndOfFile) return st;
    if (!found) {
      rec.file = tsAlpha(code);
      rec.instance = instance;
      rec.run = tsDouble(0);
    }
    rec.run = rec.run + tsDouble(n);
    rec.task = static_cast<long>(task_command_id);
    if (found) {
      st = cur.Update();
      (void)cur.Unlock();
    } else {
      // The insert's own status decides (below): it waits for its answer
      // even where the caller's writes do not.
      tsioWaitingWrites waiting(file_->Company());
      st = cur.Insert();
    }
    if (st == tsioStatus::kSuccess) *run = static_cast<long>(rec.run.ToLongLong());
    if (found || st != tsioStatus::kDuplicateKey) break;
  }
  return st;
}

void tsControlFile::ForgetCached(const std::string& folder) {
  std::lock_guard<std::mutex> lock(cache_mu);
  if (folder.empty()) {
    Cache().clear();
  } else {
    Cache().erase(folder);
  }
}

// ---- cached reads (control_cache.h) -------------------------------------------

namespace ts_control_detail {

namespace {
std::string Normalized(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}
}  // namespace

tsAccountFormat CachedAccountFormat(const std::string& company_folder, short number) {
  const std::string folder = Normalized(company_folder);
  if (folder.empty()) return tsDefaultAccountFormat(number);
  {
    std::lock_guard<std::mutex> lock(cache_mu);
    auto& formats = Cache()[folder].formats;
    if (auto it = formats.find(number); it != formats.end()) return it->second;
  }
  tsAccountFormat fmt = tsDefaultAccountFormat(number);
  // A company without a control file keeps the default format; nothing is
  // created by reading.
  tsioStatus::Status st = tsioStatus::kSuccess;
  tsioFileManager fm(folder);
  tsRegisterControlFile();
  tsioDataFile* file = nullptr;
  st = fm.Open(tsControlFileSpec(), &file);
  // Every format the company keeps (a few records) is read at once and
  // cached: the first read of a command asks for them all.
  std::map<short, tsAccountFormat> read;
  if (st == tsioStatus::kSuccess) {
    FormatRec rec;
    tsioCursor cur(rec, *file, kFormatRec, 0);
    for (st = cur.FetchFirst(); st == tsioStatus::kSuccess; st = cur.FetchNext()) {
      tsAccountFormat f = tsDefaultAccountFormat(rec.number.Value());
      f.prefixed = rec.prefixed.Value();
      f.separator = rec.separator.str().empty() ? '-' : rec.separator.str()[0];
      for (int i = 0; i < 5; ++i) f.widths[static_cast<size_t>(i)] = rec.w[i].Value();
      read[f.number] = f;
    }
  }
  if (auto it = read.find(number); it != read.end()) fmt = it->second;
  std::lock_guard<std::mutex> lock(cache_mu);
  auto& formats = Cache()[folder].formats;
  for (const auto& [n, f] : read) formats.emplace(n, f);
  formats[number] = fmt;
  return fmt;
}

void PrefetchCached(const std::string& company_folder, std::string_view from, std::string_view to) {
  const std::string folder = Normalized(company_folder);
  if (folder.empty()) return;
  bool interface_known = false, formats_known = false;
  {
    std::lock_guard<std::mutex> lock(cache_mu);
    const auto& cached = Cache()[folder];
    interface_known = cached.interfaces.count(std::make_pair(std::string(from), std::string(to))) > 0;
    formats_known = !cached.formats.empty();
  }
  if (interface_known && formats_known) return;
  tsRegisterControlFile();
  tsioFileManager fm(folder);
  tsioDataFile* file = nullptr;
  if (fm.Open(tsControlFileSpec(), &file) != tsioStatus::kSuccess) return;
  // The same cursors as the cached reads', so theirs are the reads queued
  // (kept for the caller's command, which this scope nests in).
  tsioCommandReads reads(*file);
  if (!interface_known) {
    reads.Keep(*file, kInterfaceRec);
    InterfaceRec rec;
    rec.from = tsAlpha(from);
    rec.to = tsAlpha(to);
    tsioCursor cur(rec, *file, kInterfaceRec, 0);
    cur.PrefetchEQ();
  }
  if (!formats_known) {
    reads.Keep(*file, kFormatRec);
    FormatRec rec;
    tsioCursor cur(rec, *file, kFormatRec, 0);
    cur.PrefetchFirst();
  }
}

bool CachedInterfaceActive(const std::string& company_folder, std::string_view from, std::string_view to) {
  const std::string folder = Normalized(company_folder);
  if (folder.empty()) return false;
  const auto key = std::make_pair(std::string(from), std::string(to));
  {
    std::lock_guard<std::mutex> lock(cache_mu);
    auto& itf = Cache()[folder].interfaces;
    if (auto it = itf.find(key); it != itf.end()) return it->second;
  }
  bool active = false;
  tsRegisterControlFile();
  tsioFileManager fm(folder);
  tsioDataFile* file = nullptr;
  if (fm.Open(tsControlFileSpec(), &file) == tsioStatus::kSuccess) {
    InterfaceRec rec;
    rec.from = tsAlpha(from);
    rec.to = tsAlpha(to);
    tsioCursor cur(rec, *file, kInterfaceRec, 0);
    if (cur.FetchEQ() == tsioStatus::kSuccess) active = rec.active.Value();
  }
  std::lock_guard<std::mutex> lock(cache_mu);
  Cache()[folder].interfaces[key] = active;
  return active;
}

}  // namespace ts_control_detail

// ---- handle functions -------------------------------------------------------------

namespace {

struct OpenControl {
  std::unique_ptr<tsControlFile> file;
  short mode = 0;
  std::map<short, std::string> pending;  // lists changed and not yet written
};

std::mutex handles_mu;
std::vector<std::unique_ptr<OpenControl>>& Handles() {
  static auto* handles = new std::vector<std::unique_ptr<OpenControl>>();
  return *handles;
}

OpenControl* FindHandle(short handle) {
  auto& h = Handles();
  if (handle < 0 || static_cast<size_t>(handle) >= h.size()) return nullptr;
  return h[static_cast<size_t>(handle)].get();
}

}  // namespace

short xc_open_control_file(short mode) {
  const std::string folder = TSGetApp()->CompanyFolder();
  if (folder.empty()) return -1;
  tsioStatus::Status st = tsioStatus::kSuccess;
  auto file = tsControlFile::Open(folder, &st);
  if (!file) {
    x_log(2, "cannot open the control file of " + folder + ": " + std::to_string(st));
    return -1;
  }
  auto oc = std::make_unique<OpenControl>();
  oc->file = std::move(file);
  oc->mode = mode;
  std::lock_guard<std::mutex> lock(handles_mu);
  auto& h = Handles();
  for (size_t i = 0; i < h.size(); ++i) {
    if (!h[i]) {
      h[i] = std::move(oc);
      return static_cast<short>(i);
    }
  }
  if (h.size() >= 32767) return -1;
  h.push_back(std::move(oc));
  return static_cast<short>(h.size() - 1);
}

std::string xc_get_custom_list(short handle, short list_id) {
  std::lock_guard<std::mutex> lock(handles_mu);
  OpenControl* oc = FindHandle(handle);
  if (!oc) return {};
  if (auto it = oc->pending.find(list_id); it != oc->pending.end()) return it->second;
  std::string text;
  if (oc->file->GetCustomList(list_id, &text) != tsioStatus::kSuccess) return {};
  return text;
}

short xc_read_custom_list(short handle, short list_id, std::string* text) {
  std::lock_guard<std::mutex> lock(handles_mu);
  OpenControl* oc = FindHandle(handle);
  if (!oc) return 0;
  std::string read;
  if (auto it = oc->pending.find(list_id); it != oc->pending.end()) {
    read = it->second;
  } else if (oc->file->GetCustomList(list_id, &read) != tsioStatus::kSuccess) {
    x_log(1, "custom list " + std::to_string(list_id) + " of the control file cannot be read");
    return 0;
  }
  if (text) *text = std::move(read);
  return 1;
}

short xc_put_custom_list(short handle, short list_id, std::string_view text) {
  std::lock_guard<std::mutex> lock(handles_mu);
  OpenControl* oc = FindHandle(handle);
  if (!oc || oc->mode != 1) return 0;
  oc->pending[list_id] = std::string(text);
  return 1;
}

short xc_wr_control_file(short handle) {
  std::lock_guard<std::mutex> lock(handles_mu);
  OpenControl* oc = FindHandle(handle);
  if (!oc || oc->mode != 1) return 0;
  while (!oc->pending.empty()) {
    auto it = oc->pending.begin();
    if (oc->file->PutCustomList(it->first, it->second) != tsioStatus::kSuccess) return 0;
    oc->pending.erase(it);
  }
  return 1;
}

void xc_cls_control_file(short handle) {
  std::lock_guard<std::mutex> lock(handles_mu);
  auto& h = Handles();
  if (handle >= 0 && static_cast<size_t>(handle) < h.size()) h[static_cast<size_t>(handle)].reset();
}

short xc_get_control_def(void* block) {
  auto* bytes = static_cast<unsigned char*>(block);
  std::memset(bytes, 0, kControlDefSize);
  short method = 1;
  std::string name;
  short found = 0;
  const std::string folder = TSGetApp()->CompanyFolder();
  if (!folder.empty()) {
    tsRegisterControlFile();
    tsioFileManager fm(folder);
    tsioDataFile* file = nullptr;
    // Reading never creates the control file.
    if (fm.Open(tsControlFileSpec(), &file) == tsioStatus::kSuccess) {
      tsAlpha n;
      tsNum<short> m(1);
      tsioHeader h(*file, kSettingsHeader);
      (void)h.AttachColumn("CNAME", n);
      (void)h.AttachColumn("CACCTM", m);
      const tsioStatus::Status st = h.Get(false);
      if (st == tsioStatus::kSuccess) {
        name = n.str();
        if (m.Value() != 0) method = m.Value();
      }
      found = (st == tsioStatus::kSuccess || st == tsioStatus::kNotFound) ? 1 : 0;
    }
  }
  std::memcpy(bytes + kControlDefCompanyName, name.data(), std::min<size_t>(name.size(), 40));
  std::memcpy(bytes + kControlDefAccountingMethod, &method, sizeof method);
  return found;
}
