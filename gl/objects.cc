// The objects of the general-ledger module and their factories: account
// builder, fiscal entity, intercompany base-account validator, master-file
// header and account lister (interfaces: framework/module/gl_objects.h).
#include <memory>
#include <string>
#include <vector>

#include "framework/base/errors.h"
#include "framework/control/account_format.h"
#include "framework/ui/filter.h"
#include "gl/glm_reader.h"
#include "gl/messages.h"
#include "gl/object_base.h"

namespace gl {
namespace {

constexpr short kFormat = 9;

std::string FullPrefix(const char* account) {
  return xk_get_section(tsAlpha(account ? account : ""), kFormat, 0, 6).str();
}

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// ---- account builder ----------------------------------------------------

class AccountBuilder final : public Object<glAccountBuilder, kIID_glAccountBuilder> {
 public:
  GLBuildAccountResults Build(short glm_file, const char* full_prefix, const char* base, short check,
                              std::string* account) override {
    const std::string prefix = Text(full_prefix);
    *account = prefix + Text(base);
    if (!check) return kGLBuildAccountBuilt;
    GlmReader glm;
    if (!glm.Open(glm_file)) return kGLBuildMasterUnavailable;
    if (!prefix.empty() && !glm.FindPrefix(prefix)) return kGLBuildPrefixNotFound;
    if (!glm.FindBase(Text(base))) return kGLBuildBaseNotFound;
    return glm.FindAccount(*account) ? kGLBuildAccountBuilt : kGLBuildAccountNotFound;
  }

  short BuildIntercompany(short glm_file, const char* first, const char* base, const char* third,
                          bool prefix_flag, short mode, std::string* out) override {
    const std::string first_prefix = FullPrefix(first);
    const std::string third_prefix = FullPrefix(third);
    std::string prefix = first_prefix;
    if (prefix_flag) {
      // Section 2 of the prefix names the partner company.
      const tsAccountFormat f = tsGetAccountFormat(kFormat);
      const size_t at = static_cast<size_t>(f.EffectiveWidth(1));
      const std::string partner = xk_get_section(tsAlpha(third_prefix), kFormat, 6, 2).str();
      if (!partner.empty() && prefix.size() >= at + partner.size()) prefix.replace(at, partner.size(), partner);
    }
    const std::string account = prefix + Text(base);
    if (glm_file != 0) {
      GlmReader glm;
      if (!glm.Open(glm_file)) return kGLBuilderMasterUnavailable;
      if (!first_prefix.empty() && !glm.FindPrefix(first_prefix)) return kGLBuilderFirstPrefixUnknown;
      if (!third_prefix.empty() && !glm.FindPrefix(third_prefix)) return kGLBuilderSecondPrefixUnknown;
      tsGLBaseAccountRec b;
      if (!glm.FindBase(Text(base), &b)) return kGLBuilderBaseUnknown;
      const bool usable = mode == kGLICModeReceivable ? b.ic_receivable.Value()
                          : mode == kGLICModePayable  ? b.ic_payable.Value()
                                                      : true;
      if (!usable) return kGLBuilderBaseNotIntercompany;
      if (!glm.FindAccount(account)) return kGLBuilderAccountUnknown;
    }
    *out = account;
    return kGLBuilderOK;
  }

  short CompareICPrefixes(short glm_file, const char* first, const char* second) override {
    GlmReader glm;
    if (!glm.Open(glm_file)) return kGLBuilderMasterUnavailable;
    const std::string a = FullPrefix(first);
    const std::string b = FullPrefix(second);
    if (a == b) return kGLBuilderOK;  // also a company without prefixes
    if (!a.empty() && !glm.FindPrefix(a)) return kGLBuilderFirstPrefixUnknown;
    if (!b.empty() && !glm.FindPrefix(b)) return kGLBuilderSecondPrefixUnknown;
    return glm.PrefixesMatch(a, b) ? kGLBuilderOK : kGLBuilderPrefixesDiffer;
  }

  std::string ErrorText(short code) const override { return MessageText(kBuilderMessages + code); }
};

// ---- fiscal entity --------------------------------------------------------

class FiscalEntity final : public Object<glFiscalEntity, kIID_glFiscalEntity> {
 public:
  bool Open(short glm_file, const char* account) override {
    periods_.clear();
    if (!glm_.Open(glm_file)) return false;
    // An entity with a calendar of its own is named by its full prefix;
    // every other account uses the company's calendar ("").
    const std::string prefix = FullPrefix(account);
    if (!prefix.empty()) periods_ = glm_.Periods(prefix);
    if (periods_.empty()) periods_ = glm_.Periods("");
    current_year_ = 0;
    (void)glm_.ReadHeader(&current_year_, nullptr);
    // A calendar read in part is no calendar: every date would seem to
    // fall outside it.
    if (glm_.Failure() != tsioStatus::kSuccess) periods_.clear();
    return true;
  }

