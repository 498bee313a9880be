// Hostile text as data: ids, descriptions and notes holding quotes,
// semicolons, SQL, NULs and invalid UTF-8 go through insert, keyed and
// indexed fetches, update and delete of real data files, and are either
// refused (too long for their column) or come back byte for byte, while the
// database's tables and catalogue stay exactly as they were. Names that are
// not plain identifiers never reach SQL text.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "accounts/bank_account.h"
#include "framework/io/attachments.h"
#include "framework/io/backend.h"
#include "framework/io/backup.h"
#include "framework/io/company.h"
#include "framework/io/sql_names.h"
#include "records/record_test_support.h"
#include "transactions/transaction.h"

namespace {

struct Hostile { const char* what; std::string text; };

std::vector<Hostile> HostileTexts() {
  return {
      {"single quote", "O'Brien"}, {"closes a literal", "x');--"}, {"closes an identifier", "\";DROP--"},
      {"semicolons", ";;;"}, {"a statement", "1;DELETE"}, {"parameter marks", "?1 ?2 :a @b $c"},
      {"comments", "-- /* */"}, {"embedded NUL", std::string("A\0B", 3)}, {"leading NUL", std::string("\0Z", 2)},
      {"invalid UTF-8", "\xff\xfe\xc3\x28"}, {"overlong UTF-8", "\xc0\xaf\xe0\x80\xaf"},
      {"format specifiers", "%s%n%x"}, {"backslashes", "\\'\\\"\\0"}, {"LIKE wildcards", "%_%"},
  };
}

// The tables of the database and the rows of its catalogue, read directly
// (a server company's from its backup, a company folder's database).
std::vector<std::string> Schema(const std::string& db_path) {
  const std::string server = db_path.substr(0, db_path.rfind('/'));
  if (tsioIsServerAddress(server)) {
    bktest::TempDir copy;
    EXPECT_EQ(tsioBackupCompany(server, copy.Sub("company.db")), tsioStatus::kSuccess);
    return Schema(copy.Sub("company.db"));
  }
  std::vector<std::string> out;
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  const char* sql =
      "SELECT type || ' ' || name FROM sqlite_master UNION ALL "
      "SELECT 'catalogue ' || code || '.' || instance || ' ' || dict_id FROM tsio_catalogue ORDER BY 1";
  EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &q, nullptr), SQLITE_OK);
  while (q && sqlite3_step(q) == SQLITE_ROW) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
  sqlite3_finalize(q);
  sqlite3_close(db);
  return out;
}

class HostileText : public ::testing::Test {
 protected:
  std::string DbPath() const { return company.fm.Folder() + "/" + tsioCompany::kDatabaseName; }
  // A bank-account cursor with the id (and a description, when given) set.
  std::unique_ptr<BankAccount> Account(const std::string& id, const std::string* description = nullptr) {
    auto c = std::make_unique<BankAccount>(*company.bkm);
    c->m_Record.SetBankAccount(tsAlpha(id));
    if (description) c->m_Record.SetDescription(tsAlpha(*description));
    return c;
  }
  bktest::BankCompany company;
};

