// Encrypted tables: nothing of their records or keys on disk, nothing read
// before the password is enabled, the password checked, and every table
// operation (reading, index builds, deletes, checks) at work once it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "TableEncryptionTestSupport.h"
#include "engine/api/EngineApi.h"
#include "engine/api/EngineHandles.h"
#include "engine/fulltext/FullTextTag.h"
#include "engine/sql/SqlExecute.h"
#include "engine/table/TableCursor.h"
#include "engine/table/TableIndexScan.h"
#include "engine/util/Checksum.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/TableCryptoErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace {

using namespace crypt_test;
using engine_test::DatabaseFolder;
using engine_test::OpenOrFail;
using engine_test::ReadRows;

constexpr int kRows = 400;

// Every distinctive value and key of the sample rows.
std::vector<std::string> PlaintextProbes() {
  std::vector<std::string> probes;
  for (const Row& row : PeopleRows(kRows)) {
    probes.push_back(*row[0]);
    if (row[4]) probes.push_back(*row[4]);
  }
  for (int i = 0; i < 37; ++i) probes.push_back("Quixotic" + std::to_string(i));
  probes.push_back("Quixotic");
  probes.push_back("Zebra note");
  probes.push_back("LASTNAME;RECID");  // the tag directory's expression
  return probes;
}

// The probes found in the file at `path`.
std::vector<std::string> ProbesIn(const std::string& path) {
  const std::string bytes = TempDir::ReadFile(path);
  EXPECT_FALSE(bytes.empty()) << path;
  std::vector<std::string> found;
  for (const std::string& probe : PlaintextProbes()) {
    if (bytes.find(probe) != std::string::npos) found.push_back(probe);
  }
  return found;
}

std::vector<Row> LiveRows(const std::vector<Row>& rows, const std::vector<uint32_t>& deleted = {}) {
  std::vector<Row> live;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (std::find(deleted.begin(), deleted.end(), i + 1) == deleted.end()) live.push_back(rows[i]);
  }
  return live;
}

std::string CheckText(const std::optional<engine::IndexFileCheck>& check) {
  return check ? ::testing::PrintToString(check->Lines()) : "no index file";
}

class TableEncryption : public ::testing::Test {
 protected:
  void SetUp() override { MakePeople(db_, kRows); }
  DatabaseFolder db_;
};

TEST_F(TableEncryption, NoValueOrKeyOfTheTableStandsInItsFiles) {
  DatabaseFolder plain;
  MakePeople(plain, kRows, /*encrypt=*/false);
  // The probes do find the values where they stand in plain files.
  EXPECT_EQ(ProbesIn(plain / "People.ADT").size(), PlaintextProbes().size() - 1);
  EXPECT_FALSE(ProbesIn(plain / "People.Adi").empty());

  EXPECT_EQ(ProbesIn(db_ / "People.ADT"), std::vector<std::string>{});
  EXPECT_EQ(ProbesIn(db_ / "People.Adi"), std::vector<std::string>{});
  // Nor after the index file is written anew under the enabled password:
  // a tag added, one rebuilt, records deleted.
  {
    auto table = OpenUnlocked(db_, engine::OpenMode::Exclusive);
    ASSERT_TRUE(table);
    ASSERT_TRUE(table->AddIndex(Tag("NOTES", "NOTES;SCORE"), 2048).ok());
    ASSERT_TRUE(table->DeleteRecord(3).ok());
    ASSERT_TRUE(table->Sync().ok());
    ASSERT_TRUE(table->Reindex(0).ok());
  }
  EXPECT_EQ(ProbesIn(db_ / "People.ADT"), std::vector<std::string>{});
  EXPECT_EQ(ProbesIn(db_ / "People.Adi"), std::vector<std::string>{});
  // No file beside them holds anything either.
  EXPECT_EQ(FilesIn(db_.Path()), (std::vector<std::string>{"People.ADT", "People.Adi"}));
}

