// Definitions and record classes of the general ledger's data files (see
// gl_files.h for the layouts).
#include "framework/dictionary/gl_files.h"

#include <mutex>

#include "framework/io/dictionary.h"

namespace {

constexpr int kAccountWidth = 25;
constexpr int kPrefixWidth = 12;
constexpr int kBaseWidth = 20;

tsioFieldDef Alpha(const char* name, int width) { return {name, tsDataType::kAlpha, width, 0, 0}; }
tsioFieldDef Bool(const char* name, int64_t def = 0) { return {name, tsDataType::kBool, 1, 0, def}; }
tsioFieldDef Num(const char* name, int width) { return {name, tsDataType::kNum, width, 0, 0}; }

tsioFileDef MasterDef() {
  tsioFileDef d;
  d.code = "GLM";
  d.dictionary_id = kGLMDictionaryId;
  d.description = "General Ledger master";

  tsioRecordDef acct;
  acct.record_type = kGLMAccount;
  acct.description = "GL account";
  acct.fields = {Alpha("GAACCT", kAccountWidth), Alpha("GAPFX", kPrefixWidth), Alpha("GABASE", kBaseWidth),
                 Alpha("GADESC", 40),           Bool("GAACTIV", 1),           Bool("GAICRC"),
                 Bool("GAICPY")};
  acct.keys = {{0, {"GAACCT"}, true}, {1, {"GABASE"}, false}};

  tsioRecordDef base;
  base.record_type = kGLMBaseAccount;
  base.description = "GL base account";
  base.fields = {Alpha("GBBASE", kBaseWidth), Alpha("GBDESC", 40), Bool("GBACTIV", 1), Bool("GBICRC"),
                 Bool("GBICPY")};
  base.keys = {{0, {"GBBASE"}, true}};

  tsioRecordDef pfx;
  pfx.record_type = kGLMPrefix;
  pfx.description = "GL account prefix";
  pfx.fields = {Alpha("GPPFX", kPrefixWidth), Alpha("GPDESC", 40)};
  pfx.keys = {{0, {"GPPFX"}, true}};

  tsioRecordDef match;
  match.record_type = kGLMPrefixMatch;
  match.description = "GL intercompany prefix match";
  match.fields = {Alpha("GMPFX1", kPrefixWidth), Alpha("GMPFX2", kPrefixWidth)};
  match.keys = {{0, {"GMPFX1", "GMPFX2"}, true}};

  tsioRecordDef period;
  period.record_type = kGLMFiscalPeriod;
  period.description = "GL fiscal period";
  period.fields = {Alpha("GFENT", kPrefixWidth), Num("GFYEAR", 4), Num("GFPER", 2),
                   {"GFSTART", tsDataType::kDate, 8, 0, 0}, {"GFEND", tsDataType::kDate, 8, 0, 0},
                   Num("GFSTAT", 2)};
  period.keys = {{0, {"GFENT", "GFYEAR", "GFPER"}, true}, {1, {"GFENT", "GFEND"}, false}};

  d.records = {acct, base, pfx, match, period};
  tsioHeaderDef h;
  h.number = kGLMHeader;
  h.fields = {Alpha("GHNAME", 40), Num("GHCURYR", 4), Bool("GHACTONL", 1)};
  d.headers = {h};
  return d;
}

tsioFileDef TransactionDef(short dictionary_id, const char* description) {
  tsioFileDef d;
  d.code = "GLT";
  d.dictionary_id = dictionary_id;
  d.description = description;
  tsioRecordDef line;
  line.record_type = kGLTLine;
  line.description = "GL transaction";
  line.fields = {{"GTRUN", tsDataType::kDouble, 9, 0, 0},
                 {"GTSEQ", tsDataType::kDouble, 9, 0, 0},
                 Num("GTLEDG", 2),
                 Alpha("GTACCT", kAccountWidth),
                 {"GTDC", tsDataType::kChoice, 2, 0, 1},
                 {"GTAMT", tsDataType::kCurrency, 15, 2, 0},
                 {"GTDATE", tsDataType::kDate, 8, 0, 0},
                 Num("GTJRN", 4),
                 Alpha("GTDESC", 30),
                 Alpha("GTREF1", 15),
                 Alpha("GTREF2", 15),
                 Alpha("GTAPPL", 4),
                 Alpha("GTBATCH", 10),
                 {"GTBSRC", tsDataType::kChoice, 2, 0, 1},
                 Bool("GTSUM"),
                 Alpha("GTICRC", kAccountWidth),
                 Alpha("GTICPY", kAccountWidth),
                 Alpha("GTVEND", 10),
                 Alpha("GTINV", 15),
                 Alpha("GTBANK", 10),
                 {"GTCHECK", tsDataType::kDouble, 12, 0, 0},
                 Alpha("GTEMP", 10),
                 Alpha("GTJOB", 10)};
  line.keys = {{0, {"GTRUN", "GTSEQ", "GTLEDG"}, true}, {1, {"GTACCT", "GTDATE"}, false}};
  d.records = {line};
  return d;
}

}  // namespace

