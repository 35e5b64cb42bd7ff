// RebuildIndexesCmd's parts that need no installation: its command line, its
// progress line with the estimate, and the JSON of its report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CmdOptions.h"
#include "CmdProgress.h"
#include "CmdReport.h"

namespace {

using ::testing::HasSubstr;

TEST(RebuildIndexesCmdOptions, GoodAndBadCommandLines) {
  TCmdOptions options;
  std::string error;
  ASSERT_TRUE(ParseCmdOptions({"--quiet", "--report", "r.json", "--tables", "Orders,Contacts.ADT,"},
                              options, error));
  EXPECT_TRUE(options.Quiet);
  EXPECT_EQ(options.ReportFile, "r.json");
  EXPECT_EQ(options.Tables, (std::vector<std::string>{"Orders", "Contacts.ADT"}));

  const std::vector<std::vector<std::string>> bad = {{"--report"},
                                                     {"--tables"},
                                                     {"--tables", ","},
                                                     {"--check", "--dry-run"},
                                                     {"--check", "--report", "r"},
                                                     {"-x"}};
  for (const auto& args : bad) {
    TCmdOptions ignored;
    error.clear();
    EXPECT_FALSE(ParseCmdOptions(args, ignored, error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(RebuildIndexesCmdProgress, EstimateLearntFromTheStepsDone) {
  // Step 1 has only begun: nothing is known yet.
  EXPECT_LT(EstimateRemaining({"T", "I", 1, 10, 5.0}), 0);
  // Steps 1..4 took 8 s: 2 s a step, 6 to go (the fifth included).
  EXPECT_DOUBLE_EQ(EstimateRemaining({"T", "I", 5, 10, 8.0}), 12.0);
  // A maximum that grew below the position leaves nothing to go.
  EXPECT_DOUBLE_EQ(EstimateRemaining({"T", "I", 12, 10, 11.0}), 0.0);

  EXPECT_EQ(FormatDuration(0), "00:00");
  EXPECT_EQ(FormatDuration(61.4), "01:01");
  EXPECT_EQ(FormatDuration(3725), "1:02:05");

  EXPECT_EQ(TerminalProgressLine({"Orders.ADT", "CUST", 5, 10, 8.0}, 10),
            "Orders.ADT CUST 5/10 [#####.....] 00:08 ETA 00:12");
  EXPECT_EQ(TerminalProgressLine({"Orders.ADT", "CUST", 1, 0, 0}, 4),
            "Orders.ADT CUST 1/0 [####] 00:00 ETA --:--");
  EXPECT_EQ(PlainProgressLine({"Orders.ADT", "CUST", 5, 10, 8.0}), "Orders.ADT (5/10) 00:08");
}

TEST(RebuildIndexesCmdReport, JsonCarriesCodesTotalsAndEscapedTexts) {
  TRunRecord run;
  TableRecord(run, "Orders.ADT").Indexes.push_back({"PRIMARY", 0.5, 2048, false});
  TableRecord(run, "Notes.ADT").Indexes.push_back({"PRIMARY", 0.25, 1024, false});
  // The full-text pass names the table without its extension: one table still.
  TableRecord(run, "notes").Indexes.push_back({"FTS", 1.25, 1024, true});
  TableRecord(run, "Orders.ADT")
      .Errors.push_back({"BAD", 7016, "Unknown \"field\"\r\nOrders.ADT\x01\xE9"});
  TableRecord(run, "NOTES.adt").RecordsRemoved = 3;
  run.Outcome = "failed";
  run.ExitCode = 1;
  const std::string json = RunReportJson(run);
  EXPECT_THAT(json,
              HasSubstr("\"totals\": {\"tables\": 2, \"indexes\": 2, \"full_text_indexes\": 1, "
                        "\"records_removed\": 3, \"errors\": 1}"));
  EXPECT_THAT(json, HasSubstr("{\"name\": \"Notes.ADT\", \"records_removed\": 3,"));
  EXPECT_THAT(json, HasSubstr("{\"name\": \"PRIMARY\", \"page_size\": 2048, \"seconds\": 0.500, "
                              "\"full_text\": false}"));
  EXPECT_THAT(
      json,
      HasSubstr(
          "\"code\": 7016, \"message\": \"Unknown \\\"field\\\"\\r\\nOrders.ADT\\u0001\xC3\xA9\""));
  EXPECT_EQ(ErrorWithCode(7059, "empty key"), "error 7059: empty key");
  EXPECT_EQ(ErrorWithCode(0, "not the engine's"), "not the engine's");
}

}  // namespace