TEST_F(TableEncryption, NothingIsReadBeforeThePasswordIsEnabled) {
  auto table = OpenOrFail(db_.Connection(), "People.ADT", engine::OpenMode::Exclusive);
  ASSERT_TRUE(table);
  EXPECT_TRUE(table->IsEncrypted());
  EXPECT_TRUE(table->NeedsPassword());
  EXPECT_EQ(table->RecordCount(), uint32_t{kRows});  // the header is not secret
  // The index page size is known from the index file's header page.
  EXPECT_EQ(table->IndexPageSize(), 1024u);

  std::vector<uint8_t> record;
  const std::vector<std::pair<const char*, std::function<engine::Status()>>> reads = {
      {"read a record", [&] { return table->ReadRecord(1, record); }},
      {"scan",
       [&] {
         engine::TableScanner scanner = table->Scan();
         EXPECT_FALSE(scanner.Next());
         return scanner.status();
       }},
      {"count", [&] { return table->CountLiveRecords().status(); }},
      {"cursor", [&] { return table->Cursor().First(); }},
      {"field of the cursor", [&] { return table->Cursor().FieldText("RECID").status(); }},
      {"index file", [&] { return table->Indexes().status(); }},
      {"index scan", [&] { return engine::TableIndexScan::Open(*table, "PRIMARY").status(); }},
      {"add a tag", [&] { return table->AddIndex(Tag("SCORE", "SCORE"), 0); }},
      {"reindex", [&] { return table->Reindex(0); }},
      {"delete", [&] { return table->DeleteRecord(1); }},
      {"append", [&] { return table->Appender().status(); }},
  };
  for (const auto& [what, read] : reads) {
    const engine::Status status = read();
    EXPECT_EQ(status.Code(), engine::AE_PASSWORD_NOT_ENABLED) << what << ": " << status.Message();
    EXPECT_NE(status.Message().find("\"People.ADT\""), std::string::npos) << status.Message();
  }
  const auto check = table->VerifyIndexes();
  ASSERT_TRUE(check);
  EXPECT_FALSE(check->Ok());
  EXPECT_NE(check->FileProblem.find("People.ADT"), std::string::npos) << check->FileProblem;
  EXPECT_TRUE(table->Cursor().Bof() && table->Cursor().Eof());

  // Nothing was changed by the refused calls.
  table.reset();
  auto unlocked = OpenUnlocked(db_);
  ASSERT_TRUE(unlocked);
  EXPECT_EQ(ReadRows(*unlocked), PeopleRows(kRows));
  auto tags = unlocked->Indexes();
  ASSERT_TRUE(tags.ok()) << tags.status().Message();
  EXPECT_EQ((*tags)->Tags().size(), 2u);
}

TEST_F(TableEncryption, OnlyTheTablesPasswordOpensIt) {
  auto table = OpenOrFail(db_.Connection(), "People.ADT");
  ASSERT_TRUE(table);
  const std::string right = kPassword;
  for (const std::string& wrong : {std::string(), right + " ", right.substr(0, right.size() - 1),
                                   right.substr(1), std::string("TR0UB4DOR&3 HORSE")}) {
    const engine::Status status = table->EnableEncryption(wrong);
    EXPECT_EQ(status.Code(), engine::AE_WRONG_PASSWORD) << "\"" << wrong << "\"";
    EXPECT_NE(status.Message().find("\"People.ADT\""), std::string::npos) << status.Message();
    EXPECT_TRUE(table->NeedsPassword());
  }
  ASSERT_TRUE(table->EnableEncryption(kPassword).ok());
  EXPECT_EQ(table->EnableEncryption(kPassword).Code(), engine::AE_ALREADY_SO);
  EXPECT_EQ(table->EnableEncryption("anything").Code(), engine::AE_ALREADY_SO);
  EXPECT_EQ(ReadRows(*table), PeopleRows(kRows));
  ASSERT_TRUE(table->DisableEncryption().ok());
  EXPECT_EQ(table->DisableEncryption().Code(), engine::AE_ALREADY_SO);
  EXPECT_EQ(table->CountLiveRecords().status().Code(), engine::AE_PASSWORD_NOT_ENABLED);
  // Enabled again, all reads again.
  ASSERT_TRUE(table->EnableEncryption(kPassword).ok());
  EXPECT_EQ(table->CountLiveRecords().value(), uint32_t{kRows});
}