void tsRegisterLedgerFiles() {
  static std::once_flag once;
  std::call_once(once, [] {
    tsioDictionary::Register(MasterDef());
    tsioDictionary::Register(TransactionDef(kGLTDictionaryId, "General Ledger transactions"));
    tsioDictionary::Register(TransactionDef(kGLTDictionaryId2, "General Ledger posted transactions"));
  });
}

tsioFileSpec tsGLMFileSpec() { return tsioFileSpec("GLM", 1, kGLMDictionaryId); }
tsioFileSpec tsGLTFileSpec() { return tsioFileSpec("GLT", 1, kGLTDictionaryId); }
tsioFileSpec tsGLTFileSpec2() { return tsioFileSpec("GLT", 2, kGLTDictionaryId2); }

tsGLAccountRec::tsGLAccountRec() : ccRecData("GLM", kGLMAccount, "GAACCT") {
  AddColumn("GAACCT", &account);
  AddColumn("GAPFX", &prefix);
  AddColumn("GABASE", &base);
  AddColumn("GADESC", &description);
  AddColumn("GAACTIV", &active);
  AddColumn("GAICRC", &ic_receivable);
  AddColumn("GAICPY", &ic_payable);
}

tsGLBaseAccountRec::tsGLBaseAccountRec() : ccRecData("GLM", kGLMBaseAccount, "GBBASE") {
  AddColumn("GBBASE", &base);
  AddColumn("GBDESC", &description);
  AddColumn("GBACTIV", &active);
  AddColumn("GBICRC", &ic_receivable);
  AddColumn("GBICPY", &ic_payable);
}

tsGLPrefixRec::tsGLPrefixRec() : ccRecData("GLM", kGLMPrefix, "GPPFX") {
  AddColumn("GPPFX", &prefix);
  AddColumn("GPDESC", &description);
}

tsGLPrefixMatchRec::tsGLPrefixMatchRec() : ccRecData("GLM", kGLMPrefixMatch, "GMPFX1;GMPFX2") {
  AddColumn("GMPFX1", &prefix1);
  AddColumn("GMPFX2", &prefix2);
}

tsGLFiscalPeriodRec::tsGLFiscalPeriodRec() : ccRecData("GLM", kGLMFiscalPeriod, "GFENT;GFYEAR;GFPER") {
  AddColumn("GFENT", &entity);
  AddColumn("GFYEAR", &year);
  AddColumn("GFPER", &period);
  AddColumn("GFSTART", &start);
  AddColumn("GFEND", &end);
  AddColumn("GFSTAT", &status);
}

tsGLTransactionRec::tsGLTransactionRec() : ccRecData("GLT", kGLTLine, "GTRUN;GTSEQ;GTLEDG") {
  AddColumn("GTRUN", &run);
  AddColumn("GTSEQ", &sequence);
  AddColumn("GTLEDG", &ledger);
  AddColumn("GTACCT", &account);
  AddColumn("GTDC", &debit_credit);
  AddColumn("GTAMT", &amount);
  AddColumn("GTDATE", &date);
  AddColumn("GTJRN", &journal);
  AddColumn("GTDESC", &description);
  AddColumn("GTREF1", &reference1);
  AddColumn("GTREF2", &reference2);
  AddColumn("GTAPPL", &appl_of_origin);
  AddColumn("GTBATCH", &batch);
  AddColumn("GTBSRC", &batch_source);
  AddColumn("GTSUM", &summarized);
  AddColumn("GTICRC", &ic_receivable);
  AddColumn("GTICPY", &ic_payable);
  AddColumn("GTVEND", &vendor);
  AddColumn("GTINV", &invoice);
  AddColumn("GTBANK", &bank);
  AddColumn("GTCHECK", &check_number);
  AddColumn("GTEMP", &employee);
  AddColumn("GTJOB", &job);
}

namespace {
// Registered when the framework is loaded, before any file can be created or opened.
const bool kLedgerFilesRegistered = (tsRegisterLedgerFiles(), true);
}  // namespace
