// Reading the general ledger's master data (see glm_reader.h).
#include "gl/glm_reader.h"

#include <algorithm>

#include "framework/base/application.h"
#include "framework/control/account_format.h"
#include "framework/io/cursor.h"
#include "framework/io/header.h"

namespace gl {

bool GlmReader::OpenByName(const std::string& name) {
  tsRegisterLedgerFiles();
  auto f = std::make_unique<tsioDataFile>();
  if (f->OpenByName(name) != tsioStatus::kSuccess) return false;
  if (f->Spec().Code() != "GLM") return false;
  file_ = std::move(f);
  return true;
}

bool GlmReader::Open(short glm_file) {
  file_.reset();
  failure_ = tsioStatus::kSuccess;
  if (glm_file == 0) {
    const std::string folder = TSGetApp()->CompanyFolder();
    return !folder.empty() && OpenByName(folder + "/" + tsGLMFileSpec().Name());
  }
  const tsioDataFile* src = tsioDataFile::ByNumber(glm_file);
  return src && Open(*src);
}

bool GlmReader::Open(const tsioDataFile& file) {
  file_.reset();
  failure_ = tsioStatus::kSuccess;
  if (!file.IsOpen() || file.Spec().Code() != "GLM") return false;
  return OpenByName(file.FileName());
}

bool GlmReader::FindAccount(const std::string& account, tsGLAccountRec* out) const {
  if (!IsOpen() || account.empty()) return false;
  tsGLAccountRec rec;
  rec.account = tsAlpha(account);
  tsioCursor cur(rec, *file_, kGLMAccount, 0);
  if (cur.FetchEQ() != tsioStatus::kSuccess) return false;
  if (out) out->SetData(rec);
  return true;
}

bool GlmReader::FindBase(const std::string& base, tsGLBaseAccountRec* out) const {
  if (!IsOpen() || base.empty()) return false;
  tsGLBaseAccountRec rec;
  rec.base = tsAlpha(base);
  tsioCursor cur(rec, *file_, kGLMBaseAccount, 0);
  if (cur.FetchEQ() != tsioStatus::kSuccess) return false;
  if (out) out->SetData(rec);
  return true;
}

bool GlmReader::FindPrefix(const std::string& prefix) const {
  if (!IsOpen() || prefix.empty()) return false;
  tsGLPrefixRec rec;
  rec.prefix = tsAlpha(prefix);
  tsioCursor cur(rec, *file_, kGLMPrefix, 0);
  return cur.FetchEQ() == tsioStatus::kSuccess;
}

bool GlmReader::PrefixesMatch(const std::string& a, const std::string& b) const {
  if (!IsOpen()) return false;
  for (int order = 0; order < 2; ++order) {
    tsGLPrefixMatchRec rec;
    rec.prefix1 = tsAlpha(order == 0 ? a : b);
    rec.prefix2 = tsAlpha(order == 0 ? b : a);
    tsioCursor cur(rec, *file_, kGLMPrefixMatch, 0);
    if (cur.FetchEQ() == tsioStatus::kSuccess) return true;
  }
  return false;
}

bool GlmReader::AnyAccountWithSection(short section, const std::string& value) const {
  if (!IsOpen() || value.empty()) return false;
  tsGLAccountRec rec;
  tsioCursor cur(rec, *file_, kGLMAccount, 0);
  for (tsioStatus::Status st = cur.FetchFirst(); st == tsioStatus::kSuccess; st = cur.FetchNext()) {
    if (xk_get_section(rec.account, 9, 0, section) == value) return true;
  }
  return false;
}

std::vector<Period> GlmReader::Periods(const std::string& entity) const {
  std::vector<Period> out;
  if (!IsOpen()) return out;
  tsGLFiscalPeriodRec rec;
  rec.entity = tsAlpha(entity);
  rec.year = 0;
  rec.period = 0;
  tsioCursor cur(rec, *file_, kGLMFiscalPeriod, 0);
  tsioStatus::Status st = cur.FetchGE();
  for (; st == tsioStatus::kSuccess && rec.entity == entity; st = cur.FetchNext()) {
    out.push_back(Period{rec.year.Value(), rec.period.Value(), rec.start, rec.end, rec.status.Value()});
  }
  if (Note(st)) out.clear();
  std::sort(out.begin(), out.end(), [](const Period& x, const Period& y) { return x.start < y.start; });
  return out;
}

bool GlmReader::ReadHeader(short* current_year, bool* active_only) const {
  if (!IsOpen()) return false;
  tsNum<short> year;
  tsBool active;
  tsioHeader h(*file_, kGLMHeader);
  (void)h.AttachColumn("GHCURYR", year);
  (void)h.AttachColumn("GHACTONL", active);
  const tsioStatus::Status st = h.Get(false);
  Note(st);
  if (st != tsioStatus::kSuccess) return false;
  if (current_year) *current_year = year.Value();
  if (active_only) *active_only = active.Value();
  return true;
}

bool GlmReader::Note(tsioStatus::Status st) const {
  if (st == tsioStatus::kSuccess || st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound) return false;
  failure_ = st;
  return true;
}

}  // namespace gl