TEST_F(TableEncryption, IndexesAreBuiltCheckedAndScannedAndDeletesKeepThemExact) {
  const std::vector<Row> rows = PeopleRows(kRows);
  {
    auto table = OpenUnlocked(db_, engine::OpenMode::Exclusive);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->VerifyIndexes()->Ok()) << CheckText(table->VerifyIndexes());
    ASSERT_TRUE(table->AddIndex(Tag("SCORE", "SCORE", true), 512).ok());
    const std::vector<uint32_t> deleted = {1, 2, 77, 200, kRows};
    for (uint32_t recno : deleted) ASSERT_TRUE(table->DeleteRecord(recno).ok());
    ASSERT_TRUE(table->Sync().ok());
    // The tags still name the deleted records until they are rebuilt.
    EXPECT_FALSE(table->VerifyIndexes()->Ok());
    ASSERT_TRUE(table->Reindex(0).ok());
    EXPECT_TRUE(table->VerifyIndexes()->Ok()) << CheckText(table->VerifyIndexes());
    EXPECT_EQ(ReadRows(*table), LiveRows(rows, deleted));
  }
  // Read again from disk, through a tag in key order.
  auto table = OpenUnlocked(db_);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->IndexPageSize(), 512u);
  auto scan = engine::TableIndexScan::Open(*table, "NAME");
  ASSERT_TRUE(scan.ok()) << scan.status().Message();
  ASSERT_TRUE((*scan)->SeekText("Quixotic12").ok());
  ASSERT_FALSE((*scan)->Eof());
  EXPECT_EQ(engine::FieldText((*scan)->Record(), 1), "Quixotic12");
  EXPECT_EQ(engine::FieldText((*scan)->Record(), 0), "Rid100012");
  EXPECT_EQ(table->CountLiveRecords().value(), uint32_t{kRows - 5});
}

TEST_F(TableEncryption, FullTextTagsAreBuiltSearchedAndCheckedUnderTheKey) {
  {
    auto table = OpenUnlocked(db_, engine::OpenMode::Exclusive);
    ASSERT_TRUE(table);
    engine::FullTextTagDefinition definition;
    definition.Name = "FT_NOTES";
    definition.Expression = "NOTES;LASTNAME";
    const engine::Status built = table->AddFullTextIndex(definition, 0);
    ASSERT_TRUE(built.ok()) << built.Message();
    EXPECT_TRUE(table->VerifyIndexes()->Ok()) << CheckText(table->VerifyIndexes());
    auto found = table->SearchFullText("FT_NOTES", "zebra 100012 quixotic12");
    ASSERT_TRUE(found.ok()) << found.status().Message();
    EXPECT_EQ(*found, std::vector<uint32_t>{13});
    ASSERT_TRUE(table->DisableEncryption().ok());
    EXPECT_EQ(table->SearchFullText("FT_NOTES", "zebra").status().Code(),
              engine::AE_PASSWORD_NOT_ENABLED);
  }
  const std::string index = TempDir::ReadFile(db_ / "People.Adi");
  for (const char* word : {"ZEBRA", "Zebra", "zebra", "QUIXOTIC", "Quixotic", "NOTE"})
    EXPECT_EQ(index.find(word), std::string::npos) << word;
}

