// Table components: opening on a connection found by name, the properties
// fixed while open, exclusive opens, filters, moving and field texts, and
// engine failures raised with their place.
#include <gtest/gtest.h>

#include <functional>

#include "DataSetFixture.h"
#include "dataset/EDatabaseError.h"
#include "engine/api/EngineApi.h"
#include "engine/table/Table.h"
#include "engine/util/TableErrorCodes.h"

namespace {

constexpr uint32_t Code(int engine_code) {
  return static_cast<uint32_t>(engine_code);
}

TEST_F(DataSetTest, ATableReattachedToAnotherConnectionReadsThatDatabase) {
  TempDir other_db;
  ASSERT_TRUE(MakeEngineTable(other_db.Path(), "T.ADT", {"NAME:C:10"}, {{"other"}}).ok());
  MakeTable("T.ADT", {"NAME:C:10"}, {{"main"}});
  TAdsConnection other;
  other.SetName("CONNECTEXCLUSIVE42");
  other.ConnectPath = other_db.Path();

  TAdsTable* table = Table("T.ADT", true);
  table->Open();
  EXPECT_EQ(table->FieldText("NAME"), "main");
  EXPECT_THROW(table->SetDatabaseName("CONNECTEXCLUSIVE42"), EDatabaseError);
  EXPECT_EQ(table->DatabaseName(), "Conn");

  table->Close();
  table->SetDatabaseName("connectexclusive42");
  table->Open();
  EXPECT_TRUE(other.IsConnected());
  EXPECT_EQ(table->FieldText("NAME"), "other");

  // The table now lives on the other connection: disconnecting the first
  // leaves it open, disconnecting its own closes it.
  connection_->SetIsConnected(false);
  EXPECT_TRUE(table->Active());
  other.SetIsConnected(false);
  EXPECT_FALSE(table->Active());
}

TEST_F(DataSetTest, DatabaseNameTableNameAndExclusiveAreFixedWhileOpen) {
  MakeTable("T.ADT", {"NAME:C:10"}, {{"a"}});
  MakeTable("U.ADT", {"NAME:C:10"}, {{"b"}});
  TAdsTable* table = Table("T.ADT");
  const struct {
    const char* property;
    std::function<void()> change;
    std::function<void()> keep;  // sets the value it has
    std::function<bool()> unchanged;
  } cases[] = {
      {"DatabaseName", [&] { table->SetDatabaseName("Other"); },
       [&] { table->SetDatabaseName("Conn"); }, [&] { return table->DatabaseName() == "Conn"; }},
      {"TableName", [&] { table->SetTableName("U.ADT"); }, [&] { table->SetTableName("T.ADT"); },
       [&] { return table->TableName() == "T.ADT"; }},
      {"Exclusive", [&] { table->SetExclusive(true); }, [&] { table->SetExclusive(false); },
       [&] { return !table->Exclusive(); }},
  };
  table->Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.property);
    try {
      c.change();
      ADD_FAILURE() << "changed while open";
    } catch (const EDatabaseError& error) {
      EXPECT_NE(error.Message().find(c.property), std::string::npos) << error.Message();
      EXPECT_NE(error.Message().find("MainTbl"), std::string::npos) << error.Message();
    }
    EXPECT_TRUE(c.unchanged());
    EXPECT_NO_THROW(c.keep());
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->FieldText("NAME"), "a");
  }
  table->Close();
  table->SetTableName("U.ADT");
  table->SetExclusive(true);
  table->Open();
  EXPECT_EQ(table->FieldText("NAME"), "b");
}

TEST_F(DataSetTest, AnExclusiveOpenIsRefusedWhileTheTableIsOpenElsewhere) {
  MakeTable("T.ADT", {"NAME:C:10"}, {{"a"}});
  const struct {
    bool first_exclusive;
    bool second_exclusive;
    bool second_opens;
  } cases[] = {
      {false, false, true}, {false, true, false}, {true, false, false}, {true, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.first_exclusive ? "exclusive" : "shared") + " then " +
                 (c.second_exclusive ? "exclusive" : "shared"));
    TAdsTable* first = Table("T.ADT", c.first_exclusive, "First");
    TAdsTable* second = Table("T.ADT", c.second_exclusive, "Second");
    first->Open();
    if (c.second_opens) {
      EXPECT_NO_THROW(second->Open());
    } else {
      const EADSDatabaseError error = ExpectAdsError([&] { second->Open(); });
      EXPECT_EQ(error.ACEErrorCode(), Code(engine::AE_TABLE_IN_USE));
      EXPECT_EQ(error.TableName(), "T.ADT");
      EXPECT_EQ(error.ComponentName(), "Second");
      EXPECT_EQ(error.OwnerName(), "DataModule");
      EXPECT_EQ(error.ColumnName(), "");
      EXPECT_FALSE(second->Active());
      // Once the first lets go, the second gets the table.
      first->Close();
      EXPECT_NO_THROW(second->Open());
    }
    EXPECT_TRUE(second->Active());
    delete first;
    delete second;
  }
}

