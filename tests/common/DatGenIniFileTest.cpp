#include "common/DatGenIniFile.h"

#include <gtest/gtest.h>

#include "LocaleFixture.h"
#include "common/TStringList.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> Lines(const TStringList& list) {
  return {list.begin(), list.end()};
}

class IniFile : public ::testing::Test {
 protected:
  TIniFile Load(const std::string& content) { return TIniFile(dir_.WriteFile("t.ini", content)); }

  std::vector<std::string> Sections(const TIniFile& ini) {
    TStringList list;
    ini.ReadSections(list);
    return Lines(list);
  }

  std::vector<std::string> Values(const TIniFile& ini, const std::string& section) {
    TStringList list;
    list.Add("left over");
    ini.ReadSectionValues(section, list);
    return Lines(list);
  }

  TempDir dir_;
};

TEST_F(IniFile, SectionsAndEntriesInFileOrder) {
  const TIniFile ini = Load(
      "[VlxInxVxx!!!###_1800_DicTables.ADT]\r\n"
      "VLX_PRIMARY_KEY=RECID*ixUnique\r\n"
      "  Type  =  Type;Table_Name * ixCaseInsensitive  \r\n"
      "[*Not4Rmv]\r\n"
      "Contacts.ADT=Y\r\n"
      "[Contacts.ADT]\r\n"
      "Name=Last_Name;First_Name\r\n");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"VlxInxVxx!!!###_1800_DicTables.ADT",
                                                     "*Not4Rmv", "Contacts.ADT"}));
  EXPECT_EQ(Values(ini, "vlxinxvxx!!!###_1800_dictables.adt"),
            (std::vector<std::string>{"VLX_PRIMARY_KEY=RECID*ixUnique",
                                      "Type=Type;Table_Name * ixCaseInsensitive"}));
  EXPECT_EQ(Values(ini, "*NOT4RMV"), (std::vector<std::string>{"Contacts.ADT=Y"}));
  TStringList keys;
  ini.ReadSection("Contacts.ADT", keys);
  EXPECT_EQ(Lines(keys), (std::vector<std::string>{"Name"}));
}

TEST_F(IniFile, ValueIsTheTextAfterTheFirstEquals) {
  const TIniFile ini = Load("[S]\nA=x=y=z\nEmpty=\n=no key\n");
  EXPECT_EQ(ini.ReadString("S", "a", "-"), "x=y=z");
  EXPECT_EQ(ini.ReadString("S", "Empty", "-"), "");  // present but empty is not missing
  EXPECT_EQ(ini.ReadString("S", "", "-"), "no key");
  EXPECT_EQ(Values(ini, "S"), (std::vector<std::string>{"A=x=y=z", "Empty=", "=no key"}));
}

// The awkward cases, one file: what is read and what is ignored.
TEST_F(IniFile, AwkwardLinesFollowTheWrittenRules) {
  const TIniFile ini = Load(
      "Orphan=before any section\n"  // belongs to no section
      "[First]\r\n"
      "; Key=comment, even with ixPrimary\n"
      "Key=one\r"              // a lone CR ends a line too
      "no equals sign here\n"  // not an entry
      "Key=two\n"              // repeated key
      "   [  Second  ]  trailing text\n"
      "[broken\n"  // no "]": ignored, Second goes on
      "K2=v2\n"
      "[FIRST]\n"  // repeated section: ignored with its lines
      "Key=three\n"
      "Extra=x\n"
      "[Third]\n");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"First", "Second", "Third"}));
  EXPECT_EQ(Values(ini, "First"), (std::vector<std::string>{"Key=one", "Key=two"}));
  EXPECT_EQ(ini.ReadString("First", "KEY", "-"), "one");
  EXPECT_EQ(ini.ReadString("First", "Extra", "-"), "-");
  EXPECT_EQ(Values(ini, "Second"), (std::vector<std::string>{"K2=v2"}));
  EXPECT_TRUE(ini.SectionExists("third"));
  EXPECT_EQ(Values(ini, "Third"), std::vector<std::string>{});
  EXPECT_FALSE(ini.SectionExists(""));
  EXPECT_EQ(ini.ReadString("", "Orphan", "-"), "-");
}

TEST_F(IniFile, ByteOrderMarkBeforeTheFirstSectionIsSkipped) {
  const TIniFile ini = Load("\xEF\xBB\xBF[DATABASE]\r\nPath=/data/DB\r\n");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"DATABASE"}));
  EXPECT_EQ(ini.ReadString("DATABASE", "Path", "x"), "/data/DB");
}

TEST_F(IniFile, MissingSectionKeyOrFileGivesTheDefault) {
  const TIniFile ini = Load("[DATABASE]\nPath=/data/DB\n");
  EXPECT_EQ(ini.ReadString("database", "PATH", "x"), "/data/DB");
  EXPECT_EQ(ini.ReadString("DATABASE", "Other", "x"), "x");
  EXPECT_EQ(ini.ReadString("Other", "Path", "x"), "x");
  EXPECT_TRUE(ini.ValueExists("DATABASE", "path"));
  EXPECT_FALSE(ini.ValueExists("DATABASE", "Other"));

  const TIniFile missing(dir_ / "missing.ini");
  EXPECT_EQ(Sections(missing), std::vector<std::string>{});
  EXPECT_EQ(Values(missing, "DATABASE"), std::vector<std::string>{});
  EXPECT_EQ(missing.ReadString("DATABASE", "Path", "x"), "x");
  EXPECT_EQ(missing.ReadInteger("GEN", "FreezeTimeout", 120), 120);
}