// A statement opens its table on its own, without the password: it answers
// the engine's error and changes nothing.
TEST_F(TableEncryption, StatementsOnAnEncryptedTableChangeNothing) {
  const std::string table_before = TempDir::ReadFile(db_ / "People.ADT");
  const std::string index_before = TempDir::ReadFile(db_ / "People.Adi");
  for (const char* statement :
       {"delete from People where RECID is null or RECID = ''", "DELETE FROM People.ADT",
        "CREATE INDEX FT ON People ( NOTES ) CONTENT"}) {
    const auto outcome = engine::ExecuteStatement(db_.Connection(), statement);
    EXPECT_EQ(outcome.status().Code(), engine::AE_PASSWORD_NOT_ENABLED) << statement;
    EXPECT_NE(outcome.status().Message().find("People.ADT"), std::string::npos)
        << outcome.status().Message();
  }
  EXPECT_TRUE(TempDir::ReadFile(db_ / "People.ADT") == table_before);
  EXPECT_TRUE(TempDir::ReadFile(db_ / "People.Adi") == index_before);
}

// Once the program enabled the table's password on the same connection, its
// statements open the table under it; once it is disabled, they cannot.
TEST_F(TableEncryption, StatementsRunUnderThePasswordEnabledOnTheConnection) {
  ASSERT_TRUE(OpenUnlocked(db_));  // enabled, then closed again
  const auto removed = engine::ExecuteStatement(db_.Connection(), "DELETE FROM People.ADT");
  ASSERT_TRUE(removed.ok()) << removed.status().Message();
  EXPECT_GT(removed->RowsAffected, 0u);
  const auto again = engine::ExecuteStatement(db_.Connection(), "DELETE FROM People.ADT");
  ASSERT_TRUE(again.ok()) << again.status().Message();
  EXPECT_EQ(again->RowsAffected, 0u);
  {
    auto table = OpenUnlocked(db_);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->VerifyIndexes()->Ok()) << CheckText(table->VerifyIndexes());
    ASSERT_TRUE(table->DisableEncryption().ok());
  }
  EXPECT_EQ(engine::ExecuteStatement(db_.Connection(), "DELETE FROM People.ADT").status().Code(),
            engine::AE_PASSWORD_NOT_ENABLED);
}

TEST_F(TableEncryption, TheHandleCallsUnlockAndLockTheOpenTable) {
  auto table = OpenOrFail(db_.Connection(), "People.ADT");
  ASSERT_TRUE(table);
  const engine::ADSHANDLE handle = engine::HandleOfTable(*table);
  uint16_t encrypted = 0;
  ASSERT_EQ(engine::AdsIsTableEncrypted(handle, &encrypted), 0u);
  EXPECT_EQ(encrypted, 1);
  uint16_t at = 0;
  // Before the password the cursor stands on nothing, at both ends.
  ASSERT_EQ(engine::AdsAtBOF(handle, &at), 0u);
  EXPECT_EQ(at, 1);
  EXPECT_EQ(engine::AdsGotoTop(handle), uint32_t{engine::AE_PASSWORD_NOT_ENABLED});
  const struct {
    const char* what;
    std::function<uint32_t()> call;
    int answer;
  } calls[] = {
      {"disable before enable", [&] { return engine::AdsDisableEncryption(handle); },
       engine::AE_ALREADY_SO},
      {"wrong password", [&] { return engine::AdsEnableEncryption(handle, "guess"); },
       engine::AE_WRONG_PASSWORD},
      {"enable", [&] { return engine::AdsEnableEncryption(handle, kPassword); }, 0},
      {"enable again", [&] { return engine::AdsEnableEncryption(handle, kPassword); },
       engine::AE_ALREADY_SO},
      {"to the top", [&] { return engine::AdsGotoTop(handle); }, 0},
      {"disable", [&] { return engine::AdsDisableEncryption(handle); }, 0},
      {"disable again", [&] { return engine::AdsDisableEncryption(handle); },
       engine::AE_ALREADY_SO},
      {"to the top, locked", [&] { return engine::AdsGotoTop(handle); },
       engine::AE_PASSWORD_NOT_ENABLED},
  };
  for (const auto& c : calls) {
    EXPECT_EQ(c.call(), static_cast<uint32_t>(c.answer)) << c.what;
    if (c.answer != 0) {
      uint32_t code = 0;
      std::string message;
      engine::AdsGetLastError(&code, &message);
      EXPECT_EQ(code, static_cast<uint32_t>(c.answer)) << c.what << ": " << message;
    }
  }
  std::string text;
  EXPECT_EQ(engine::AdsGetField(handle, "RECID", &text), uint32_t{engine::AE_PASSWORD_NOT_ENABLED});
  EXPECT_EQ(text, "");
}

