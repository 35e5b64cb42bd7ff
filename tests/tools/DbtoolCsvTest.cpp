// dbtool's CSV reader and writer and its NAME:TYPE[:LENGTH] header cells.
#include <gtest/gtest.h>

#include <cstdio>

#include "Csv.h"
#include "FieldSpec.h"

namespace {

// A cell as the test writes it: its text, and Q when it was quoted.
struct Cell {
  std::string text;
  bool quoted = false;
  bool operator==(const Cell& o) const { return text == o.text && quoted == o.quoted; }
};
Cell U(const std::string& text) {
  return {text, false};
}
Cell Q(const std::string& text) {
  return {text, true};
}

struct Parsed {
  std::vector<std::vector<Cell>> records;
  std::vector<uint64_t> lines;
  std::string error;
};

Parsed ParseAll(const std::string& input) {
  Parsed parsed;
  std::string copy = input;
  std::FILE* file = fmemopen(copy.data(), copy.size(), "rb");
  if (copy.empty()) file = std::tmpfile();  // fmemopen refuses an empty buffer
  dbtool::CsvReader reader(file);
  dbtool::CsvRecord record;
  while (reader.Next(record)) {
    std::vector<Cell> cells;
    for (size_t i = 0; i < record.Size(); ++i)
      cells.push_back({std::string(record.CellText(i)), record.IsQuoted(i)});
    parsed.records.push_back(cells);
    parsed.lines.push_back(record.Line);
  }
  parsed.error = reader.Error();
  std::fclose(file);
  return parsed;
}

TEST(DbtoolCsv, RecordsCellsQuotesAndLineNumbers) {
  using Records = std::vector<std::vector<Cell>>;
  const std::vector<std::tuple<std::string, Records, std::vector<uint64_t>>> cases = {
      {"", {}, {}},
      {"a,b\n", {{U("a"), U("b")}}, {1}},
      {"a,b", {{U("a"), U("b")}}, {1}},
      {"a,b\r\nc,d\r\n", {{U("a"), U("b")}, {U("c"), U("d")}}, {1, 2}},
      {"\"x,y\",\"q\"\"r\"\n", {{Q("x,y"), Q("q\"r")}}, {1}},
      {",\"\"\n", {{U(""), Q("")}}, {1}},
      {",\n", {{U(""), U("")}}, {1}},
      {"\n", {{U("")}}, {1}},
      {"\"multi\nline\",z\nnext,1\n", {{Q("multi\nline"), U("z")}, {U("next"), U("1")}}, {1, 3}},
      {"\"\"\"\"\n", {{Q("\"")}}, {1}},
      {" lead, trail \n", {{U(" lead"), U(" trail ")}}, {1}},
      {"\"crlf\r\ninside\"\r\n", {{Q("crlf\r\ninside")}}, {1}},
  };
  for (const auto& [input, records, lines] : cases) {
    const Parsed parsed = ParseAll(input);
    EXPECT_EQ(parsed.error, "") << input;
    EXPECT_EQ(parsed.records, records) << input;
    EXPECT_EQ(parsed.lines, lines) << input;
  }
}

TEST(DbtoolCsv, MalformedInputIsAnErrorWithItsLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ok\n\"open,\n\n", "line 4: a quoted cell is not closed"},
      {"ok\na\"b\n", "line 2: a quote inside a cell that is not quoted"},
      {"\"a\"b\n", "line 1: text after the closing quote"},
      {"a\rb\n", "line 1: a CR that does not end a line"},
  };
  for (const auto& [input, error] : cases) {
    const Parsed parsed = ParseAll(input);
    EXPECT_NE(parsed.error.find(error), std::string::npos)
        << input << " gave \"" << parsed.error << "\"";
  }
}

TEST(DbtoolCsv, RecordsLongerThanTheReadBlockArriveWhole) {
  const std::string long_cell(3 << 20, 'x');
  const std::string quoted(5 << 19, 'q');
  const Parsed parsed = ParseAll("a," + long_cell + "\n\"" + quoted + "\"\"\",b\n");
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.records.size(), 2u);
  EXPECT_EQ(parsed.records[0][1].text, long_cell);
  EXPECT_EQ(parsed.records[1][0].text, quoted + "\"");
  EXPECT_EQ(parsed.records[1][1].text, "b");
}

TEST(DbtoolCsv, WrittenTextsReadBackTheSame) {
  for (const std::string text :
       {"plain", "", "a,b", "say \"hi\"", "two\nlines", "cr\rlf", " blank "}) {
    std::string line;
    dbtool::AppendCsvText(line, text);
    line += ",end\n";
    const Parsed parsed = ParseAll(line);
    ASSERT_EQ(parsed.records.size(), 1u) << text;
    EXPECT_EQ(parsed.records[0][0].text, text);
    // An empty text must come back as the empty text, not as NULL.
    if (text.empty()) {
      EXPECT_TRUE(parsed.records[0][0].quoted);
    }
  }
}

TEST(DbtoolFieldSpec, HeaderCellsNameTheFieldAndItsType) {
  struct Case {
    std::string cell;
    bool ok;
    engine::FieldType type;
    uint32_t length;
  };
  const Case cases[] = {
      {"RECID:C:16", true, engine::FieldType::Character, 16},
      {"notes:c:65000", true, engine::FieldType::Character, 65000},
      {"SCORE:I", true, engine::FieldType::Integer, 0},
      {"AMT:N", true, engine::FieldType::Double, 0},
      {"BORN:D", true, engine::FieldType::Date, 0},
      {"OK:L", true, engine::FieldType::Logical, 0},
      {"RECID", false, {}, 0},
      {"RECID:C", false, {}, 0},
      {"RECID:C:0", false, {}, 0},
      {"RECID:C:65001", false, {}, 0},
      {"RECID:C:x", false, {}, 0},
      {"SCORE:I:4", false, {}, 0},
      {"SCORE:X", false, {}, 0},
      {"SCORE:II", false, {}, 0},
      {":I", false, {}, 0},
      {"2ND:I", false, {}, 0},
  };
  for (const Case& c : cases) {
    engine::FieldDef field;
    std::string error;
    ASSERT_EQ(dbtool::ParseFieldSpec(c.cell, field, error), c.ok) << c.cell << " " << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(field.Type, c.type) << c.cell;
    EXPECT_EQ(field.Length, c.length) << c.cell;
    const engine::FieldInfo info{field.Name, field.Type, field.Length, 0};
    engine::FieldDef again;
    EXPECT_TRUE(dbtool::ParseFieldSpec(dbtool::FieldSpecText(info), again, error));
    EXPECT_EQ(again.Name, field.Name);
  }
}

}  // namespace