class DictionaryTableTest : public DataSetTest {
 protected:
  void SetUp() override {
    MakeTable("DicTables.ADT", {"Type:C:1", "Table_Name:C:40"},
              {{"U", "Contacts.ADT"},
               {"S", "SysLock.adt"},
               {"U", "Gone.ADT"},
               {std::nullopt, "NoType.ADT"},
               {"U", "Accounts.ADT"},
               {"V", "Views.ADT"}});
    // A deleted user table: the filter must not bring it back.
    auto connection = engine::Connection::Connect(db_.Path());
    ASSERT_TRUE(connection.ok());
    auto table = engine::Table::Open(**connection, "DicTables.ADT", engine::OpenMode::Exclusive);
    ASSERT_TRUE(table.ok());
    ASSERT_TRUE(table.value()->DeleteRecord(3).ok());
    ASSERT_TRUE(table.value()->Sync().ok());
  }
};

TEST_F(DictionaryTableTest, TheUserTableFilterSelectsTheLiveUserTables) {
  TAdsTable* table = Table("DicTables.ADT", true);
  table->Open();
  // The order in which the rebuild reads the dictionary: filtering on, the
  // filter text with its trailing blank, then from the first record.
  table->SetFiltered(true);
  table->SetFilter("Type = 'U' ");
  table->First();
  EXPECT_EQ(ReadColumn(*table, "Table_Name"),
            (std::vector<std::string>{"Contacts.ADT", "Accounts.ADT"}));
  table->SetFilter("");
  table->SetFiltered(false);
  table->First();
  EXPECT_EQ(ReadColumn(*table, "Table_Name"),
            (std::vector<std::string>{"Contacts.ADT", "SysLock.adt", "NoType.ADT", "Accounts.ADT",
                                      "Views.ADT"}));
}

TEST_F(DictionaryTableTest, AFilterSetWhileClosedTakesEffectOnOpenAndOnlyWhileFiltered) {
  TAdsTable* table = Table("DicTables.ADT");
  table->SetFilter("Type <> 'U'");
  table->Open();
  EXPECT_EQ(ReadColumn(*table, "Table_Name").size(), 5u);
  table->SetFiltered(true);  // stands on the first selected record at once
  EXPECT_TRUE(table->Bof());
  EXPECT_EQ(ReadColumn(*table, "Table_Name"),
            (std::vector<std::string>{"SysLock.adt", "Views.ADT"}));
  table->Close();
  table->Open();
  EXPECT_EQ(table->FieldText("Table_Name"), "SysLock.adt");
}

TEST_F(DictionaryTableTest, ABadFilterIsRaisedAndTheFilterInForceStays) {
  TAdsTable* table = Table("DicTables.ADT");
  table->SetFiltered(true);
  table->SetFilter("Type = 'S'");
  table->Open();
  const struct {
    const char* filter;
    int code;
  } cases[] = {{"Type = ", engine::AE_FILTER_SYNTAX},
               {"Type = 5", engine::AE_FILTER_TYPE},
               {"Kind = 'U'", engine::AE_FIELD_NOT_FOUND}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    const EADSDatabaseError error = ExpectAdsError([&] { table->SetFilter(c.filter); });
    EXPECT_EQ(error.ACEErrorCode(), Code(c.code));
    EXPECT_EQ(error.TableName(), "DicTables.ADT");
    EXPECT_EQ(table->Filter(), "Type = 'S'");
    table->First();
    EXPECT_EQ(ReadColumn(*table, "Table_Name"), (std::vector<std::string>{"SysLock.adt"}));
  }

  // Switching filtering on with a bad condition leaves it off.
  table->SetFiltered(false);
  table->Close();
  table->SetFilter("Type = ");
  table->Open();
  EXPECT_THROW(table->SetFiltered(true), EADSDatabaseError);
  EXPECT_FALSE(table->Filtered());
  // And a table whose stored filter is bad does not open filtered.
  table->Close();
  table->SetFiltered(true);
  EXPECT_THROW(table->Open(), EADSDatabaseError);
  EXPECT_FALSE(table->Active());
}

TEST_F(DataSetTest, MovingToTheEndsOfATable) {
  MakeTable("T.ADT", {"NAME:C:10"}, {{"r1"}, {"r2"}, {"r3"}});
  TAdsTable* table = Table("T.ADT");
  table->Open();
  EXPECT_TRUE(table->Bof());
  EXPECT_FALSE(table->Eof());
  EXPECT_EQ(table->FieldText("NAME"), "r1");
  table->Next();
  EXPECT_FALSE(table->Bof());
  EXPECT_EQ(table->FieldText("NAME"), "r2");
  table->Next();
  table->Next();
  // Past the last record the table stands on it.
  EXPECT_TRUE(table->Eof());
  EXPECT_EQ(table->FieldText("NAME"), "r3");
  table->Next();
  EXPECT_TRUE(table->Eof());
  EXPECT_EQ(table->FieldText("NAME"), "r3");
  table->First();
  EXPECT_TRUE(table->Bof());
  EXPECT_FALSE(table->Eof());
  table->Last();
  EXPECT_FALSE(table->Bof());
  EXPECT_TRUE(table->Eof());
  EXPECT_EQ(table->FieldText("NAME"), "r3");
}