// What was read under the password is not served once it is disabled: not
// by a scan's read buffer (also after the scan is placed anew), not by the
// cursor's current record.
TEST_F(TableEncryption, NothingReadUnderThePasswordOutlivesItsDisabling) {
  auto table = OpenUnlocked(db_);
  ASSERT_TRUE(table);
  engine::TableScanner scanner = table->Scan();
  ASSERT_TRUE(scanner.Next());
  EXPECT_EQ(engine::FieldText(scanner.Record(), 0), "Rid100000");
  ASSERT_TRUE(table->Cursor().First().ok());
  ASSERT_TRUE(table->Cursor().Next().ok());
  EXPECT_EQ(table->Cursor().FieldText("RECID").value(), "Rid100001");

  ASSERT_TRUE(table->DisableEncryption().ok());
  EXPECT_FALSE(scanner.Next());
  EXPECT_EQ(scanner.status().Code(), engine::AE_PASSWORD_NOT_ENABLED);
  scanner.Reset(1);
  EXPECT_FALSE(scanner.Next());
  EXPECT_EQ(scanner.status().Code(), engine::AE_PASSWORD_NOT_ENABLED);
  EXPECT_EQ(table->Cursor().FieldText("RECID").status().Code(), engine::AE_PASSWORD_NOT_ENABLED);
  EXPECT_EQ(table->Cursor().RecNo(), 0u);
  EXPECT_TRUE(table->Cursor().Bof() && table->Cursor().Eof());

  // And enabled again, the same scan reads on.
  ASSERT_TRUE(table->EnableEncryption(kPassword).ok());
  scanner.Reset(2);
  ASSERT_TRUE(scanner.Next());
  EXPECT_EQ(engine::FieldText(scanner.Record(), 0), "Rid100001");
}

TEST_F(TableEncryption, DecryptingGivesBackThePlainTableAndItsIndexes) {
  EXPECT_EQ(engine::DecryptTable(db_.Connection(), "People.ADT", "guess").Code(),
            engine::AE_WRONG_PASSWORD);
  EXPECT_EQ(engine::EncryptTable(db_.Connection(), "People.ADT", "other", QuickRewrite()).Code(),
            engine::AE_ALREADY_SO);
  ASSERT_TRUE(engine::DecryptTable(db_.Connection(), "people.adt", kPassword).ok());
  EXPECT_EQ(engine::DecryptTable(db_.Connection(), "People.ADT", kPassword).Code(),
            engine::AE_ALREADY_SO);
  auto table = OpenOrFail(db_.Connection(), "People.ADT");
  ASSERT_TRUE(table);
  EXPECT_FALSE(table->IsEncrypted());
  EXPECT_EQ(ReadRows(*table), PeopleRows(kRows));
  EXPECT_TRUE(table->VerifyIndexes()->Ok()) << CheckText(table->VerifyIndexes());
  EXPECT_EQ(FilesIn(db_.Path()), (std::vector<std::string>{"People.ADT", "People.Adi"}));
}