TEST_F(IniFile, IntegersAreWholeNumbersOrTheDefault) {
  struct Case {
    std::string value;
    int expected;
  };
  for (const Case& c : std::vector<Case>{
           {"4096", 4096},
           {"  512  ", 512},
           {"-1", -1},
           {"0", 0},
           {"0x200", 512},
           {"0XfF", 255},
           {"\"1024\"", 1024},  // quotes removed as for any string read
           {"12abc", -7},
           {"", -7},
           {"0x", -7},
           {"0xZZ", -7},
           {"99999999999", -7},
       }) {
    const TIniFile ini = Load("[T.ADT]\nInxPageSize=" + c.value + "\n");
    EXPECT_EQ(ini.ReadInteger("t.adt", "inxpagesize", -7), c.expected) << c.value;
  }
}

TEST_F(IniFile, StringReadRemovesEnclosingQuotesOnly) {
  const TIniFile ini = Load("[S]\nA=\"/data/My DB\"\nB='x'\nC=\"x'\nD=\"\nE=say \"hi\"\n");
  EXPECT_EQ(ini.ReadString("S", "A", ""), "/data/My DB");
  EXPECT_EQ(ini.ReadString("S", "B", ""), "x");
  EXPECT_EQ(ini.ReadString("S", "C", ""), "\"x'");
  EXPECT_EQ(ini.ReadString("S", "D", ""), "\"");
  EXPECT_EQ(ini.ReadString("S", "E", ""), "say \"hi\"");
  EXPECT_EQ(Values(ini, "S")[0], "A=\"/data/My DB\"");
}

TEST_F(IniFile, BytesAreKeptAsTheyStand) {
  // windows-1255 Hebrew letters and a windows-1252 e acute, compared by the
  // code page's case rules but never converted.
  const TIniFile ini = Load("[\xE5\xE5\xF8]\nCaf\xE9=\xE0\xE1\n");
  EXPECT_EQ(Sections(ini), (std::vector<std::string>{"\xE5\xE5\xF8"}));
  EXPECT_EQ(ini.ReadString("\xE5\xE5\xF8", "Caf\xE9", ""), "\xE0\xE1");
}

// Names the code page folds together are one name, names it keeps apart stay
// two, and the first in the file wins either way, whatever the code page of
// the reading.
TEST_F(IniFile, CaseRulesOfTheCodePageDecideWhichNamesAreOne) {
  const std::string content =
      "[Caf\xE9]\nK\xC9Y=small\nk\xE9y=second\n"
      "[CAF\xC9]\nK\xC9Y=capital\n";
  {
    ScopedLocale latin1("dd/MM/yyyy", '/', ':', 1252);  // e acute and E acute are a pair
    const TIniFile ini = Load(content);
    EXPECT_EQ(Sections(ini), (std::vector<std::string>{"Caf\xE9"}));
    EXPECT_EQ(ini.ReadString("CAF\xC9", "k\xE9y", "-"), "small");
  }
  {
    ScopedLocale hebrew("dd/MM/yyyy", '/', ':', 1255);  // they are not
    const TIniFile ini = Load(content);
    EXPECT_EQ(Sections(ini), (std::vector<std::string>{"Caf\xE9", "CAF\xC9"}));
    EXPECT_EQ(ini.ReadString("CAF\xC9", "K\xC9Y", "-"), "capital");
    EXPECT_EQ(ini.ReadString("caf\xE9", "k\xE9y", "-"), "second");
    EXPECT_FALSE(ini.ValueExists("CAF\xC9", "k\xE9y"));
  }
}

// A definition file of many sections, and one section of many keys: loading
// and reading every name compares a bounded number of names per name, never
// one per section or key before it.
TEST_F(IniFile, WorkPerNameDoesNotGrowWithTheFile) {
  constexpr int kSections = 5000;
  std::string content;
  for (int i = 0; i < kSections; ++i) {
    content += "[Table" + std::to_string(i) + ".ADT]\nTag=Field" + std::to_string(i) + "\n";
  }
  content += "[Wide]\n";
  for (int i = 0; i < kSections; ++i)
    content += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";

  const std::uint64_t before = TIniFile::NameComparisons();
  const TIniFile ini = Load(content);
  for (int i = 0; i < kSections; ++i) {
    ASSERT_EQ(ini.ReadString("TABLE" + std::to_string(i) + ".adt", "tag", "-"),
              "Field" + std::to_string(i));
    ASSERT_EQ(ini.ReadInteger("wide", "KEY" + std::to_string(i), -1), i);
  }
  const std::uint64_t lookups = 3 * kSections;  // one section name per read, one key
  EXPECT_LE(TIniFile::NameComparisons() - before, 2 * lookups);
}

}  // namespace