TEST_F(DataSetTest, AnEmptySelectionHasBothEndsAndNoCurrentRecord) {
  MakeTable("Empty.ADT", {"NAME:C:10"}, {});
  MakeTable("T.ADT", {"NAME:C:10"}, {{"r1"}, {"r2"}});
  const struct {
    const char* table;
    const char* filter;
  } cases[] = {{"Empty.ADT", ""}, {"T.ADT", "NAME = 'none'"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    TAdsTable* table = Table(c.table);
    table->SetFilter(c.filter);
    table->SetFiltered(true);
    table->Open();
    for (const std::function<void()>& move : {std::function<void()>([&] { table->First(); }),
                                              std::function<void()>([&] { table->Next(); }),
                                              std::function<void()>([&] { table->Last(); })}) {
      move();
      EXPECT_TRUE(table->Bof());
      EXPECT_TRUE(table->Eof());
      const EADSDatabaseError error = ExpectAdsError([&] { table->FieldText("NAME"); });
      EXPECT_EQ(error.ACEErrorCode(), Code(engine::AE_NO_CURRENT_RECORD));
      EXPECT_EQ(error.ColumnName(), "NAME");
    }
    delete table;
  }
}

TEST_F(DataSetTest, FieldTextsByNameInAnyCase) {
  MakeTable("T.ADT", {"NAME:C:8", "N:I", "AMOUNT:N", "DAY:D", "OK:L"},
            {{"ab  ", "-12", "0.25", "2003-04-05", "T"},
             {"", std::nullopt, std::nullopt, std::nullopt, std::nullopt}});
  TAdsTable* table = Table("T.ADT");
  table->Open();
  const std::vector<std::pair<std::string, std::string>> first = {
      {"NAME", "ab"}, {"n", "-12"}, {"Amount", "0.25"}, {"day", "2003-04-05"}, {"OK", "T"}};
  for (const auto& [field, text] : first) EXPECT_EQ(table->FieldText(field), text) << field;
  table->Next();
  for (const char* field : {"NAME", "N", "AMOUNT", "DAY", "OK"})
    EXPECT_EQ(table->FieldText(field), "") << field;
}

TEST_F(DataSetTest, AnEngineFailureIsRaisedWithItsCodeMessageAndPlace) {
  MakeTable("T.ADT", {"NAME:C:8"}, {{"a"}});
  TAdsTable* table = Table("T.ADT");
  table->Open();
  const EADSDatabaseError error = ExpectAdsError([&] { table->FieldText("Nope"); });
  EXPECT_EQ(error.ACEErrorCode(), Code(engine::AE_FIELD_NOT_FOUND));
  EXPECT_EQ(error.TableName(), "T.ADT");
  EXPECT_EQ(error.ColumnName(), "Nope");
  EXPECT_EQ(error.ComponentName(), "MainTbl");
  EXPECT_EQ(error.OwnerName(), "DataModule");
  EXPECT_EQ(error.SQLErrorCode(), "0");
  EXPECT_EQ(error.ClassName(), "EADSDatabaseError");
  // The code and message are the engine's last error.
  uint32_t last_code = 0;
  std::string last_message;
  engine::AdsGetLastError(&last_code, &last_message);
  EXPECT_EQ(error.ACEErrorCode(), last_code);
  EXPECT_EQ(error.Message(), last_message);
  EXPECT_NE(error.Message().find("Nope"), std::string::npos) << error.Message();
}

TEST_F(DataSetTest, OpenFailuresLeaveTheTableClosed) {
  db_.WriteFile("Bad.ADT", std::string(300, 'x'));
  const struct {
    const char* table;
    int code;
  } cases[] = {{"Missing.ADT", engine::AE_TABLE_NOT_FOUND},
               {"Bad.ADT", engine::AE_TABLE_CORRUPT},
               {"", engine::AE_INVALID_TABLE_NAME}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    TAdsTable* table = Table(c.table);
    const EADSDatabaseError error = ExpectAdsError([&] { table->Open(); });
    EXPECT_EQ(error.ACEErrorCode(), Code(c.code));
    EXPECT_EQ(error.TableName(), c.table);
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(connection_->ClientCount(), 0u);
  }
  // A DatabaseName that names no connection is the component's own error.
  TAdsTable* lost = Table("T.ADT");
  lost->SetDatabaseName("NoSuchConnection");
  EXPECT_THROW(lost->Open(), EDatabaseError);
}

TEST_F(DataSetTest, AClosedTableRefusesToMoveOrRead) {
  TAdsTable* table = Table("T.ADT");
  const std::pair<const char*, std::function<void()>> actions[] = {
      {"First", [&] { table->First(); }},
      {"Next", [&] { table->Next(); }},
      {"Last", [&] { table->Last(); }},
      {"FieldText", [&] { table->FieldText("NAME"); }},
      {"SetBrowseMode", [&] { table->SetBrowseMode(); }},
  };
  for (const auto& [name, action] : actions) EXPECT_THROW(action(), EDatabaseError) << name;
  EXPECT_TRUE(table->Eof());
  EXPECT_NO_THROW(table->Close());
}

}  // namespace