  bool FiscalDate(const tsDate& date, gl_fiscal_date* out) override {
    for (const Period& p : periods_) {
      if (p.start <= date && date <= p.end) {
        *out = gl_fiscal_date{p.year, p.period};
        return true;
      }
    }
    return false;
  }

  long PeriodNumber(const gl_fiscal_date& date) override { return long{date.year} * 100 + date.period; }

  short PeriodStatus(long period_number, short /*ledger*/, short /*flags*/) override {
    for (const Period& p : periods_) {
      if (long{p.year} * 100 + p.period == period_number) return p.status;
    }
    return kGLPeriodNoStatus;
  }

  short DateStatus(const gl_fiscal_date& date) override {
    return current_year_ != 0 && date.year > current_year_ ? 3 : 2;
  }

  short DateStatus(const tsDate& date) override {
    if (glm_.Failure() != tsioStatus::kSuccess) return 4;
    if (!periods_.empty() && date > periods_.back().end) return 3;
    return 1;
  }

  short ReadFailure() override { return static_cast<short>(glm_.Failure()); }

 private:
  GlmReader glm_;
  std::vector<Period> periods_;
  short current_year_ = 0;
};

// ---- intercompany base-account validator ------------------------------------

class ICBaseAccountValidator final : public Object<glICBaseAccountValidator, kIID_glICBaseAccountValidator> {
 public:
  short Validate(const char* base, short mode, short glm_file) override {
    GlmReader glm;
    if (!glm.Open(glm_file)) return 4;
    tsGLBaseAccountRec b;
    if (!glm.FindBase(Text(base), &b)) return 1;
    if (!b.active.Value()) return 3;
    if (mode == kGLICModeReceivable && !b.ic_receivable.Value()) return 2;
    if (mode == kGLICModePayable && !b.ic_payable.Value()) return 2;
    return 0;
  }
  std::string ErrorText(short code) const override { return MessageText(kValidatorMessages + code); }
};

// ---- master-file header -------------------------------------------------------

class GLMHeader final : public Object<glGLMHeader, kIID_glGLMHeader> {
 public:
  bool Open(const tsioDataFile* file, short header, short, short, short) override {
    return file && header == kGLMHeader && glm_.Open(*file);
  }
  bool Read() override { return glm_.ReadHeader(&current_year_, &active_only_); }
  bool ActiveAccountsOnly() const override { return active_only_; }
  short CurrentFiscalYear() const override { return current_year_; }

 private:
  GlmReader glm_;
  bool active_only_ = true;
  short current_year_ = 0;
};

// ---- account lister -------------------------------------------------------------

class AccountLister final : public Object<glAccountLister, kIID_glAccountLister> {
 public:
  void AttachFilterColumns(bool active_only, short /*glm_file*/, bool full, short mode,
                           tsdmQueryNode* node) override {
    if (node) AddConditions(active_only, full, mode, *node);
  }
  bool Filter(bool active_only, short /*glm_file*/, bool full, short mode, tsdmFilter& filter) override {
    AddConditions(active_only, full, mode, filter.Query());
    return filter.IsActive();
  }

 private:
  static void AddConditions(bool active_only, bool full, short mode, tsdmQueryNode& node) {
    const std::string p = full ? "GA" : "GB";
    if (active_only) node.AddCondition(p + "ACTIV", tsdmQueryNode::Op::kEqual, "1");
    if (mode == kGLListPayable) node.AddCondition(p + "ICPY", tsdmQueryNode::Op::kEqual, "1");
    if (mode == kGLListReceivable) node.AddCondition(p + "ICRC", tsdmQueryNode::Op::kEqual, "1");
  }
};

template <typename T>
glObject* Make() noexcept {
  if (FactoriesFail()) return nullptr;
  try {
    return static_cast<glObject*>(new T());
  } catch (...) {
    return nullptr;
  }
}

}  // namespace
}  // namespace gl

// The factories of the objects above. The module offers these five; the
// other factories of the general-ledger interface are not part of it.
#define GL_EXPORT extern "C" __attribute__((visibility("default")))
GL_EXPORT glObject* _gl_new_account_builder() { return gl::Make<gl::AccountBuilder>(); }
GL_EXPORT glObject* _gl_new_fiscal_entity() { return gl::Make<gl::FiscalEntity>(); }
GL_EXPORT glObject* _gl_new_ic_base_account_validator() { return gl::Make<gl::ICBaseAccountValidator>(); }
GL_EXPORT glObject* _gl_new_glm_header() { return gl::Make<gl::GLMHeader>(); }
GL_EXPORT glObject* _gl_new_account_lister() { return gl::Make<gl::AccountLister>(); }