TEST_F(HostileText, IdsAndDescriptionsRoundTripAsDataThroughEveryOperation) {
  const std::string untouched = "untouched";
  auto bystander = Account("KEEP", &untouched);
  ASSERT_EQ(bystander->Insert(), tsioStatus::kSuccess);
  const std::vector<std::string> schema = Schema(DbPath());

  for (const Hostile& h : HostileTexts()) {
    SCOPED_TRACE(h.what);
    const tsAlpha id(h.text);
    if (bktest::OnServer() && h.text.find('\0') != std::string::npos) {
      // The server's text holds no NUL byte: refused whole, never cut short.
      EXPECT_EQ(Account(h.text, &h.text)->Insert(), tsioStatus::kValueDoesNotFit);
      EXPECT_EQ(Account(h.text.substr(0, h.text.find('\0')))->FetchEQ(false), tsioStatus::kNotFound);
      ASSERT_EQ(bystander->FetchEQ(true), tsioStatus::kSuccess);
      bystander->m_Record.SetDescription(tsAlpha(h.text));
      EXPECT_EQ(bystander->Update(), tsioStatus::kValueDoesNotFit);
      (void)bystander->Unlock();
      EXPECT_EQ(Schema(DbPath()), schema);
      continue;
    }
    ASSERT_EQ(Account(h.text, &h.text)->Insert(), tsioStatus::kSuccess);
    // Keyed fetch and update.
    const auto owned = Account(h.text);
    BankAccount& bank = *owned;
    ASSERT_EQ(bank.FetchEQ(true), tsioStatus::kSuccess);
    EXPECT_EQ(bank.m_Record.GetBankAccount().str(), h.text);
    EXPECT_EQ(bank.m_Record.GetDescription().str(), h.text);
    bank.m_Record.SetDescription(tsAlpha(h.text + "|" + h.text));
    ASSERT_EQ(bank.Update(), tsioStatus::kSuccess);
    (void)bank.Unlock();

    // A transaction of that bank, found again through a secondary index
    // (bank + check number) and by its key, with notes.
    Transaction by_check(*company.bkt, "", 6);
    by_check.m_Record.SetRun(tsDouble(1));
    by_check.m_Record.SetSequence(tsDouble(1));
    by_check.m_Record.SetType(1);
    by_check.m_Record.SetBankAccount(id);
    by_check.m_Record.SetCheck(tsDouble(77));
    by_check.m_Record.SetDescription(tsAlpha(h.text + h.text));
    ASSERT_EQ(by_check.Insert(), tsioStatus::kSuccess);
    by_check.m_Record.SetDescription("");
    by_check.m_Record.SetBankAccount(id);
    by_check.m_Record.SetCheck(tsDouble(77));
    ASSERT_EQ(by_check.FetchEQ(false), tsioStatus::kSuccess);
    EXPECT_EQ(by_check.m_Record.GetBankAccount().str(), h.text);
    EXPECT_EQ(by_check.m_Record.GetDescription().str(), h.text + h.text);

    tsioAttachments notes(*company.bkt, 1);
    notes.Notes() = {h.text, "after " + h.text};
    ASSERT_EQ(notes.Write(*by_check.CursorPtr()), tsioStatus::kSuccess);
    tsioAttachments back(*company.bkt, 1);
    ASSERT_EQ(back.Fetch(*by_check.CursorPtr()), tsioStatus::kSuccess);
    EXPECT_EQ(back.Notes(), notes.Notes());

    // A walk in key order meets the hostile id where its bytes sort.
    BankAccount walk(*company.bkm);
    std::vector<std::string> ids, want{"KEEP", h.text};
    for (tsioStatus::Status st = walk.FetchFirst(false); st == tsioStatus::kSuccess; st = walk.FetchNext(false)) {
      ids.push_back(walk.m_Record.GetBankAccount().str());
    }
    std::sort(want.begin(), want.end());
    EXPECT_EQ(ids, want);

    // Deleted, both are gone, and nothing else is.
    ASSERT_EQ(by_check.FetchEQ(true), tsioStatus::kSuccess);
    ASSERT_EQ(by_check.Delete(), tsioStatus::kSuccess);
    ASSERT_EQ(bank.FetchEQ(true), tsioStatus::kSuccess);
    ASSERT_EQ(bank.Delete(), tsioStatus::kSuccess);
    EXPECT_EQ(Account(h.text)->FetchEQ(false), tsioStatus::kNotFound);
    EXPECT_EQ(Schema(DbPath()), schema);
  }
  ASSERT_EQ(bystander->FetchEQ(false), tsioStatus::kSuccess);
  EXPECT_EQ(bystander->m_Record.GetDescription().str(), "untouched");
}

TEST_F(HostileText, TextTooLongForItsColumnIsRefusedAndNothingIsWritten) {
  const std::vector<std::string> schema = Schema(DbPath());
  const struct { const char* what; std::string id, description; } cases[] = {
      {"id one longer than its 15 characters", std::string(16, 'A'), "fine"},
      {"SQL in an id too long", "x'); DELETE FROM tsio_catalogue; --", "fine"},
      {"description of 100,000 bytes", "LONG", std::string(100000, '\'')},
      {"description of invalid UTF-8 too long", "UTF", std::string(41, '\xff')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Account(c.id, &c.description)->Insert(), tsioStatus::kValueDoesNotFit);
    EXPECT_EQ(Account("")->FetchFirst(false), tsioStatus::kEndOfFile);
    EXPECT_EQ(Schema(DbPath()), schema);
  }
}

TEST_F(HostileText, NamesThatAreNotPlainIdentifiersCreateAndOpenNothing) {
  const std::vector<std::string> schema = Schema(DbPath());
  // A definition whose code or column names would end up inside SQL text.
  const struct { const char* what; std::string code, column; } cases[] = {
      {"code closing the quoted name", "X\";DROP TABLE tsio_catalogue;--", "COL"}, {"code with a quote", "X'Y", "COL"},
      {"column closing the quoted name", "HOSTILE", "C\" TEXT);DROP TABLE tsio_catalogue;--"},
      {"column with a space", "HOSTILE", "A B"}, {"empty column name", "HOSTILE", ""},
  };
  short id = 9101;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const tsioRecordDef r{1, "", {{c.column, tsDataType::kAlpha, 10, 0, 0}}, {{0, {c.column}, true}}, false, false};
    const tsioFileDef def{c.code, ++id, "", false, {r}, {}, {}};
    tsioDictionary::Register(def);
    EXPECT_FALSE(tsioNamesArePlain(def));
    EXPECT_EQ(company.fm.Create(tsioFileSpec(c.code.c_str(), 1, id)), tsioStatus::kInvalidOperation);
    EXPECT_EQ(Schema(DbPath()), schema);
  }
  // A file name naming a hostile code is looked up as data and not found.
  tsioDataFile f;
  EXPECT_EQ(f.OpenByName(company.fm.Folder() + "/f_BKM_1_r1\";DROP TABLE tsio_catalogue;--.1"),
            tsioStatus::kFileDoesNotExist);
  EXPECT_EQ(Schema(DbPath()), schema);

  const struct {
    std::string name;
    bool plain;
  } names[] = {{"BKT", true}, {"TBNKACC", true}, {"_x9", true}, {"9X", false}, {"A-B", false},
               {"", false},   {"a\"b", false},   {"é", false},  {std::string(65, 'A'), false}};
  for (const auto& n : names) EXPECT_EQ(tsioIsPlainIdentifier(n.name), n.plain) << n.name;
}

}  // namespace