TEST(TableEncryptionRefusals, EmptyPasswordsAndRoundsOutOfRangeEncryptNothing) {
  DatabaseFolder db;
  MakePeople(db, 10, /*encrypt=*/false);
  const std::string before = TempDir::ReadFile(db / "People.ADT");
  engine::TableRewriteOptions few = QuickRewrite();
  few.KdfIterations = engine::kMinKdfIterations - 1;
  EXPECT_EQ(engine::EncryptTable(db.Connection(), "People.ADT", "", QuickRewrite()).Code(),
            engine::AE_EMPTY_PASSWORD);
  EXPECT_EQ(engine::EncryptTable(db.Connection(), "People.ADT", "pw", few).Code(),
            engine::AE_ENCRYPTION_SETTINGS);
  EXPECT_EQ(engine::EncryptTable(db.Connection(), "Nobody.ADT", "pw", QuickRewrite()).Code(),
            engine::AE_TABLE_NOT_FOUND);
  {
    auto held = OpenOrFail(db.Connection(), "People.ADT");
    EXPECT_EQ(engine::EncryptTable(db.Connection(), "People.ADT", "pw", QuickRewrite()).Code(),
              engine::AE_TABLE_IN_USE);
  }
  EXPECT_TRUE(TempDir::ReadFile(db / "People.ADT") == before);
  EXPECT_EQ(FilesIn(db.Path()), (std::vector<std::string>{"People.ADT", "People.Adi"}));
}

// An index file must be encrypted exactly like its table: a plain one
// beside an encrypted table, or one written under an earlier key of it, is
// not read as if it were the table's.
TEST_F(TableEncryption, AnIndexFileOfAnotherKeyIsRefused) {
  const std::string first_key_index = TempDir::ReadFile(db_ / "People.Adi");
  ASSERT_TRUE(engine::DecryptTable(db_.Connection(), "People.ADT", kPassword).ok());
  const std::string plain_index = TempDir::ReadFile(db_ / "People.Adi");
  ASSERT_TRUE(engine::EncryptTable(db_.Connection(), "People.ADT", kPassword, QuickRewrite()).ok());
  for (const std::string* foreign : {&first_key_index, &plain_index}) {
    db_.Dir().WriteFile("People.Adi", *foreign);
    auto table = OpenUnlocked(db_, engine::OpenMode::Exclusive);
    ASSERT_TRUE(table);
    const auto indexes = table->Indexes();
    EXPECT_EQ(indexes.status().Code(), engine::AE_INDEX_KEY_MISMATCH) << indexes.status().Message();
    EXPECT_FALSE(table->VerifyIndexes()->Ok());
    EXPECT_EQ(table->Reindex(0).Code(), engine::AE_INDEX_KEY_MISMATCH);
  }
  // A rewrite does not carry such a file into the new table either.
  EXPECT_EQ(engine::DecryptTable(db_.Connection(), "People.ADT", kPassword).Code(),
            engine::AE_INDEX_KEY_MISMATCH);
  EXPECT_EQ(FilesIn(db_.Path()), (std::vector<std::string>{"People.ADT", "People.Adi"}));
}

// Counter mode has no integrity of its own: the page checksums, computed
// before encryption, find a changed byte of an encrypted index file.
TEST_F(TableEncryption, AChangedByteOfAnEncryptedIndexFileFailsTheCheck) {
  const std::string path = db_ / "People.Adi";
  const std::string original = TempDir::ReadFile(path);
  for (size_t offset = 3; offset < original.size(); offset += 61) {
    engine_test::FlipByte(path, offset, 0x10);
    auto table = OpenUnlocked(db_);
    ASSERT_TRUE(table);
    const auto check = table->VerifyIndexes();
    EXPECT_FALSE(check && check->Ok()) << "byte " << offset;
    table.reset();
    db_.Dir().WriteFile("People.Adi", original);
  }
}

TEST_F(TableEncryption, AnUnknownSchemeIsNotTakenForAWrongPassword) {
  // The scheme byte of both commit slots, with their checksums made good.
  std::string bytes = TempDir::ReadFile(db_ / "People.ADT");
  for (size_t slot : engine::kCommitSlotOffsets) {
    bytes[slot + 84] = 2;
    const uint32_t crc = engine::Crc32c(bytes.data() + slot, 124);
    std::memcpy(bytes.data() + slot + 124, &crc, 4);
  }
  db_.Dir().WriteFile("People.ADT", bytes);
  auto table = OpenOrFail(db_.Connection(), "People.ADT");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->EnableEncryption(kPassword).Code(), engine::AE_ENCRYPTION_UNAVAILABLE);
  EXPECT_TRUE(table->NeedsPassword());
}

}  // namespace
