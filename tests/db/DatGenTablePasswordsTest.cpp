// Table passwords by table name, and encrypted tables taken through the
// rebuild's sequence on a table component: opened exclusively, password
// enabled, indexes built, password disabled, closed.
#include <gtest/gtest.h>

#include <QObject>
#include <memory>
#include <string>

#include "dataset/AdsConnection.h"
#include "dataset/AdsTable.h"
#include "dataset/AdsTableCalls.h"
#include "dataset/EADSDatabaseError.h"
#include "db/DatGenTablePasswords.h"
#include "engine/crypto/TablePasswordSeeds.h"
#include "engine/table/TableRewrite.h"
#include "engine/util/EngineError.h"
#include "engine/util/TableCryptoErrors.h"
#include "support/EngineTables.h"
#include "support/TempDir.h"

namespace {

constexpr char kCWorkersPassword[] = "cw test password";
constexpr char kSysPMPassword[] = "pm test password 123";

class TestPasswords : public TTablePasswordProvider {
 public:
  std::string CWorkersPassword() const override { return kCWorkersPassword; }
  std::string SysPMPassword() const override { return kSysPMPassword; }
};

// The EADSDatabaseError `action` raises; a test failure when it raises
// nothing or something else.
template <typename Action>
EADSDatabaseError ExpectAdsError(Action&& action) {
  try {
    action();
  } catch (const EADSDatabaseError& error) {
    return error;
  } catch (const std::exception& other) {
    ADD_FAILURE() << "raised something else: " << other.what();
    return EADSDatabaseError(0, other.what(), {});
  }
  ADD_FAILURE() << "raised nothing";
  return EADSDatabaseError(0, "", {});
}

template <typename Action>
uint32_t ExpectAdsErrorCode(Action&& action) {
  return ExpectAdsError(std::forward<Action>(action)).ACEErrorCode();
}

// Installs a provider for one test and goes back to the default after it.
class ProviderScope {
 public:
  explicit ProviderScope(std::unique_ptr<TTablePasswordProvider> provider) {
    SetTablePasswordProvider(std::move(provider));
  }
  ~ProviderScope() { SetTablePasswordProvider(nullptr); }
};

TEST(TablePasswords, TheDefaultProviderGivesTheBuiltPasswordsByNamePrefix) {
  const std::string cworkers = engine::DefaultCWorkersPassword();
  const std::string syspm = engine::DefaultSysPMPassword();
  ASSERT_FALSE(cworkers.empty());
  ASSERT_FALSE(syspm.empty());
  const struct {
    const char* table;
    std::string password;
  } cases[] = {
      {"CWorkers.ADT", cworkers},
      {"cworkers.adt", cworkers},
      {"CWORKERS_2019.adt", cworkers},
      {"SysPM.ADT", syspm},
      {"syspmusers.adt", syspm},
      {"CWorker.ADT", ""},
      {"XCWorkers.ADT", ""},
      {"Sys.ADT", ""},
      {"Contacts.ADT", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GetTablePassword(c.table), c.password) << c.table;

  ProviderScope scope(std::make_unique<TestPasswords>());
  EXPECT_EQ(GetTablePassword("cWorkers.ADT"), kCWorkersPassword);
  EXPECT_EQ(GetTablePassword("SYSPM.ADT"), kSysPMPassword);
  EXPECT_EQ(GetTablePassword("Contacts.ADT"), "");
}

class EncryptedTables : public ::testing::Test {
 protected:
  EncryptedTables() : scope_(std::make_unique<TestPasswords>()) {
    owner_.setObjectName("DataModule");
    connection_.SetName("Conn");
    connection_.AdsServerTypes = stADS_LOCAL;
    connection_.ConnectPath = db_.Path();
  }

  // `name` with three records, indexed on ID, encrypted under `password`
  // (not encrypted when it is empty).
  void MakeTable(const std::string& name, const std::string& password) {
    ASSERT_TRUE(MakeEngineTable(db_.Path(), name, {"ID:C:8", "NAME:C:20"},
                                {{"k1", "Ann"}, {"k2", "Bob"}, {"k3", "Cy"}})
                    .ok());
    if (password.empty()) return;
    auto connection = engine::Connection::Connect(db_.Path());
    ASSERT_TRUE(connection.ok());
    engine::TableRewriteOptions options;
    options.KdfIterations = engine::kMinKdfIterations;
    const engine::Status encrypted = engine::EncryptTable(**connection, name, password, options);
    ASSERT_TRUE(encrypted.ok()) << encrypted.Message();
  }

  TAdsTable* Table(const std::string& name) {
    auto* table = new TAdsTable(&owner_);
    table->setObjectName("MainTbl");
    table->SetDatabaseName("Conn");
    table->SetTableName(name);
    table->SetExclusive(true);
    return table;
  }

  ProviderScope scope_;
  TempDir db_;
  QObject owner_;
  TAdsConnection connection_;
};

TEST_F(EncryptedTables, TheRebuildsSequenceReadsBuildsAndLocksTheTableAgain) {
  MakeTable("cworkers.adt", kCWorkersPassword);
  TAdsTable* table = Table("cworkers.adt");
  table->Open();
  ASSERT_TRUE(IsTableEncrypted(*table));
  // Open, but nothing to read before the password.
  EXPECT_TRUE(table->Bof() && table->Eof());
  EXPECT_EQ(ExpectAdsErrorCode([&] { table->FieldText("NAME"); }), engine::AE_PASSWORD_NOT_ENABLED);

  EnableTableEncryption(*table);
  EXPECT_TRUE(table->Bof());
  EXPECT_EQ(table->FieldText("NAME"), "Ann");
  table->AddIndex("PRIMARY", "ID", ixPrimary | ixUnique);
  table->AddIndex("NAME", "NAME", ixCaseInsensitive);
  table->Next();
  EXPECT_EQ(table->FieldText("NAME"), "Bob");
  uint16_t page_size = 0;
  EXPECT_EQ(AdsFirstIndexPageSize(*table, page_size), 0u);
  EXPECT_EQ(page_size, 1024);

  DisableTableEncryption(*table);
  EXPECT_TRUE(table->Bof() && table->Eof());
  EXPECT_EQ(ExpectAdsErrorCode([&] { table->FieldText("NAME"); }), engine::AE_PASSWORD_NOT_ENABLED);
  // A second disable is "already so", and ignored.
  DisableTableEncryption(*table);
  // Enabled again, the table starts at its first record.
  EnableTableEncryption(*table);
  EXPECT_EQ(table->FieldText("NAME"), "Ann");
  DisableTableEncryption(*table);
  table->Close();

  // The indexes were built under the key and check out.
  auto connection = engine::Connection::Connect(db_.Path());
  ASSERT_TRUE(connection.ok());
  auto opened = engine::Table::Open(**connection, "cworkers.adt", engine::OpenMode::Shared);
  ASSERT_TRUE(opened.ok());
  ASSERT_TRUE((*opened)->EnableEncryption(kCWorkersPassword).ok());
  const auto check = (*opened)->VerifyIndexes();
  ASSERT_TRUE(check);
  EXPECT_TRUE(check->Ok()) << ::testing::PrintToString(check->Lines());
}

// Each table gets the password of its name; an encrypted table whose name
// gives the wrong password (or none) fails with the engine's error.
TEST_F(EncryptedTables, EachTableIsEnabledWithThePasswordOfItsName) {
  const struct {
    const char* table;
    std::string encrypted_with;  // empty: not encrypted
    uint32_t error;              // of EnableTableEncryption, 0 when it passes
  } cases[] = {
      {"CWorkersArchive.ADT", kCWorkersPassword, 0},
      {"SYSPMUSERS.adt", kSysPMPassword, 0},
      {"Orders.ADT", "", 0},  // not encrypted: "already so" is ignored
      {"Contacts.ADT", "a password of its own", engine::AE_WRONG_PASSWORD},
      {"SysPMNotes.ADT", kCWorkersPassword, engine::AE_WRONG_PASSWORD},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    MakeTable(c.table, c.encrypted_with);
    TAdsTable* table = Table(c.table);
    table->Open();
    EXPECT_EQ(IsTableEncrypted(*table), !c.encrypted_with.empty());
    if (c.error == 0) {
      EnableTableEncryption(*table);
      EXPECT_EQ(table->FieldText("ID"), "k1");
    } else {
      const EADSDatabaseError error = ExpectAdsError([&] { EnableTableEncryption(*table); });
      EXPECT_EQ(error.ACEErrorCode(), c.error);
      EXPECT_EQ(error.TableName(), c.table);
      EXPECT_EQ(error.ComponentName(), "MainTbl");
      EXPECT_TRUE(table->Bof() && table->Eof());
    }
    table->Close();
  }
}

}  // namespace
