// Full-text sections: one CREATE INDEX ... CONTENT statement per entry, with
// the noise words of the entry's option section.
#include <QApplication>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/MaimInxBld_Unit.h"
#include "common/DatGenIniFile.h"
#include "rebuild/DatProgBuildIndex_DM.h"
#include "support/RebuildInstallation.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class FullTextRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.MakeTable("Contacts.ADT", {"RECID:C:16", "NOTES:C:60", "CITY:C:20", "SCORE:I"},
                   {{"c1", "the apple and the pear", "Paris", "1"},
                    {"c2", "an apple tree", "Lyon", "2"},
                    {"c3", "pear jam", "Paris", "3"}});
  }

  void PressStart() {
    TForm1 form;
    ASSERT_TRUE(form.FormCreate());
    form.Button1->click();
  }

  // Record numbers holding every word, through the tag.
  std::vector<uint32_t> Search(const std::string& tag, const std::string& words) const {
    auto connection = engine::Connection::Connect(inst.DB());
    if (!connection.ok()) return {};
    auto table = engine::Table::Open(**connection, "Contacts.ADT", engine::OpenMode::Shared);
    if (!table.ok()) return {};
    auto found = (*table)->SearchFullText(tag, words);
    return found.ok() ? found.value() : std::vector<uint32_t>{};
  }

  RebuildInstallation inst;
};

TEST_F(FullTextRunTest, FullTextIndexesAreBuiltWithAndWithoutNoiseWords) {
  inst.MainInx(
      "[Contacts.ADT]\r\nVLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "[Contacts.ADT*VlxFts]\r\nFTS_NOTES=NOTES*MIN_WORD_LENGTH 2\r\nFTS_CITY=CITY\r\n"
      "[*OP_FtsNoise_Contacts_FTS_NOTES]\r\nw1= the \r\nw2=and\r\n");
  PressStart();

  EXPECT_THAT(inst.DialogTexts(), ElementsAre("Completed Successfully"));
  // The table section's index stays: a full-text section neither opens the
  // table nor removes its index file.
  EXPECT_THAT(inst.TagNames("Contacts.Adi"), ElementsAre("PRIMARY", "FTS_NOTES", "FTS_CITY"));
  EXPECT_EQ(inst.IndexProblems("Contacts.ADT"), "");
  EXPECT_THAT(Search("FTS_NOTES", "apple"), ElementsAre(1u, 2u));
  EXPECT_THAT(Search("FTS_NOTES", "PEAR apple"), ElementsAre(1u));
  EXPECT_TRUE(Search("FTS_NOTES", "the").empty()) << "a noise word is not indexed";
  EXPECT_THAT(Search("FTS_CITY", "paris"), ElementsAre(1u, 3u));
  const std::string log = inst.Log();
  EXPECT_THAT(log, HasSubstr("  *BldFtxInx:Contacts FTS_NOTES"));
  EXPECT_THAT(log, HasSubstr("  *BldFtxInx:Contacts FTS_CITY"));
}

TEST_F(FullTextRunTest, EachFailingStatementIsReportedAndTheOthersStillRun) {
  inst.MainInx(
      "[Contacts.ADT*VlxFts]\r\n"
      "FTS_BAD1=SCORE\r\n"  // not a character field
      "FTS_NOTES=NOTES\r\n"
      "FTS_BAD2=NOTES*NO_SUCH_OPTION\r\n");
  PressStart();

  ASSERT_EQ(inst.Dialogs.size(), 3u);
  EXPECT_THAT(inst.Dialogs[0].Text, ::testing::EndsWith(" FTS \r\nContacts.ADT"));
  EXPECT_THAT(inst.Dialogs[1].Text, HasSubstr("NO_SUCH_OPTION"));
  EXPECT_EQ(inst.Dialogs[2].Text, "Error in Indexes Rebuild ");
  EXPECT_THAT(inst.TagNames("Contacts.Adi"), ElementsAre("FTS_NOTES"));
  EXPECT_THAT(
      inst.Log(),
      HasSubstr(
          "Proc_Name=BldFtxInx-Err\r\nCREATE INDEX FTS_BAD1 ON Contacts ( SCORE ) CONTENT  \r\n"
          "Contacts.ADT FTS_BAD1"));
}

class FtsStatementTest : public ::testing::Test {
 protected:
  std::string Statement(const std::string& main_ini) {
    inst.MainInx(main_ini);
    TDatProgBuildIndex_DataModule dm;
    std::string resolved;
    EXPECT_TRUE(dm.AcceptMainInxFile(inst.Tree / "DBSys/VorlexInx.ini", resolved));
    dm.InxIniFile = std::make_unique<TIniFile>(resolved);
    std::string message;
    int number = 0;
    EXPECT_TRUE(dm.LoadTblNamesToLst(message, number));
    dm.LoadTblInxToLst(dm.TblNamesLst.Names(0));
    return dm.FtsStatement("Contacts", 0);
  }

  RebuildInstallation inst;
};

TEST_F(FtsStatementTest, StatementsOfTheDefinitions) {
  const char* section = "[Contacts.ADT*VlxFts]\r\n";
  EXPECT_EQ(Statement(std::string(section) + "FTS_Notes=Notes\r\n"),
            "CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT  ");
  EXPECT_EQ(Statement(std::string(section) + "FTS_Notes=Notes*X*Y\r\n"),
            "CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT X*Y ");
  EXPECT_EQ(
      Statement(
          std::string(section) +
          "FTS_Notes=Notes*X\r\n[*op_ftsnoise_contacts_fts_notes]\r\nw1= a \r\nw2=\r\nw3=b\r\n"),
      "CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT X 'a  b'");
  EXPECT_EQ(Statement(std::string(section) +
                      "FTS_Notes=Notes*X\r\n[*OP_FtsNoise_Contacts_FTS_Notes]\r\n"),
            "CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT X ");
  // A quote inside a noise word is doubled, not left to end the list.
  EXPECT_EQ(Statement(std::string(section) +
                      "FTS_Notes=Notes\r\n[*OP_FtsNoise_Contacts_FTS_Notes]\r\nw1=don't\r\n"),
            "CREATE INDEX FTS_Notes ON Contacts ( Notes ) CONTENT  'don''t'");
}

}  // namespace
